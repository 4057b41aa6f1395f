#include "transfer/memory_read.h"

#include <QDir>

#include "core/clock.h"
#include "core/config.h"
#include "core/errors.h"
#include "core/front.h"
#include "core/messagebox.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "link/link.h"
#include "transfer/appcontext.h"
#include "transfer/transfer.h"

namespace {

constexpr qint32 kReadHandshakeDelay = 20;
constexpr qint32 kBlockPollMs = 5;
constexpr qint32 kBlockPolls = 50;
constexpr qint32 kByteUs = 260;  // one byte on the line at 38400 baud, rounded down
// Silence while waiting for the identity after which the prompt asks whether all is set up.
constexpr qint64 kNoAnswerNs = 10'000'000'000;
const QString kProcedure = QStringLiteral("cmdRead_Click");
// Reads from the demo radio are backed up apart, so that test images never mix with real ones.
const QString kDemoBackups = QStringLiteral("demo");

QString instructionText() {
    return JoinLines({QStringLiteral("You are about to read the radio."), QString(),
                      QStringLiteral("  1. Power Off the Radio and connect the programming lead,"),
                      QStringLiteral("  2. Hold down the [F/W] key and Power On the Radio."),
                      QStringLiteral("      The radio should now show CLONE."),
                      QStringLiteral("  3. Click OK for the next part of the instructions...,"),
                      QString(), QStringLiteral("or click Cancel to abort the memory read.")});
}

// Thrown from the polls when the link has gone; the read ends with the lost-connection box.
struct LinkLostDuringRead {};

// One read, from the click of Read Radio to the closing box. The member `line` is the
// label of the step being run, for the report of an unexpected error. The read fills its
// own buffer: only a read that succeeds replaces the image held, so a cancel or a failure
// leaves the earlier image, its file and whether Write is offered as they were.
class MemoryRead {
public:
    explicit MemoryRead(AppContext& ctx)
        : ctx_(ctx),
          front_(ctx.front()),
          link_(ctx.link()),
          cancel_(ctx.cancel, CancelKind::Read),
          identityCancel_(ctx.cancel, CancelKind::Identity) {}

    TransferResult run();

private:
    enum class Next { Leave, Closing };
    enum class BlockPhase { Complete, TimedOut, Cancelled };

    Next transfer();
    bool giveInstructions();
    bool awaitIdentity();
    bool checkIdentity();
    BlockPhase receiveBlocks();
    qint32 waitForBlock(qint32 waiting);
    void storeBlock();
    bool checkChecksum();
    void takeBackup();
    Next endRead();
    void closingSequence();
    QString noAnswerHint() const;

    void leave(std::initializer_list<PromptPart> hidden);
    void checkLink();
    void linkLost();
    void keep(qsizetype at, const QByteArray& bytes, qsizetype count);
    void log(const QString& text) { ctx_.LogMessage(text); }
    void ended(TransferResult::Outcome outcome) { result_.outcome = outcome; }

    AppContext& ctx_;
    TransferFront& front_;
    Link& link_;
    CancelWatch cancel_;
    CancelWatch identityCancel_;

    int line = 0;
    bool linkOpened_ = false;
    QByteArray image_;  // what the radio sent, in the order it sent it
    QDateTime readAt_;
    TransferResult result_{TransferResult::Outcome::Error};
    qint32 BlockCount = 0;
    qint32 ImageIndex = 0;
    qint32 blockPolls_ = 0;  // the polls of the wait for the current block
    qint32 sum_ = 0;
};

TransferResult MemoryRead::run() {
    link_.setHandshakeDelay(kReadHandshakeDelay);  // 1
    front_.clearTrace();                           // 2
    // 3: the failure handler covers steps 4 to 33 and continues at the closing sequence.
    Next next = Next::Closing;
    try {
        next = transfer();
    } catch (const LinkLostDuringRead&) {
        linkLost();
    } catch (const RunError& error) {
        // A failing send or read on a vanished port is the lost cable, not a fault here.
        if (linkOpened_ && link_.linkGone()) {
            linkLost();
        } else {
            ended(TransferResult::Outcome::Error);
            result_.detail = ShowErrorReport(ctx_, error, line, kProcedure);
        }
    }
    if (next == Next::Closing)
        closingSequence();
    front_.setNoAnswerHint(QString());
    return result_;
}

MemoryRead::Next MemoryRead::transfer() {
    line = 40;
    ctx_.setTimeoutCount(0);

    line = 50;
    link_.SetCommPort(ctx_.state.link.PortNumber, ctx_.state.link.PortSettings);
    if (!link_.isOpen()) {
        ended(TransferResult::Outcome::OpenFailed);
        result_.detail = link_.openFailure();
        return Next::Leave;  // SetCommPort has told the user
    }
    linkOpened_ = true;

    line = 70;
    front_.setBusy(true);
    line = 80;
    cancel_.forget();
    line = 90;
    front_.hidePromptParts(
        {PromptPart::LookingForRadio, PromptPart::RadioReceiving, PromptPart::Progress});
    line = 100;
    identityCancel_.forget();
    line = 110;
    image_ = QByteArray(CloneLayout::kImageSize, '\0');
    line = 120;
    ctx_.Pause(kSettleMs);
    link_.PurgeBuffers();
    line = 130;
    BlockCount = 0;
    front_.setProgress(0);

    if (!giveInstructions() || !awaitIdentity() || !checkIdentity())
        return Next::Leave;
    const BlockPhase blocks = receiveBlocks();
    if (blocks == BlockPhase::Cancelled)
        return Next::Leave;
    if (blocks == BlockPhase::Complete && !checkChecksum())
        return Next::Leave;
    if (blocks == BlockPhase::TimedOut) {
        log(QStringLiteral("Read: unexpected end of read; block count =") +
            QString::number(BlockCount));
        // What is left on the line tells whether the radio stopped or merely paused; the
        // link's own count is asked, so it is right on the FTDI device too.
        log(QStringLiteral("Read: bytes waiting in input buffer ") +
            QString::number(link_.GetInBufferCount()));
    }
    return endRead();
}

bool MemoryRead::giveInstructions() {
    line = 140;
    log(QStringLiteral("Read: issue initial instructions"));
    line = 150;
    const MsgAnswer answer =
        ctx_.ShowMessage(instructionText(), MsgButtons::OkCancel, MsgIcon::Question);
    line = 160;
    if (answer == MsgAnswer::Cancel) {
        log(QStringLiteral("Read: user cancelled before read"));
        ended(TransferResult::Outcome::Cancelled);
        front_.setBusy(false);
        link_.CloseCommPort();
        return false;
    }
    return true;
}

bool MemoryRead::awaitIdentity() {
    line = 170;
    log(QStringLiteral("Read: waiting for radio identity"));
    link_.PurgeBuffers();
    line = 180;
    front_.setPromptVisible(true);
    line = 190;
    const QByteArray& rx = link_.received();
    // The radio sends only once the user presses [BAND]; each attempt lasts until half a
    // second of silence, and the user ends the wait by a click. A long silence gets one hint.
    qint64 silentSinceNs = ctx_.clock().nowNs();
    bool hinted = false;
    for (;;) {
        front_.setPromptPart(PromptPart::LookingForRadio, true);
        if (identityCancel_.requested()) {
            ended(TransferResult::Outcome::Cancelled);
            ctx_.ShowMessage(QStringLiteral("Read cancelled by user request"), MsgButtons::Ok,
                             MsgIcon::Information);
            link_.PurgeBuffers();
            front_.setPromptPart(PromptPart::LookingForRadio, false);
            log(QStringLiteral("Read: the read has been cancelled. We had ") +
                ctx_.timeoutCaption());
            front_.setBusy(false);
            link_.CloseCommPort();
            return false;
        }
        link_.Receive(CloneLayout::kIdentitySize);
        checkLink();
        if (rx.size() >= 2 || !link_.timedOut())
            break;
        if (link_.GetInBufferCount() > 0)  // too few bytes for an identity, but not silent
            silentSinceNs = ctx_.clock().nowNs();
        if (!hinted && ctx_.clock().nowNs() - silentSinceNs >= kNoAnswerNs) {
            front_.setNoAnswerHint(noAnswerHint());
            hinted = true;
        }
    }
    front_.setNoAnswerHint(QString());

    line = 200;
    front_.setPromptPart(PromptPart::LookingForRadio, false);
    log(QStringLiteral("Read: acquiring the rig ID we had ") + ctx_.timeoutCaption());
    ctx_.setTimeoutCount(0);
    line = 210;
    log(QStringLiteral("Read: ") + QString::number(rx.size()) +
        QStringLiteral(" radio identity bytes received - checking..."));
    line = 220;
    log(QStringLiteral("ID read was ") + IdentityText(rx, rx.size()));
    line = 230;
    keep(CloneLayout::kIdentityOffset, rx, rx.size());
    ImageIndex = 0;
    return true;
}

bool MemoryRead::checkIdentity() {
    line = 240;
    // Raises error 9 when fewer than five bytes arrived.
    const QString compared = IdentityText(link_.received(), CloneLayout::kIdentityCompared);
    line = 250;
    if (!IsAcceptedIdentity(compared)) {
        ended(TransferResult::Outcome::WrongIdentity);
        result_.detail = compared;
        link_.SendNAK();
        checkLink();
        ctx_.ShowMessage(JoinLines({QStringLiteral("The radio identifier expected was ") +
                                        ListedModels([](const RadioModel& m) {
                                            return QStringLiteral("X'") + IdentityHex(m) +
                                                   QLatin1Char('\'');
                                        }),
                                    QStringLiteral("but the identifier actually received was X'") +
                                        compared + QStringLiteral("'"),
                                    QStringLiteral("We cannot continue with the read process.")}),
                         MsgButtons::Ok, MsgIcon::Stop);
        leave({PromptPart::LookingForRadio});
        return false;
    }
    line = 260;
    link_.SendACK();
    checkLink();
    log(QStringLiteral("Read: passed radio identity check"));
    return true;
}

MemoryRead::BlockPhase MemoryRead::receiveBlocks() {
    line = 270;
    front_.setPromptPart(PromptPart::Progress, true);
    front_.setProgressMaximum(kProgressMax);
    line = 280;
    // The radio sends its whole memory in one stream and expects nothing back; a block is
    // taken as soon as 64 bytes wait, while the rest keeps arriving in the link's buffer.
    qint32 waiting = 0;
    do {
        front_.setPromptPart(PromptPart::RadioSending, true);
        front_.setBlockCount(QStringLiteral(" ") + QString::number(BlockCount));
        waiting = waitForBlock(waiting);
        // A block that is complete when the last poll ends is taken, not lost.
        if (blockPolls_ == kBlockPolls && waiting < CloneLayout::kBlockSize)
            return BlockPhase::TimedOut;
        if (cancel_.requested()) {
            ended(TransferResult::Outcome::Cancelled);
            ctx_.ShowMessage(QStringLiteral("Read of memory cancelled by user request"),
                             MsgButtons::Ok, MsgIcon::Information);
            link_.PurgeBuffers();
            front_.hidePromptParts({PromptPart::RadioSending, PromptPart::Progress});
            front_.setPromptVisible(false);
            front_.setBusy(false);
            link_.CloseCommPort();
            return BlockPhase::Cancelled;
        }
        storeBlock();
        waiting -= CloneLayout::kBlockSize;
    } while (BlockCount != CloneLayout::kBlockCount);
    return BlockPhase::Complete;
}

// Polls every 5 ms until a block waits, the user cancels or 50 polls have passed;
// returns the number of bytes waiting at the last poll. The line cannot bring the rest of
// a block sooner than its baud rate allows, so the polls that cannot see it complete are
// waited in one go: the program wakes about once per block, not once per poll.
qint32 MemoryRead::waitForBlock(qint32 waiting) {
    blockPolls_ = 0;
    for (;;) {
        const qint32 missing = qMax(CloneLayout::kBlockSize - waiting, 0);
        const qint32 span =
            qBound(1, (missing * kByteUs + kBlockPollMs * 1000 - 1) / (kBlockPollMs * 1000),
                   kBlockPolls - blockPolls_);
        ctx_.WaitMilliseconds(kBlockPollMs * span);
        blockPolls_ += span;
        waiting = link_.GetInBufferCount();
        checkLink();
        if (waiting >= CloneLayout::kBlockSize || cancel_.requested() || blockPolls_ == kBlockPolls)
            return waiting;
    }
}

void MemoryRead::storeBlock() {
    QByteArray block;
    link_.ReceiveFT(block, CloneLayout::kBlockSize);
    checkLink();
    keep(CloneLayout::kDataOffset + ImageIndex, block, CloneLayout::kBlockSize);
    ImageIndex += CloneLayout::kBlockSize;
    ++BlockCount;
    log(QStringLiteral("Read: bytes read ") + QString::number(CloneLayout::kBlockSize) +
        QStringLiteral(" block ") + QString::number(BlockCount) + QStringLiteral(" and ") +
        ctx_.timeoutCaption());
    ctx_.setTimeoutCount(0);
    front_.setBlockCount(QString::number(BlockCount));
    front_.setProgress(BlockCount);
}

// Takes the radio's checksum byte and compares it with the running sum. False when the
// read ends here (no checksum, or a disagreeing one).
bool MemoryRead::checkChecksum() {
    line = 290;
    link_.Receive(1);
    checkLink();
    sum_ &= 0xFF;
    const bool arrived = !link_.timedOut();
    QString problem;
    ended(arrived ? TransferResult::Outcome::BadChecksum : TransferResult::Outcome::NoChecksum);
    if (!arrived) {
        // Whatever RxBuffer holds now is not from the radio: never compare it.
        log(QStringLiteral("Read: no checksum byte received and had ") + ctx_.timeoutCaption());
        problem = QStringLiteral("No checksum was received from the rig; ") +
                  QStringLiteral("the calculated value was ") + QString::number(sum_);
    } else {
        log(QStringLiteral("Read: checksum read 1 byte and had ") + ctx_.timeoutCaption());
        const quint8 received = byteAt(link_.received(), 0);
        if (sum_ == received) {
            ended(TransferResult::Outcome::Done);
            log(QStringLiteral("Read: checksum agrees, value was ") + QString::number(sum_));
            takeBackup();
            return true;
        }
        log(QStringLiteral("Read: checksum does not agree, value was ") +
            QString::number(received));
        problem = QStringLiteral("The checksum received from the rig does not agree with") +
                  QStringLiteral("\r\n") + QStringLiteral("the calculated value ") +
                  QString::number(sum_);
    }
    ctx_.ShowMessage(problem + QStringLiteral("\r\n\r\n") +
                         QStringLiteral("The memory read was not successful."),
                     MsgButtons::Ok, MsgIcon::Exclamation);
    leave({PromptPart::RadioSending, PromptPart::Progress});
    return false;
}

// Every verified read is kept at once, before anything else can happen to it. A backup that
// fails is reported, but the read itself stays good.
void MemoryRead::takeBackup() {
    readAt_ = QDateTime::currentDateTime();
    const LinkState& link = ctx_.state.link;
    const bool demo = link.DemoPort != 0 && link.PortNumber == link.DemoPort;
    QString error, ignored;
    byteAt(image_, CloneLayout::kChecksumOffset) = static_cast<char>(sum_);
    const QString path = SaveBackup(ctx_.config(), image_, &error, readAt_,
                                    demo ? kDemoBackups : QString(), &ignored);
    if (!ignored.isEmpty())
        log(QStringLiteral("Read: ") + ignored);
    if (!path.isEmpty()) {
        result_.backupPath = QDir::toNativeSeparators(path);
        log(QStringLiteral("Read: backup saved as ") + result_.backupPath);
    } else if (!error.isEmpty()) {
        log(QStringLiteral("Read: no backup saved"));
        result_.warning = error;
        ctx_.ShowMessage(error,
                         QStringLiteral("\r\n\r\nThe read itself is good: save it with Save "
                                        "Image As."),
                         MsgButtons::Ok, MsgIcon::Exclamation);
    }
}

MemoryRead::Next MemoryRead::endRead() {
    line = 300;
    log(QStringLiteral("Read: byte count ") + QString::number(ImageIndex));
    front_.setPromptPart(PromptPart::RadioSending, false);
    line = 310;
    if (ImageIndex != CloneLayout::kDataSize) {
        ended(TransferResult::Outcome::Stalled);
        result_.block = BlockCount;
    }
    if (ImageIndex == 0) {
        ctx_.ShowMessage(QStringLiteral("Nothing was read"), MsgButtons::Ok, MsgIcon::Stop);
        leave({});
        return Next::Leave;
    }
    line = 320;
    if (ImageIndex == CloneLayout::kDataSize) {
        result_.image = CloneImage(image_);
        ctx_.clone.image = result_.image;
        ctx_.clone.ImagePath.clear();
        ctx_.clone.ReadAt = readAt_;
        return Next::Closing;
    }
    line = 330;
    ctx_.ShowMessage(
        JoinLines({QStringLiteral("The radio memory has not been successfully read."), QString(),
                   QStringLiteral("We read ") + QString::number(ImageIndex) +
                       QStringLiteral(" bytes out of ") + QString::number(CloneLayout::kDataSize),
                   QStringLiteral("We read ") + QString::number(BlockCount) +
                       QStringLiteral(" blocks out of ") +
                       QString::number(CloneLayout::kBlockCount),
                   QString(),
                   QStringLiteral("If this persists then please contact the author for support.")}),
        MsgButtons::Ok, MsgIcon::Stop);
    return Next::Closing;
}

// Where every complete, incomplete or failed read ends. It has no failure handler of its
// own in the step order, so an error here is reported the same way and the buttons are
// still given back.
void MemoryRead::closingSequence() {
    try {
        line = 340;
        front_.hidePromptParts(
            {PromptPart::LookingForRadio, PromptPart::RadioSending, PromptPart::Progress});
        identityCancel_.forget();
        front_.setProgress(0);
        front_.setPromptVisible(false);
        link_.CloseCommPort();
        line = 350;
        if (result_.done())
            ctx_.ShowMessage(
                QStringLiteral("The read of memories from the radio has completed successfully.") +
                    (result_.backupPath.isEmpty()
                         ? QString()
                         : QStringLiteral("\r\nBackup: ") + result_.backupPath),
                MsgButtons::Ok, MsgIcon::Information);
        line = 360;
        front_.setBusy(false);
    } catch (const RunError& error) {
        // The read itself is over: a good one stays good, and the report goes with it.
        const QString report = ShowErrorReport(ctx_, error, line, kProcedure);
        if (result_.done())
            result_.warning = report;
        else if (result_.outcome != TransferResult::Outcome::Error)
            result_ = TransferResult{TransferResult::Outcome::Error, 0, report};
        front_.setBusy(false);
    }
}

// "No answer yet: is the radio showing CLONE, and is the cable on COM1 (/dev/ttyS0)?"
QString MemoryRead::noAnswerHint() const {
    return QStringLiteral("No answer yet: is the radio showing CLONE, and is the cable on ") +
           link_.cableName() + QStringLiteral("?");
}

// Ends the read short of its closing sequence: the line emptied, the given prompt parts
// hidden, the buttons given back and the link closed.
void MemoryRead::leave(std::initializer_list<PromptPart> hidden) {
    link_.PurgeBuffers();
    front_.hidePromptParts(hidden);
    front_.setBusy(false);
    link_.CloseCommPort();
}

// Copies `count` received bytes into the image at `at` and adds them to the running sum; too
// few received is an error 9.
void MemoryRead::keep(qsizetype at, const QByteArray& bytes, qsizetype count) {
    for (qsizetype i = 0; i < count; ++i) {
        const quint8 b = byteAt(bytes, i);
        byteAt(image_, at + i) = static_cast<char>(b);
        sum_ += b;
    }
}

void MemoryRead::linkLost() {
    log(QStringLiteral("Read: the connection to the radio was lost"));
    ended(TransferResult::Outcome::LinkLost);
    ShowConnectionLost(ctx_);
}

// Ends the read at once when the link has gone under it (cable pulled, device gone).
void MemoryRead::checkLink() {
    if (link_.linkGone())
        throw LinkLostDuringRead{};
}

}  // namespace

TransferResult cmdRead_Click(AppContext& ctx) {
    if (!ctx.hasFront())
        return {TransferResult::Outcome::Cancelled};
    TransferResult result;
    try {
        result = MemoryRead(ctx).run();
    } catch (const ShutdownRequested&) {
        return {TransferResult::Outcome::ShutDown};
    }
    // The windows that show the image follow (a failed read left it as it was).
    emit ctx.imageChanged();
    return result;
}
