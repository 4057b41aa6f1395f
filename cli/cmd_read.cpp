#include "cli/command.h"

#include <QElapsedTimer>
#include <QFileInfo>

#include "image/cloneimage.h"
#include "transfer/memory_read.h"

namespace cli {

int readCommand(Invocation& inv) {
    const QString path = inv.files[0];
    // Refused before the radio is asked for anything, so that no read is lost at its end.
    QString error;
    if (!CheckSaveTarget(path, &error)) {
        err(error);
        return kRefused;
    }
    if (QFileInfo::exists(path) && !given(inv.parser, kForce)) {
        err(QStringLiteral("%1 exists; --force replaces it").arg(path));
        return kRefused;
    }
    int exit = kDone;
    std::unique_ptr<World> world = transferWorld(inv, TerminalFront::Transfer::Read, &exit);
    if (!world)
        return exit;
    QElapsedTimer timer;
    timer.start();
    const TransferResult result = cmdRead_Click(*world->ctx);
    if (world->front->interrupted) {
        err(QStringLiteral("interrupted; nothing was saved"));
        return kInterrupted;
    }
    const TransferVerdict verdict = VerdictOf(result);
    if (verdict.exit != kDone) {
        err(QStringLiteral("read failed: ") + verdict.line);
        return verdict.exit;
    }
    // The read engine took the automatic backup; what went wrong with it is passed on.
    if (!result.warning.isEmpty())
        err(result.warning);
    const QByteArray& image = result.image.bytes();
    const QString& backup = result.backupPath;
    if (!SaveImageFile(path, image, &error)) {
        err(error);
        if (!backup.isEmpty())
            err(QStringLiteral("the read is kept in the backup ") + backup);
        return kFailed;
    }
    if (inv.verbosity != TerminalFront::Verbosity::Quiet) {
        out(QStringLiteral("Read %1 (identity %2), %3 bytes, into %4 in %5.")
                .arg(ModelName(image), IdentityText(image, CloneLayout::kIdentitySize))
                .arg(image.size())
                .arg(path, seconds(timer.elapsed())));
        if (!backup.isEmpty())
            out(QStringLiteral("Backup: ") + backup);
    }
    return kDone;
}

}  // namespace cli
