#include "cli/command.h"

#include <QElapsedTimer>

#include "image/cloneimage.h"
#include "transfer/memory_write.h"

namespace cli {

int writeCommand(Invocation& inv) {
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty()) {
        for (const QString& s : stale)
            err(s);
        if (!given(inv.parser, kFixSums)) {
            err(QStringLiteral("refused: the sums are stale; --fix-sums brings them up to date"));
            return kRefused;
        }
        for (const QString& line : FixSums(loaded.image)) {
            if (inv.verbosity != TerminalFront::Verbosity::Quiet)
                err(line);
        }
    }
    int exit = kDone;
    std::unique_ptr<World> world = transferWorld(inv, TerminalFront::Transfer::Write, &exit);
    if (!world)
        return exit;
    world->ctx->clone.image = CloneImage(loaded.image);
    QElapsedTimer timer;
    timer.start();
    // Ctrl-C ends the write where it waits (the port is closed) and comes back as interrupted.
    const TransferVerdict verdict = VerdictOf(cmdWriteRig_Click(*world->ctx));
    if (world->front->interrupted) {
        err(QStringLiteral("interrupted; the radio did not get the whole image"));
        return kInterrupted;
    }
    if (verdict.exit != kDone) {
        err(QStringLiteral("write failed: ") + verdict.line);
        return verdict.exit;
    }
    if (inv.verbosity != TerminalFront::Verbosity::Quiet)
        out(QStringLiteral("Wrote %1 to the radio in %2. Switch the radio off and disconnect "
                           "the cable.")
                .arg(inv.files[0], seconds(timer.elapsed())));
    return kDone;
}

}  // namespace cli
