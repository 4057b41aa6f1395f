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
    LinkState& link = ctx_.state.link;
    link.OpenFailure.clear();
    link.RxTimedOut = false;
    transport_.reset();  // the device opened before is closed first
    transport_ = makeTransport(ctx_, port, *MSComm1_);
    link.LinkOpen = transport_->open(settings);
    if (link.LinkOpen)
        link.LinkLost = false;
    else
        link.OpenFailure = transport_->failure();
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
    LinkState& link = ctx_.state.link;
    if (link.LinkLost)
        return true;
    // The transfers only ask while their link should be open: a device that has closed
    // by itself went away.
    if (transport_->lost() || !transport_->isOpen()) {
        link.LinkLost = true;
        return true;
    }
    return false;
}

bool Link::send(const QByteArray& bytes) {
    if (linkGone())
        return false;
    if (transport_->write(bytes))
        return true;
    ctx_.state.link.LinkLost = true;
    return false;
}

// ---- Receive engine --------------------------------------------------------------------

void Link::markLinkLost(const QString& prefix) {
    LinkState& link = ctx_.state.link;
    if (link.LinkLost)
        return;
    link.LinkLost = true;
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
    LinkState& link = ctx_.state.link;
    const QByteArray bytes = transport_->read(count);
    link.RxTimedOut = bytes.size() < count;
    if (!link.RxTimedOut)
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
    ReceiveState& rx = ctx_.state.rx;
    LinkState& link = ctx_.state.link;
    rx.RxBuffer = QByteArray(1, '\0');
    ctx_.LogMessage(QStringLiteral("Receive01: try to receive ") + num(wanted) +
                    QStringLiteral(" bytes"));

    // A receive started from a handler that runs inside another receive's pause waits for
    // the outer one, but not for ever.
    qint32 passes = 0;
    while (rx.ReceiveBusy) {
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
            link.RxTimedOut = true;
            markLinkLost(QStringLiteral("Receive: "));
        }
        return;
    }

    rx.ReceiveBusy = true;
    const auto busyReset = qScopeGuard([&rx] { rx.ReceiveBusy = false; });
    link.RxTimedOut = false;

    qint32 lastCount = 0;
    qint32 idlePolls = 0;
    qint32 waiting = 0;
    for (;;) {
        ctx_.Pause(kPollMs);
        waiting = transport_->bytesWaiting();
        if (transport_->lost()) {
            link.RxTimedOut = true;
            markLinkLost(QStringLiteral("Receive: "));
            return;
        }
        if (waiting > lastCount) {
            lastCount = waiting;
            idlePolls = 0;
        } else if (++idlePolls > kIdlePollLimit) {
            link.RxTimedOut = true;
            break;
        }
        if (waiting >= wanted)
            break;
    }

    if (waiting != wanted && link.RxTimedOut) {
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
    if (link.RxTimedOut) {
        if (!input.isEmpty())
            rx.RxBuffer = input;
        return;
    }
    ctx_.LogMessage(QStringLiteral("Receive05: received ") + num(input.size()) +
                    QStringLiteral(" bytes"));
    rx.RxBuffer = input.right(wanted);
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
    LinkState& link = ctx_.state.link;
    if (!link.LinkOpen)
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
        // The device refused the byte or went away; the transfer notices LinkLost and stops.
        link.LinkLost = true;
        ctx_.LogMessage(ack ? QStringLiteral("SendACK: ACK failed")
                            : QStringLiteral("Write Failed sending NAK"));
    }
    ctx_.Pause(ctx_.state.rx.HandshakeDelay);
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
    ReceiveState& rx = ctx_.state.rx;
    CancelFlags& cancel = ctx_.state.cancel;
    const QString prefix = QStringLiteral("ReceiveAck: ");

    qint32 polls = 0;
    cancel.CancelRequested = false;  // a cancel from before this wait is forgotten

    for (;;) {
        ++polls;
        const qint32 waiting = queueCount(prefix);
        if (ctx_.state.link.LinkLost)
            return false;
        if (waiting >= count)
            break;
        ctx_.Pause(rx.HandshakeDelay);
        if (cancel.CancelRequested || polls >= kAckPollLimit) {
            if (cancel.CancelRequested)
                ctx_.LogMessage(prefix + QStringLiteral("cancelled by user"));
            else
                ctx_.LogMessage(prefix + QStringLiteral("timed out. Bytes in buffer=") +
                                num(transport_->bytesWaiting()));
            PurgeBuffers();
            return false;
        }
    }

    rx.RxBuffer = readBytes(count);
    if (rx.RxBuffer.isEmpty()) {
        ctx_.LogMessage(prefix + QStringLiteral("no data received"));
        return false;
    }
    const quint8 last = static_cast<quint8>(rx.RxBuffer.back());
    if (last == static_cast<quint8>(kAck))
        return true;
    ctx_.LogMessage(prefix + QStringLiteral("ACK not received. Received hex ") +
                    QString::number(last, 16).toUpper());
    return false;
}
