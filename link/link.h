#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class CoreContext;
class SerialControl;
class Transport;

// The link to the radio: one transport (a COM port through the serial-port control
// MSComm1, or the FTDI device when PortNumber is 999), chosen when SetCommPort opens it.
// Opening and closing, the receive engine and the one-byte handshakes, all writing their
// trace lines through LogMessage.
class Link {
public:
    explicit Link(CoreContext& ctx);
    ~Link();

    // The serial-port control a COM transport drives.
    SerialControl& MSComm1() { return *MSComm1_; }

    // Opening and closing. Every routine after the open talks to the transport it opened,
    // and CloseCommPort closes it, even if the chosen port changes meanwhile.
    void SetCommPort(const qint16& port, const QString& settings);
    void CloseCommPort();
    void PurgeBuffers();
    // Closes the device at shut-down, if it is open.
    void shutDown();

    // True when the last SetCommPort opened the link (closing does not change it).
    bool isOpen() const { return open_; }
    // Why the last open failed, in one line naming the device path or FTDI description
    // ("/dev/ttyUSB0: no such file"); empty after an open that succeeded.
    const QString& openFailure() const { return openFailure_; }
    // True once the link went away under the program (cable pulled, device gone, a send
    // failed); cleared by every successful open. Transfers stop on it.
    bool lost() const { return lost_; }

    // Receive engine. Receive and ReceiveAck leave what they took in received(); a receive
    // that ran out of time sets timedOut().
    void Receive(const qint32& wanted);
    void ReceiveFT(QByteArray& bytes, const qint32& wanted);
    qint32 GetInBufferCount();
    const QByteArray& received() const { return rxBuffer_; }
    bool timedOut() const { return timedOut_; }

    // Handshakes, each followed by a pause of handshakeDelay() milliseconds, which the
    // transfer sets for its pace.
    qint32 handshakeDelay() const { return handshakeDelay_; }
    void setHandshakeDelay(qint32 ms) { handshakeDelay_ = ms; }
    void SendACK();
    void SendNAK();
    bool ReceiveAck(const qint32& count);

    // Sends on the open link; false when the send failed or the link has already gone
    // (lost() is then set), so that a transfer never goes on blind.
    bool send(const QByteArray& bytes);
    // True once the link has gone: the link routines flagged it (cable pulled, device gone),
    // or the device closed under the transfer. Sets lost() when it finds out itself.
    bool linkGone();
    // The cable as the user knows it: "COM3 (/dev/ttyS2)" or "the FTDI device "Cable"".
    QString cableName() const;

private:
    // Up to `count` bytes; a short read sets timedOut() and is counted as a time-out unless
    // the read failed.
    QByteArray readBytes(qint32 count);
    // The waiting-byte count; notices a link that went away (lost()) and then gives 0.
    qint32 queueCount(const QString& prefix);
    // Sets lost(); the first notice of a loss gets one trace line with the given prefix.
    void markLinkLost(const QString& prefix);
    void sendHandshakeByte(char byte);

    CoreContext& ctx_;
    std::unique_ptr<SerialControl> MSComm1_;
    std::unique_ptr<Transport> transport_;
    bool open_ = false;
    bool lost_ = false;
    bool timedOut_ = false;
    bool receiveBusy_ = false;  // a receive is under way (another may start in its pauses)
    QString openFailure_;
    QByteArray rxBuffer_;
    qint32 handshakeDelay_ = 20;
};
