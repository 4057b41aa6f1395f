#include "cli/terminalfront.h"

#include <QRegularExpression>
#include <cstdio>

#include "core/context.h"
#include "image/cloneimage.h"
#include "transfer/transfer.h"

#include <sys/select.h>
#include <unistd.h>

namespace {

constexpr qint64 kRedrawMs = 200;

QString minutes(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// A box's text as lines, the empty ones left out.
QString lined(const QString& boxText) {
    QStringList lines;
    for (const QString& line : QString(boxText).replace(QLatin1Char('\r'), QString()).split('\n'))
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    return lines.join(QLatin1Char('\n'));
}

void put(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
}

}  // namespace

TerminalFront::TerminalFront(Transfer transfer, Verbosity verbosity, bool assumeYes)
    : transfer_(transfer),
      verbosity_(verbosity),
      assumeYes_(assumeYes),
      tty_(::isatty(STDERR_FILENO) == 1) {}

MsgAnswer TerminalFront::show(const QString& text, MsgButtons buttons, MsgIcon icon) {
    if (buttons == MsgButtons::OkCancel) {
        if (interrupted)
            return MsgAnswer::Cancel;
        ++questions_;
        if (questions_ == 1) {
            say(
                QStringLiteral("Switch the radio off and connect the programming cable.\n"
                               "Hold [F/W] and switch the radio on: it shows CLONE."));
        } else if (transfer_ == Transfer::Write) {
            say(QStringLiteral("Press MODE on the radio: it shows --WAIT--."));
            if (!assumeYes_) {
                say(QStringLiteral("Press Enter to start writing (Ctrl-C gives up)."));
                if (!waitForEnter())
                    return MsgAnswer::Cancel;
            }
        }
        return MsgAnswer::Ok;
    }
    // What happened comes back as the transfer's result; a box is only shown.
    if (verbosity_ == Verbosity::Verbose)
        say(plain(text));
    Q_UNUSED(icon);
    return MsgAnswer::Ok;
}

void TerminalFront::setPromptPart(PromptPart part, bool visible) {
    if (part != PromptPart::LookingForRadio)
        return;
    if (visible && !lookingVisible_) {
        if (!lookingAnnounced_)
            say(QStringLiteral("Press [BAND] on the radio; waiting for it (Ctrl-C gives up)..."));
        lookingAnnounced_ = true;
        if (onLookingForRadio)
            onLookingForRadio();
    }
    lookingVisible_ = visible;
}

void TerminalFront::setNoAnswerHint(const QString& text) {
    if (!text.isEmpty())
        say(text);
}

void TerminalFront::setProgress(int value) {
    if (value <= 0) {
        endProgressLine();
        return;
    }
    if (!started_.isValid())
        started_.start();
    if (verbosity_ == Verbosity::Quiet)
        return;
    const qint64 now = started_.elapsed();
    if (tty_ && verbosity_ != Verbosity::Verbose) {
        if (value < CloneLayout::kBlockCount && lastDrawMs_ >= 0 && now - lastDrawMs_ < kRedrawMs)
            return;
        lastDrawMs_ = now;
        put(QStringLiteral("\r") + progressText(value, now) + QStringLiteral("\033[K"));
        lineOpen_ = true;
        return;
    }
    const int tenth = value * 10 / CloneLayout::kBlockCount;
    if (tenth > lastTenth_) {
        lastTenth_ = tenth;
        say(progressText(value, now));
    }
}

QString TerminalFront::progressText(int block, qint64 elapsedMs) {
    const int total = CloneLayout::kBlockCount;
    const qint64 left = block > 0 ? elapsedMs * (total - block) / block : 0;
    return QStringLiteral("block %1/%2  %3 %  %4 elapsed  %5 left")
        .arg(block)
        .arg(total)
        .arg(block * 100 / total, 3)
        .arg(minutes(elapsedMs), minutes(left));
}

void TerminalFront::traceLine(const QString& text) {
    // The command line says itself where the demo radio is.
    if (verbosity_ == Verbosity::Verbose && !text.startsWith(QLatin1String("Demo: ")))
        say(plain(text));
}

namespace {

QString verdictLine(const TransferResult& result) {
    using Outcome = TransferResult::Outcome;
    const int block = result.block;
    switch (result.outcome) {
        case Outcome::Done:
            return QString();
        case Outcome::ShutDown:
            return QStringLiteral("interrupted");
        case Outcome::Cancelled:
            return QStringLiteral("cancelled");
        case Outcome::WrongIdentity:
            return QStringLiteral("wrong identity: the radio sent X'%1', expected %2 (a %3)")
                .arg(result.detail,
                     ListedModels([](const RadioModel& m) { return QString(m.identity); }),
                     ListedModels([](const RadioModel& m) { return QString(m.family); }));
        case Outcome::Stalled:  // named by the block that did not come
            return block == 0 ? QStringLiteral("stall at block 0 of %1: the radio sent no data")
                                    .arg(CloneLayout::kBlockCount)
                              : QStringLiteral("stall at block %1 of %2: the radio stopped sending")
                                    .arg(block + 1)
                                    .arg(CloneLayout::kBlockCount);
        case Outcome::BadChecksum:
            return QStringLiteral(
                "bad checksum: the radio's checksum does not agree with the data received");
        case Outcome::NoChecksum:
            return QStringLiteral("no checksum: the radio sent no checksum byte");
        case Outcome::NoAck:
            return QStringLiteral("no ACK: the radio did not answer (does it show --WAIT--?)");
        case Outcome::LinkLost:
            return QStringLiteral(
                "link lost: the connection to the radio was lost; check the programming cable");
        case Outcome::SendFailed:
            if (block == 0 || block > CloneLayout::kBlockCount)
                return block == 0 ? QStringLiteral("failed send: Write of radio ID failed")
                                  : QStringLiteral("failed send: Write failed sending checksum.");
            return QStringLiteral("failed send at block %1: the connection to the radio was lost")
                .arg(block);
        case Outcome::OpenFailed:
        case Outcome::Error:
            break;
    }
    return result.detail.isEmpty() ? QStringLiteral("the link did not open") : result.detail;
}

}  // namespace

TransferVerdict VerdictOf(const TransferResult& result) {
    const bool interrupted = result.outcome == TransferResult::Outcome::ShutDown;
    return {result.done() ? 0 : interrupted ? 130 : 1, verdictLine(result)};
}

QString TerminalFront::plain(const QString& text) const {
    QString line = lined(text);
    if (borrowedCom_ > 0)
        line.replace(
            QRegularExpression(QStringLiteral("\\b(COM Port |COM|port )%1\\b").arg(borrowedCom_)),
            borrowedPath_);
    return line;
}

void TerminalFront::say(const QString& text) {
    if (verbosity_ == Verbosity::Quiet)
        return;
    endProgressLine();
    put(text + QLatin1Char('\n'));
}

void TerminalFront::endProgressLine() {
    if (lineOpen_)
        put(QStringLiteral("\n"));
    lineOpen_ = false;
}

// Waits for a line on standard input while the events keep running (Ctrl-C arrives as one).
// False at the end of input or on Ctrl-C.
bool TerminalFront::waitForEnter() {
    for (;;) {
        if (interrupted)
            return false;
        fd_set in;
        FD_ZERO(&in);
        FD_SET(STDIN_FILENO, &in);
        timeval none{0, 0};
        if (::select(STDIN_FILENO + 1, &in, nullptr, nullptr, &none) > 0) {
            char c = 0;
            const ssize_t n = ::read(STDIN_FILENO, &c, 1);
            if (n <= 0)
                return false;
            if (c == '\n')
                return true;
            continue;
        }
        if (ctx_)
            ctx_->WaitMilliseconds(50);
        else
            ::usleep(50000);
    }
}
