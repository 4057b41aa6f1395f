#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

class CoreContext;
class SerialControl;

// The link to the radio: a COM port through the serial-port control MSComm1, or the FTDI
// device through D2XX when PortNumber is 999. Opening and closing, the receive engine and
// the one-byte handshakes, all writing their trace lines through LogMessage.
class Link {
public:
    explicit Link(CoreContext& ctx);
    ~Link();

    SerialControl& MSComm1() { return *MSComm1_; }

    // Opening and closing.
    void SetCommPort(const qint16& port, const QString& settings);
    void CloseCommPort();
    void FTDIClose(quint32& handle);
    void PurgeBuffers();
    // Zero-fills `bytes`, then stores the text's characters (Latin-1) from index 0.
    static void StringToBytes(const QString& text, QByteArray& bytes);

    // Receive engine.
    void Receive(const qint32& wanted);
    void ReceiveFT(QByteArray& bytes, const qint32& wanted);
    qint32 GetInBufferCount();

    // Handshakes.
    void SendACK();
    void SendNAK();
    bool ReceiveAck(const qint32& count);

    // Adds one to the main window's time-out counter (" 1 timeouts", " 2 timeouts", ...).
    void bumpTimeoutCounter();

    // The back-end the last SetCommPort opened (the FTDI device, or the COM port MSComm1
    // holds). Every routine after the open talks to it and CloseCommPort closes it, even
    // if the chosen port changes meanwhile.
    bool isFtdi() const { return ftdiOpened_; }

private:
    void sharedFtdiRead(QByteArray& target, qint32 wanted);
    // The waiting-byte count; notices a link that went away (LinkLost) and then gives 0.
    qint32 queueCount(const QString& prefix);
    // Sets LinkLost; the first notice of a loss gets one trace line with the given prefix.
    void markLinkLost(const QString& prefix);
    void setCommPortCom(qint16 port, const QString& settings);
    void setCommPortFtdi();
    void receiveCom(qint32 wanted);
    void receiveFtdi(qint32 wanted);
    void sendHandshakeByte(char byte);

    CoreContext& ctx_;
    std::unique_ptr<SerialControl> MSComm1_;
    bool ftdiOpened_ = false;
};
