#include "cli/terminalfront.h"

#include <QRegularExpression>
#include <cstdio>

#include "clone/cloneimage.h"
#include "core/context.h"

#include <sys/select.h>
#include <unistd.h>

namespace {

constexpr qint64 kRedrawMs = 200;

QString minutes(qint64 ms) {
    const qint64 s = ms / 1000;
    return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
}

// A box's text without the sentences that speak of the windows, its line breaks kept.
QString windowless(const QString& boxText) {
    static const QString windowOnly[] = {
        QStringLiteral("The requested operation cannot continue."),
        QStringLiteral("The read itself is good: save it with Save Image As.")};
    QStringList lines;
    for (QString line : boxText.split(QRegularExpression(QStringLiteral("\r?\n")))) {
        for (const QString& sentence : windowOnly)
            line.remove(sentence);
        if (!line.trimmed().isEmpty())
            lines << line.trimmed();
    }
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
    const bool done = text.startsWith(QLatin1String("The read of memories")) ||
                      text.startsWith(QLatin1String("Transfer of memory completed."));
    if (done)
        completed_ = true;
    else if (failure_.isEmpty())
        failure_ = text;
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
    // A failed send is named by its trace line; the box after it only says the link went.
    static const QRegularExpression failedSend(QStringLiteral(
        "^Write (Failed at block (\\d+)|of radio ID failed|failed sending checksum)"));
    const QRegularExpressionMatch m = failedSend.match(text);
    if (m.hasMatch() && sendFailure_.isEmpty()) {
        sendFailure_ = m.captured(2).isEmpty()
                           ? QStringLiteral("failed send: ") + text
                           : QStringLiteral("failed send at block ") + m.captured(2) +
                                 QStringLiteral(": the connection to the radio was lost");
    }
    static const QString backupLine = QStringLiteral("Read: backup saved as ");
    if (text.startsWith(backupLine))
        backupPath_ = text.mid(backupLine.size());
    // The command line says itself where the demo radio is.
    if (verbosity_ == Verbosity::Verbose && !text.startsWith(QLatin1String("Demo: ")))
        say(plain(text));
}

QString TerminalFront::failure() const {
    if (!sendFailure_.isEmpty())
        return sendFailure_;
    return failure_.isEmpty() ? QString() : failureLine(failure_);
}

QString TerminalFront::failureLine(const QString& boxText) {
    struct Known {
        const char* pattern;
        const char* line;
    };
    static const Known known[] = {
        {"actually received was X'(\\w*)'",
         "wrong identity: the radio sent X'%1', expected AH029 or AH29D (a VX-8 or VX-8D)"},
        {"^No checksum was received", "no checksum: the radio sent no checksum byte"},
        {"^The checksum received from the rig does not agree",
         "bad checksum: the radio's checksum does not agree with the data received"},
        {"We read (\\d+) blocks out of", "stall at block %1 of 1019: the radio stopped sending"},
        {"^Nothing was read", "stall at block 0 of 1019: the radio sent no data"},
        {"^The connection to the radio was lost",
         "link lost: the connection to the radio was lost; check the programming cable"},
        {"^Failed to receive permission",
         "no ACK: the radio did not answer (does it show --WAIT--?)"},
        {"cancelled by user request", "cancelled"},
    };
    for (const Known& k : known) {
        const QRegularExpressionMatch m =
            QRegularExpression(QString::fromLatin1(k.pattern)).match(boxText);
        if (!m.hasMatch())
            continue;
        const QString line = QString::fromLatin1(k.line);
        if (m.lastCapturedIndex() < 1)
            return line;
        // A stall is named by the block that did not come.
        bool number = false;
        const int blocks = m.captured(1).toInt(&number);
        return line.arg(number ? QString::number(blocks + 1) : m.captured(1));
    }
    return windowless(boxText);
}

QString TerminalFront::plain(const QString& text) const {
    QString line = windowless(text);
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
