#include "link/link.h"

#include <QScopeGuard>

#include "core/context.h"
#include "core/errors.h"
#include "core/serialcontrol.h"
#include "link/transport.h"

namespace {

constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr qint32 kPollMs = 5;
// Polls without a new byte before a receive gives up: about half a second of silence.
constexpr qint32 kIdlePollLimit = 100;
// Passes a nested receive waits for the outer one before it goes ahead anyway.
constexpr qint32 kBusyPassLimit = 101;
constexpr qint32 kAckPollLimit = 25;

QString num(qint64 n) {
    return QString::number(n);
}

}  // namespace

Link::Link(CoreContext& ctx)
    : ctx_(ctx),
      MSComm1_(ctx.ports().create()),
      transport_(makeTransport(ctx, ctx.state.link.PortNumber, *MSComm1_)) {}

Link::~Link() = default;

// ---- Opening and closing ---------------------------------------------------------------

void Link::SetCommPort(const qint16& port, const QString& settings) {
    openFailure_.clear();
    timedOut_ = false;
    transport_.reset();  // the device opened before is closed first
    transport_ = makeTransport(ctx_, port, *MSComm1_);
    open_ = transport_->open(settings);
    if (open_)
        lost_ = false;
    else
        openFailure_ = transport_->failure();
}

void Link::CloseCommPort() {
    transport_->close();
}

void Link::shutDown() {
    if (transport_->isOpen())
        transport_->close();
}

void Link::PurgeBuffers() {
    transport_->purge();
}

QString Link::cableName() const {
    return transport_->name();
}

bool Link::linkGone() {
    if (lost_)
        return true;
    // The transfers only ask while their link should be open: a device that has closed
    // by itself went away.
    if (transport_->lost() || !transport_->isOpen()) {
        lost_ = true;
        return true;
    }
    return false;
}

bool Link::send(const QByteArray& bytes) {
    if (linkGone())
        return false;
    if (transport_->write(bytes))
        return true;
    lost_ = true;
    return false;
}

// ---- Receive engine --------------------------------------------------------------------

void Link::markLinkLost(const QString& prefix) {
    if (lost_)
        return;
    lost_ = true;
    ctx_.LogMessage(prefix + QStringLiteral("the connection to the radio was lost"));
}

qint32 Link::queueCount(const QString& prefix) {
    // Asking the device is what reveals one that has gone, so ask first.
    const qint32 waiting = transport_->bytesWaiting();
    if (transport_->lost()) {
        markLinkLost(prefix);
        return 0;
    }
    return waiting;
}

QByteArray Link::readBytes(qint32 count) {
    const QByteArray bytes = transport_->read(count);
    timedOut_ = bytes.size() < count;
    if (!timedOut_)
        return bytes;
    if (transport_->lost()) {
        markLinkLost(QStringLiteral("Receive: "));
    } else if (transport_->failure().isEmpty()) {
        ctx_.setTimeoutCount(ctx_.timeoutCount() + 1);
        ctx_.LogMessage(QStringLiteral("Receive04: ") + ctx_.timeoutCaption() +
                        QStringLiteral(". BytesRead=") + num(bytes.size()));
    }
    return bytes;
}

void Link::Receive(const qint32& wanted) {
    if (wanted < 1)
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    rxBuffer_ = QByteArray(1, '\0');
    ctx_.LogMessage(QStringLiteral("Receive01: try to receive ") + num(wanted) +
                    QStringLiteral(" bytes"));

    // A receive started from a handler that runs inside another receive's pause waits for
    // the outer one, but not for ever.
    qint32 passes = 0;
    while (receiveBusy_) {
        ctx_.LogMessage(QStringLiteral("Receive02: entered send/receive busy"));
        ctx_.Pause(kPollMs);
        if (++passes >= kBusyPassLimit)
            break;
    }
    if (passes > 0)
        ctx_.LogMessage(QStringLiteral("Receive03: exit send/receive busy. Count=") + num(passes));

    if (!transport_->isOpen()) {
        // A device that went away after it was opened is reported, so that a transfer
        // calling again and again stops instead of spinning on a dead link.
        if (transport_->lost()) {
            timedOut_ = true;
            markLinkLost(QStringLiteral("Receive: "));
        }
        return;
    }

    receiveBusy_ = true;
    const auto busyReset = qScopeGuard([this] { receiveBusy_ = false; });
    timedOut_ = false;

    qint32 lastCount = 0;
    qint32 idlePolls = 0;
    qint32 waiting = 0;
    for (;;) {
        ctx_.Pause(kPollMs);
        waiting = transport_->bytesWaiting();
        if (transport_->lost()) {
            timedOut_ = true;
            markLinkLost(QStringLiteral("Receive: "));
            return;
        }
        if (waiting > lastCount) {
            lastCount = waiting;
            idlePolls = 0;
        } else if (++idlePolls > kIdlePollLimit) {
            timedOut_ = true;
            break;
        }
        if (waiting >= wanted)
            break;
    }

    if (waiting != wanted && timedOut_) {
        ctx_.setTimeoutCount(ctx_.timeoutCount() + 1);
        ctx_.LogMessage(QStringLiteral("Receive04: ") + ctx_.timeoutCaption() +
                        QStringLiteral(". InBufferCount=") + num(waiting) +
                        QStringLiteral(". Lastcount=") + num(lastCount));
    }
    if (waiting < wanted) {
        ctx_.LogMessage(QStringLiteral("Receive06: received 0 bytes. ") + num(waiting) +
                        QStringLiteral(" waiting in buffer."));
        return;
    }
    // Everything waiting is taken; the newest bytes are the ones wanted.
    const QByteArray input = readBytes(waiting);
    if (timedOut_) {
        if (!input.isEmpty())
            rxBuffer_ = input;
        return;
    }
    ctx_.LogMessage(QStringLiteral("Receive05: received ") + num(input.size()) +
                    QStringLiteral(" bytes"));
    rxBuffer_ = input.right(wanted);
}

void Link::ReceiveFT(QByteArray& bytes, const qint32& wanted) {
    if (wanted < 1)
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    bytes = readBytes(wanted);
}

qint32 Link::GetInBufferCount() {
    return queueCount(QStringLiteral("GetInBufferCount: "));
}

// ---- Handshakes ------------------------------------------------------------------------

void Link::sendHandshakeByte(char byte) {
    if (!open_)
        return;
    const bool ack = byte == kAck;
    // The radio's earlier bytes (and the cable's echo of ours) must not be mistaken for
    // its answer.
    PurgeBuffers();
    if (ack)
        ctx_.LogMessage(QStringLiteral("SendACK: about to send ACK"));
    if (transport_->write(QByteArray(1, byte))) {
        if (ack)
            ctx_.LogMessage(QStringLiteral("SendACK: ACK sent"));
    } else {
        // The device refused the byte or went away; the transfer notices lost() and stops.
        lost_ = true;
        ctx_.LogMessage(ack ? QStringLiteral("SendACK: ACK failed")
                            : QStringLiteral("Write Failed sending NAK"));
    }
    ctx_.Pause(handshakeDelay_);
}

void Link::SendACK() {
    sendHandshakeByte(kAck);
}

void Link::SendNAK() {
    sendHandshakeByte(kNak);
}

bool Link::ReceiveAck(const qint32& count) {
    if (count < 1)
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    // A cancel from before this wait is forgotten.
    const CancelWatch cancel(ctx_.cancel, CancelKind::Read);
    const QString prefix = QStringLiteral("ReceiveAck: ");

    qint32 polls = 0;

    for (;;) {
        ++polls;
        const qint32 waiting = queueCount(prefix);
        if (lost_)
            return false;
        if (waiting >= count)
            break;
        ctx_.Pause(handshakeDelay_);
        if (cancel.requested() || polls >= kAckPollLimit) {
            if (cancel.requested())
                ctx_.LogMessage(prefix + QStringLiteral("cancelled by user"));
            else
                ctx_.LogMessage(prefix + QStringLiteral("timed out. Bytes in buffer=") +
                                num(transport_->bytesWaiting()));
            PurgeBuffers();
            return false;
        }
    }

    rxBuffer_ = readBytes(count);
    if (rxBuffer_.isEmpty()) {
        ctx_.LogMessage(prefix + QStringLiteral("no data received"));
        return false;
    }
    const quint8 last = static_cast<quint8>(rxBuffer_.back());
    if (last == static_cast<quint8>(kAck))
        return true;
    ctx_.LogMessage(prefix + QStringLiteral("ACK not received. Received hex ") +
                    QString::number(last, 16).toUpper());
    return false;
}
