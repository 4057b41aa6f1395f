#include "transfer/memory_write.h"

#include "core/errors.h"
#include "core/front.h"
#include "core/messagebox.h"
#include "image/cloneimage.h"
#include "link/link.h"
#include "transfer/appcontext.h"
#include "transfer/transfer.h"

namespace {

// The radio needs time to store each block: the blocks are paced by time, not by answers.
constexpr qint32 kComHandshakeDelay = 50;
constexpr qint32 kFtdiHandshakeDelay = 20;
const QString kProcedure = QStringLiteral("cmdWriteRig_Click");

QString firstInstructionText() {
    return JoinLines({QStringLiteral("You are preparing to write to the radio. "), QString(),
                      QStringLiteral("  1. Power Off the Radio and connect the programming lead,"),
                      QStringLiteral("  2. Hold down the [F/W] key and Power On the Radio."),
                      QStringLiteral("      The radio should now show CLONE."),
                      QStringLiteral("  3. Click OK for the next part of the instructions...,"),
                      QString(), QStringLiteral("or click Cancel to abort the memory write.")});
}

QString secondInstructionText() {
    return JoinLines({QStringLiteral("You are about to write to the radio."), QString(),
                      QStringLiteral("  1. Press and release the MODE key - the radio shows "),
                      QStringLiteral("      --WAIT--."),
                      QStringLiteral("  2. Click OK to start writing to the radio,"), QString(),
                      QStringLiteral("or click Cancel to abort the memory write.")});
}

// One write, from the click of Write Radio to the completion box. The member `line` is
// the label of the step being run, for the report of an unexpected error.
class MemoryWrite {
public:
    explicit MemoryWrite(AppContext& ctx)
        : ctx_(ctx), front_(ctx.front()), link_(ctx.link()), clone_(ctx.clone) {}

    TransferResult run();

private:
    void transfer();
    bool getPermission();
    bool sendBlocks();
    void sendFailed(const QString& traceLine, int block);
    void finish();
    void hidePrompt();

    void log(const QString& text) { ctx_.LogMessage(text); }
    void ended(TransferResult::Outcome outcome) { result_.outcome = outcome; }

    AppContext& ctx_;
    TransferFront& front_;
    Link& link_;
    CloneState& clone_;

    int line = 0;
    bool linkOpened_ = false;
    TransferResult result_{TransferResult::Outcome::Error};
    // The blocks this write has sent, shown in every "sent block" line.
    qint32 counter_ = 0;
};

TransferResult MemoryWrite::run() {
    try {
        transfer();
    } catch (const RunError& error) {
        // An error nobody planned for must not take the program down: report it in the
        // system's format and give the user the buttons back.
        result_ = TransferResult{TransferResult::Outcome::Error, 0,
                                 ShowErrorReport(ctx_, error, line, kProcedure)};
        hidePrompt();
        if (linkOpened_) {
            try {
                link_.CloseCommPort();
            } catch (const RunError& closeError) {
                log(QStringLiteral("Write: closing the link failed: ") + closeError.description());
            }
        }
        front_.setBusy(false);
    }
    return result_;
}

void MemoryWrite::transfer() {
    line = 10;
    front_.clearTrace();
    line = 20;
    link_.setHandshakeDelay(ctx_.state.link.PortNumber == kFtdiPort ? kFtdiHandshakeDelay
                                                                    : kComHandshakeDelay);
    const qint32 delay = link_.handshakeDelay();
    line = 30;
    link_.SetCommPort(ctx_.state.link.PortNumber, ctx_.state.link.PortSettings);
    if (!link_.isOpen()) {
        ended(TransferResult::Outcome::OpenFailed);
        result_.detail = link_.openFailure();
        return;  // SetCommPort has told the user
    }
    linkOpened_ = true;
    line = 40;
    front_.setBusy(true);
    line = 50;
    front_.hidePromptParts(
        {PromptPart::LookingForRadio, PromptPart::RadioReceiving, PromptPart::Progress});
    line = 60;
    ctx_.Pause(kSettleMs);
    link_.PurgeBuffers();

    line = 70;
    log(QStringLiteral("Write: issue initial instructions"));
    line = 80;
    MsgAnswer answer =
        ctx_.ShowMessage(firstInstructionText(), MsgButtons::OkCancel, MsgIcon::Question);
    line = 90;
    if (answer == MsgAnswer::Cancel) {
        ended(TransferResult::Outcome::Cancelled);
        finish();
        return;
    }
    line = 100;
    const QByteArray checksum(1, static_cast<char>(clone_.image.checksum()));
    line = 110;
    answer = ctx_.ShowMessage(secondInstructionText(), MsgButtons::OkCancel, MsgIcon::Question);
    line = 120;
    if (answer == MsgAnswer::Cancel) {
        log(QStringLiteral("Write: user selected Cancel"));
        ended(TransferResult::Outcome::Cancelled);
        finish();
        return;
    }

    if (!getPermission())
        return;

    line = 170;
    log(QStringLiteral("Write: permission received"));
    line = 180;
    front_.setPromptVisible(true);
    front_.setPromptPart(PromptPart::Progress, true);
    front_.setProgressMaximum(kProgressMax);
    front_.setPromptPart(PromptPart::RadioReceiving, true);
    line = 190;
    ctx_.Pause(delay);

    if (!sendBlocks())
        return;

    line = 290;
    ctx_.Pause(2 * delay);
    line = 300;
    log(QStringLiteral("Write: sending checksum ") +
        QStringLiteral("%1")
            .arg(static_cast<quint8>(checksum[0]), 2, 16, QLatin1Char('0'))
            .toUpper());
    line = 310;
    link_.PurgeBuffers();
    if (!link_.send(checksum)) {
        sendFailed(QStringLiteral("Write failed sending checksum."), CloneLayout::kBlockCount + 1);
        return;
    }
    line = 320;
    hidePrompt();
    line = 330;
    log(QStringLiteral("Write: transfer complete"));
    ended(TransferResult::Outcome::Done);
    ctx_.Pause(delay);
    link_.CloseCommPort();
    line = 340;
    ctx_.ShowMessage(
        QStringLiteral("Transfer of memory completed.") + QStringLiteral("\r\n") +
            QStringLiteral("Now power off and disconnect the cloning cable from the radio"),
        MsgButtons::Ok, MsgIcon::Information);
    line = 350;
    front_.setBusy(false);
    front_.setBlockCount(QStringLiteral("0"));
}

// Sends the identity the last read stored and waits once for the radio's acknowledgement.
bool MemoryWrite::getPermission() {
    line = 130;
    if (!clone_.image.isValid())  // nothing to send: reported as an unexpected error
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    const QByteArray identity = clone_.image.identity().toByteArray();
    line = 140;
    log(QStringLiteral("Write: requesting permission to write to radio"));
    link_.PurgeBuffers();
    line = 150;
    if (!link_.send(identity)) {
        sendFailed(QStringLiteral("Write of radio ID failed"), 0);
        return false;
    }
    line = 160;
    if (!link_.ReceiveAck(1)) {
        log(QStringLiteral("Write: no permission to write received from the radio"));
        ended(link_.linkGone() ? TransferResult::Outcome::LinkLost
                               : TransferResult::Outcome::NoAck);
        if (result_.outcome == TransferResult::Outcome::LinkLost) {
            log(QStringLiteral("Write: the connection to the radio was lost"));
            ShowConnectionLost(ctx_);
        } else {
            ctx_.ShowMessage(QStringLiteral("Failed to receive permission to write to the radio."),
                             MsgButtons::Ok, MsgIcon::Stop);
        }
        link_.PurgeBuffers();
        finish();
        return false;
    }
    return true;
}

bool MemoryWrite::sendBlocks() {
    const qint32 delay = link_.handshakeDelay();
    line = 210;
    for (qint32 n = 0; n < CloneLayout::kBlockCount; ++n) {
        const qint32 b = n + 1;
        line = 220;
        front_.setBlockCount(QString::number(b));
        front_.setProgress(b);
        line = 230;
        log(QStringLiteral("Write: sending block ") + QString::number(b));
        line = 240;
        const QByteArray block = clone_.image.block(n).toByteArray();
        line = 250;
        // Whatever the radio or a two-wire cable's echo left is thrown away before each send.
        link_.PurgeBuffers();
        line = 260;
        if (!link_.send(block)) {
            sendFailed(QStringLiteral("Write Failed at block ") + QString::number(b), b);
            return false;
        }
        ++counter_;
        line = 270;
        ctx_.Pause(delay);
        line = 280;
        log(QStringLiteral("Write: sent block ") + QString::number(b) +
            QStringLiteral(". Counter=") + QString::number(counter_));
    }
    return true;
}

// A send failed: what was sent cannot be recalled; stop, tidy up and say so.
void MemoryWrite::sendFailed(const QString& traceLine, int block) {
    ended(TransferResult::Outcome::SendFailed);
    result_.block = block;
    log(traceLine);
    link_.PurgeBuffers();
    hidePrompt();
    link_.CloseCommPort();
    ShowConnectionLost(ctx_);
    front_.setBusy(false);
    front_.setBlockCount(QStringLiteral("0"));
}

void MemoryWrite::finish() {
    front_.setBusy(false);
    link_.CloseCommPort();
}

void MemoryWrite::hidePrompt() {
    front_.hidePromptParts({PromptPart::Progress, PromptPart::RadioReceiving});
    front_.setPromptVisible(false);
}

}  // namespace

TransferResult cmdWriteRig_Click(AppContext& ctx) {
    if (!ctx.hasFront())
        return {TransferResult::Outcome::Cancelled};
    try {
        return MemoryWrite(ctx).run();
    } catch (const ShutdownRequested&) {
        return {TransferResult::Outcome::ShutDown};
    }
}
