#include "link/link.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdint>

#include "core/context.h"
#include "core/d2xx.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "core/serialcontrol.h"
#include "core/settings.h"

namespace {

constexpr qint16 kFtdiPort = 999;
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
constexpr qint32 kPollMs = 5;
// Polls without a new byte before a receive gives up: about half a second of silence.
constexpr qint32 kIdlePollLimit = 100;
// Passes a nested receive waits for the outer one before it goes ahead anyway.
constexpr qint32 kBusyPassLimit = 101;
constexpr qint32 kAckPollLimit = 25;
constexpr qint32 kOpenSettleMs = 500;
constexpr int kMaxDescriptionLength = FT_DESCRIPTION_SIZE - 1;

const QString kCrLf = QStringLiteral("\r\n");

QString num(qint64 n) {
    return QString::number(n);
}

QString lostLine(const QString& prefix) {
    return prefix + QStringLiteral("the connection to the radio was lost");
}

// The text as single-byte codes: Latin-1 where it fits, '?' for anything else, one byte
// per character (a character outside the basic plane counts once).
QByteArray singleByteCodes(const QString& text) {
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (const uint cp : codePoints)
        out.append(cp <= 0xFF ? static_cast<char>(cp) : '?');
    return out;
}

// Clears a flag when the scope ends, however it ends.
class FlagReset {
public:
    explicit FlagReset(bool& flag) : flag_(flag) {}
    ~FlagReset() { flag_ = false; }
    FlagReset(const FlagReset&) = delete;
    FlagReset& operator=(const FlagReset&) = delete;

private:
    bool& flag_;
};

// Why a COM port did not open, naming its device: the device path, not the COM number,
// is what the user gave or can look up.
QString comOpenFailure(const RunError& e, const QString& path) {
    switch (e.number()) {
        case ErrorNumber::PermissionDenied:
            return path + QStringLiteral(
                              ": permission denied; add yourself to the dialout group and log in "
                              "again");
        case ErrorNumber::NotASerialPort:
            return path + QStringLiteral(": not a serial port");
        case ErrorNumber::PortAlreadyOpen:
            return path + QStringLiteral(": in use by another program");
        default:
            break;
    }
    if (!QFileInfo::exists(path))
        return path + QStringLiteral(": no such file");
    return path + QStringLiteral(": ") + e.description();
}

}  // namespace

Link::Link(CoreContext& ctx) : ctx_(ctx), MSComm1_(ctx.ports().create()) {}

Link::~Link() = default;

// ---- Opening and closing ---------------------------------------------------------------

void Link::SetCommPort(const qint16& port, const QString& settings) {
    ctx_.state.link.OpenFailure.clear();
    ftdiOpened_ = port == kFtdiPort;
    if (port == kFtdiPort)
        setCommPortFtdi();
    else
        setCommPortCom(port, settings);
}

void Link::setCommPortCom(qint16 port, const QString& settings) {
    LinkState& link = ctx_.state.link;
    SerialControl& comm = MSComm1();
    if (comm.PortOpen())
        comm.setPortOpen(false);
    link.RxTimedOut = false;

    comm.setCommPort(port);
    comm.setSettings(settings);
    comm.setInputMode(1);
    comm.setHandshaking(0);
    comm.setProtocol(0);
    comm.setDTREnable(true);
    comm.setRTSEnable(true);

    try {
        comm.setPortOpen(true);
    } catch (const RunError& e) {
        link.LinkOpen = false;
        link.OpenFailure = comOpenFailure(e, comm.DevicePath());
        ctx_.LogMessage(QStringLiteral("SetCommPort: open failed for port ") + num(port));
        QString text;
        if (e.number() == ErrorNumber::PermissionDenied) {
            // The usual cause on Linux: the user is not in the group that owns the tty.
            text = QStringLiteral("COM Port ") + num(port) +
                   QStringLiteral(" is not available: permission denied on ") + comm.DevicePath() +
                   QStringLiteral(".") + kCrLf +
                   QStringLiteral(
                       "Add yourself to the dialout group (sudo adduser $USER "
                       "dialout) and log in again.") +
                   kCrLf + QStringLiteral("The requested operation cannot continue.");
        } else if (e.number() == ErrorNumber::NotASerialPort) {
            text = QStringLiteral("COM Port ") + num(port) + QStringLiteral(" is not available: ") +
                   comm.DevicePath() + QStringLiteral(" is not a serial port.") + kCrLf +
                   QStringLiteral("The requested operation cannot continue.");
        } else {
            text = QStringLiteral("COM Port ") + num(port) +
                   QStringLiteral(" is not available. It may be in use by another program.") +
                   kCrLf + QStringLiteral("The requested operation cannot continue.");
        }
        ctx_.ShowMessage(text, MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }

    ctx_.LogMessage(QStringLiteral("SetCommPort: open OK for port ") + num(port));
    link.LinkOpen = true;
    link.LinkLost = false;

    // Give the cable's level converter time to power up from DTR/RTS, then drop whatever
    // noise it produced meanwhile. A failure from here on does not undo the open: the
    // receive side notices a port that went away.
    ctx_.Pause(kOpenSettleMs);
    try {
        PurgeBuffers();
    } catch (const RunError&) {
    }
    comm.setRThreshold(0);
    comm.setSThreshold(0);
}

void Link::setCommPortFtdi() {
    LinkState& link = ctx_.state.link;
    D2xx& d2xx = ctx_.d2xx();
    if (link.FTHandle != 0) {
        if (d2xx.FT_Close(link.FTHandle) != FT_OK)
            ctx_.LogMessage(QStringLiteral("Close Failed for previous device"));
        link.FTHandle = 0;
    }

    const QString& desc = link.FTDIDescription;
    // A longer description would lose its terminating zero; cutting it short could open
    // a different device whose description starts the same way.
    if (singleByteCodes(desc).size() > kMaxDescriptionLength) {
        ctx_.LogMessage(QStringLiteral("Open Failed for device ") + desc +
                        QStringLiteral(" (description longer than 64 characters)"));
        link.OpenFailure = desc + QStringLiteral(": longer than 64 characters");
        link.LinkOpen = false;
        return;
    }
    if (link.FTDescBytes.size() != FT_DESCRIPTION_SIZE)
        link.FTDescBytes = QByteArray(FT_DESCRIPTION_SIZE, '\0');
    StringToBytes(desc, link.FTDescBytes);

    const FT_STATUS opened =
        d2xx.FT_OpenEx(reinterpret_cast<const quint8*>(link.FTDescBytes.constData()),
                       FT_OPEN_BY_DESCRIPTION, &link.FTHandle);
    if (opened != FT_OK) {
        ctx_.LogMessage(QStringLiteral("Open Failed for device ") + desc);
        link.OpenFailure =
            desc +
            (opened == FT_DEVICE_NOT_FOUND
                 ? QStringLiteral(": no FTDI cable with this description is attached")
                 : QStringLiteral(": the FTDI cable cannot be opened (status %1)").arg(opened));
        link.LinkOpen = false;
        return;
    }

    QString failedStep;
    link.FTStatus = d2xx.FT_SetBaudRate(link.FTHandle, 38400);
    if (link.FTStatus != FT_OK)
        failedStep = QStringLiteral("SetBaudRate");
    else if (d2xx.FT_SetDataCharacteristics(link.FTHandle, FT_BITS_8, FT_STOP_BITS_1,
                                            FT_PARITY_NONE) != FT_OK)
        failedStep = QStringLiteral("SetDataCharacteristics");
    else if (d2xx.FT_SetFlowControl(link.FTHandle, FT_FLOW_NONE, 0, 0) != FT_OK)
        failedStep = QStringLiteral("SetFlowControl");
    else if (d2xx.FT_SetTimeouts(link.FTHandle, 1000, 0) != FT_OK)
        failedStep = QStringLiteral("SetTimeouts");
    else if (d2xx.FT_SetChars(link.FTHandle, 0x7E, 1, 0, 0) != FT_OK)
        failedStep = QStringLiteral("SetChars");

    if (!failedStep.isEmpty()) {
        ctx_.LogMessage(failedStep + QStringLiteral(" Failed for device ") + desc);
        link.OpenFailure = desc + QStringLiteral(": ") + failedStep + QStringLiteral(" failed");
        FTDIClose(link.FTHandle);
        link.LinkOpen = false;
        return;
    }

    ctx_.LogMessage(QStringLiteral("SetCommPort: open OK for device ") + desc);
    link.LinkOpen = true;
    link.LinkLost = false;
}

void Link::CloseCommPort() {
    if (isFtdi()) {
        FTDIClose(ctx_.state.link.FTHandle);
    } else if (MSComm1().PortOpen()) {
        MSComm1().setPortOpen(false);
    }
}

void Link::FTDIClose(quint32& handle) {
    if (ctx_.d2xx().FT_Close(handle) != FT_OK)
        ctx_.LogMessage(QStringLiteral("Close Failed for") + ctx_.state.link.FTDetectDescription);
    handle = 0;
}

void Link::PurgeBuffers() {
    if (isFtdi()) {
        if (ctx_.d2xx().FT_Purge(ctx_.state.link.FTHandle, FT_PURGE_RX | FT_PURGE_TX) != FT_OK)
            ctx_.LogMessage(QStringLiteral("Purge Failed for device ") +
                            ctx_.state.link.FTDetectDescription);
    } else {
        MSComm1().clearInBuffer();
    }
}

void Link::StringToBytes(const QString& text, QByteArray& bytes) {
    const QByteArray codes = singleByteCodes(text);
    if (codes.size() > bytes.size())
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    bytes.fill('\0');
    std::copy(codes.cbegin(), codes.cend(), bytes.begin());
}

// ---- Receive engine --------------------------------------------------------------------

void Link::markLinkLost(const QString& prefix) {
    LinkState& link = ctx_.state.link;
    if (link.LinkLost)
        return;
    link.LinkLost = true;
    ctx_.LogMessage(lostLine(prefix));
}

qint32 Link::queueCount(const QString& prefix) {
    if (isFtdi()) {
        ReceiveState& rx = ctx_.state.rx;
        const FT_STATUS status =
            ctx_.d2xx().FT_GetQueueStatus(ctx_.state.link.FTHandle, &rx.FTRxQueue);
        if (status == FT_DEVICE_NOT_FOUND) {
            markLinkLost(prefix);
            rx.FTRxQueue = 0;
        }
        return static_cast<qint32>(qMin<quint32>(rx.FTRxQueue, INT32_MAX));
    }
    // Asking the port is what reveals a device that has gone, so ask first.
    const qint32 waiting = MSComm1().InBufferCount();
    if (MSComm1().LinkLost()) {
        markLinkLost(prefix);
        return 0;
    }
    return waiting;
}

void Link::bumpTimeoutCounter() {
    const qint32 count = toInt32(numericValue(ctx_.timeoutCaption()) + 1);
    ctx_.setTimeoutCaption((count >= 0 ? QStringLiteral(" ") : QString()) + num(count) +
                           QStringLiteral(" timeouts"));
}

void Link::Receive(const qint32& wanted) {
    // The FTDI path reads through a fixed buffer; a count it cannot hold, or no count at
    // all, is refused before anything is touched.
    if (wanted < 1 || (isFtdi() && wanted > ctx_.state.rx.FTRxBytes.size()))
        throw RunError(ErrorNumber::SubscriptOutOfRange);

    ctx_.state.rx.RxBuffer = QByteArray(1, '\0');
    ctx_.LogMessage(QStringLiteral("Receive01: try to receive ") + num(wanted) +
                    QStringLiteral(" bytes"));
    if (isFtdi())
        receiveFtdi(wanted);
    else
        receiveCom(wanted);
}

void Link::receiveCom(qint32 wanted) {
    ReceiveState& rx = ctx_.state.rx;
    LinkState& link = ctx_.state.link;
    SerialControl& comm = MSComm1();

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

    if (!comm.PortOpen()) {
        rx.RxBuffer = QByteArray(1, '\0');
        // A port that went away after it was opened is reported, so that a transfer
        // calling again and again stops instead of spinning on a dead port.
        if (comm.LinkLost()) {
            link.RxTimedOut = true;
            markLinkLost(QStringLiteral("Receive: "));
        }
        return;
    }

    rx.ReceiveBusy = true;
    const FlagReset busyReset(rx.ReceiveBusy);
    link.RxTimedOut = false;

    qint32 lastCount = 0;
    qint32 idlePolls = 0;
    qint32 waiting = 0;
    for (;;) {
        ctx_.Pause(kPollMs);
        waiting = comm.InBufferCount();
        if (comm.LinkLost()) {
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
        bumpTimeoutCounter();
        ctx_.LogMessage(QStringLiteral("Receive04: ") + ctx_.timeoutCaption() +
                        QStringLiteral(". InBufferCount=") + num(waiting) +
                        QStringLiteral(". Lastcount=") + num(lastCount));
    }

    if (waiting >= wanted) {
        comm.setInputLen(0);
        const QByteArray input = comm.Input();
        ctx_.LogMessage(QStringLiteral("Receive05: received ") + num(input.size()) +
                        QStringLiteral(" bytes"));
        // The newest bytes are the ones wanted; anything before them is dropped.
        if (input.size() >= wanted)
            rx.RxBuffer = input.right(wanted);
        else
            link.RxTimedOut = true;
    } else {
        ctx_.LogMessage(QStringLiteral("Receive06: received 0 bytes. ") + num(waiting) +
                        QStringLiteral(" waiting in buffer."));
    }
}

void Link::receiveFtdi(qint32 wanted) {
    ReceiveState& rx = ctx_.state.rx;
    LinkState& link = ctx_.state.link;
    link.RxTimedOut = false;

    quint32 lastCount = 0;
    qint32 idlePolls = 0;
    for (;;) {
        ctx_.Pause(kPollMs);
        if (ctx_.d2xx().FT_GetQueueStatus(link.FTHandle, &rx.FTRxQueue) == FT_DEVICE_NOT_FOUND) {
            rx.FTRxQueue = 0;
            link.RxTimedOut = true;
            markLinkLost(QStringLiteral("Receive: "));
            return;
        }
        if (rx.FTRxQueue > lastCount) {
            lastCount = rx.FTRxQueue;
            idlePolls = 0;
        } else if (++idlePolls > kIdlePollLimit) {
            link.RxTimedOut = true;
            break;
        }
        if (rx.FTRxQueue >= static_cast<quint32>(wanted))
            break;
    }

    if (rx.FTRxQueue != static_cast<quint32>(wanted) && link.RxTimedOut) {
        bumpTimeoutCounter();
        ctx_.LogMessage(QStringLiteral("Receive04: ") + ctx_.timeoutCaption() +
                        QStringLiteral(". InBufferCount=") + num(rx.FTRxQueue) +
                        QStringLiteral(". Lastcount=") + num(lastCount));
    }
    if (rx.FTRxQueue < static_cast<quint32>(wanted)) {
        ctx_.LogMessage(QStringLiteral("Receive06: received 0 bytes. ") + num(rx.FTRxQueue) +
                        QStringLiteral(" waiting in buffer."));
        return;
    }
    sharedFtdiRead(rx.RxBuffer, wanted);
    if (!link.RxTimedOut)
        ctx_.LogMessage(QStringLiteral("Receive05: received ") + num(rx.FTBytesRead) +
                        QStringLiteral(" bytes"));
}

void Link::ReceiveFT(QByteArray& bytes, const qint32& wanted) {
    if (wanted < 1 || (isFtdi() && wanted > ctx_.state.rx.FTRxBytes.size()))
        throw RunError(ErrorNumber::SubscriptOutOfRange);
    if (isFtdi()) {
        sharedFtdiRead(bytes, wanted);
        return;
    }
    SerialControl& comm = MSComm1();
    comm.setInputLen(wanted);
    bytes = comm.Input();
    if (comm.LinkLost()) {
        ctx_.state.link.RxTimedOut = true;
        markLinkLost(QStringLiteral("Receive: "));
    }
}

void Link::sharedFtdiRead(QByteArray& target, qint32 wanted) {
    ReceiveState& rx = ctx_.state.rx;
    LinkState& link = ctx_.state.link;
    if (wanted < 1 || wanted > rx.FTRxBytes.size())
        throw RunError(ErrorNumber::SubscriptOutOfRange);

    rx.FTByteCount = static_cast<quint32>(wanted);
    rx.FTBytesRead = 0;
    link.FTStatus =
        ctx_.d2xx().FT_Read(link.FTHandle, reinterpret_cast<quint8*>(rx.FTRxBytes.data()),
                            rx.FTByteCount, &rx.FTBytesRead);
    if (link.FTStatus == FT_OK || link.FTStatus == FT_IO_ERROR) {
        if (rx.FTBytesRead != rx.FTByteCount) {
            link.RxTimedOut = true;
            ctx_.LogMessage(QStringLiteral("FT_Read timeout ftStatus=") + num(link.FTStatus));
            bumpTimeoutCounter();
            ctx_.LogMessage(QStringLiteral("Receive04: ") + ctx_.timeoutCaption() +
                            QStringLiteral(". BytesRead=") + num(rx.FTBytesRead));
        } else {
            link.RxTimedOut = false;
        }
    } else {
        link.RxTimedOut = true;
        ctx_.LogMessage(QStringLiteral("FT_Read error ftStatus=") + num(link.FTStatus));
        if (link.FTStatus == FT_DEVICE_NOT_FOUND)
            markLinkLost(QStringLiteral("Receive: "));
    }
    // After a read that delivered nothing the caller still gets one (stale) byte; a count
    // beyond the buffer from a misbehaving library is cut to the buffer.
    if (rx.FTBytesRead == 0)
        rx.FTBytesRead = 1;
    target = rx.FTRxBytes.left(qMin<qint64>(rx.FTBytesRead, rx.FTRxBytes.size()));
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
    const QString failedLine =
        ack ? QStringLiteral("SendACK: ACK failed") : QStringLiteral("Write Failed sending NAK");

    if (isFtdi()) {
        ReceiveState& rx = ctx_.state.rx;
        if (ack)
            ctx_.LogMessage(QStringLiteral("SendACK: about to send ACK"));
        byteAt(rx.FTTxBytes, 0) = byte;
        rx.FTBytesWritten = 0;
        rx.FTByteCount = 1;
        const FT_STATUS status = ctx_.d2xx().FT_Write(
            link.FTHandle, reinterpret_cast<const quint8*>(rx.FTTxBytes.constData()),
            rx.FTByteCount, &rx.FTBytesWritten);
        if (status == FT_DEVICE_NOT_FOUND)
            link.LinkLost = true;
        if (status != FT_OK)
            ctx_.LogMessage(failedLine);
        else if (ack)
            ctx_.LogMessage(QStringLiteral("SendACK: ACK sent"));
        return;
    }

    // The radio's earlier bytes (and the cable's echo of ours) must not be mistaken for
    // its answer.
    PurgeBuffers();
    if (ack)
        ctx_.LogMessage(QStringLiteral("SendACK: about to send ACK"));
    try {
        MSComm1().Output(QByteArray(1, byte));
        if (ack)
            ctx_.LogMessage(QStringLiteral("SendACK: ACK sent"));
    } catch (const RunError&) {
        // The port went away under us; the transfer notices LinkLost and stops.
        link.LinkLost = true;
        ctx_.LogMessage(failedLine);
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

    rx.AckPollCount = 0;
    cancel.CancelRequested = false;  // a cancel from before this wait is forgotten

    for (;;) {
        ++rx.AckPollCount;
        const qint32 waiting = queueCount(prefix);
        if (isFtdi())
            rx.FTByteCount = static_cast<quint32>(waiting);
        if (ctx_.state.link.LinkLost)
            return false;
        if (waiting >= count) {
            rx.AckPollCount = 0;
            break;
        }
        ctx_.Pause(rx.HandshakeDelay);
        if (cancel.CancelRequested || rx.AckPollCount >= kAckPollLimit) {
            if (cancel.CancelRequested) {
                ctx_.LogMessage(prefix + QStringLiteral("cancelled by user"));
            } else {
                const qint64 left =
                    isFtdi() ? static_cast<qint64>(rx.FTByteCount) : MSComm1().InBufferCount();
                ctx_.LogMessage(prefix + QStringLiteral("timed out. Bytes in buffer=") + num(left));
            }
            PurgeBuffers();
            return false;
        }
    }

    if (isFtdi()) {
        // Everything that waits is taken; only the last byte is the answer. More than the
        // read buffer holds is taken in turns, keeping the last part.
        qint64 remaining = rx.FTByteCount;
        const qint32 chunk = static_cast<qint32>(rx.FTRxBytes.size());
        while (remaining > chunk) {
            QByteArray discarded;
            ReceiveFT(discarded, chunk);
            remaining -= chunk;
        }
        ReceiveFT(rx.RxBuffer, static_cast<qint32>(remaining));
    } else {
        MSComm1().setInputLen(count);
        rx.RxBuffer = MSComm1().Input();
    }

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
