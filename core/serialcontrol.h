#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <memory>

// The serial-port control as the callers use it: properties written before an open,
// PortOpen to open and close, InBufferCount / InputLen / Input to read, Output to send,
// and a receive event (OnComm) raised when RThreshold > 0 and that many bytes wait.
//
// The base class keeps the plain properties; a back-end supplies the port itself.
class SerialControl : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialControl() override = default;

    void setCommPort(qint16 port) { commPort_ = port; }
    qint16 CommPort() const { return commPort_; }
    void setSettings(const QString& settings) { settings_ = settings; }
    QString Settings() const { return settings_; }
    void setInputMode(int mode) { inputMode_ = mode; }
    int InputMode() const { return inputMode_; }
    void setHandshaking(int value) { handshaking_ = value; }
    int Handshaking() const { return handshaking_; }
    void setProtocol(int value) { protocol_ = value; }
    int Protocol() const { return protocol_; }
    void setDTREnable(bool on) { dtr_ = on; }
    bool DTREnable() const { return dtr_; }
    void setRTSEnable(bool on) { rts_ = on; }
    bool RTSEnable() const { return rts_; }
    void setRThreshold(int value) { rThreshold_ = value; }
    int RThreshold() const { return rThreshold_; }
    void setSThreshold(int value) { sThreshold_ = value; }
    int SThreshold() const { return sThreshold_; }
    void setInputLen(int value) { inputLen_ = value; }
    int InputLen() const { return inputLen_; }
    // 2 when the last receive event reported received bytes.
    int CommEvent() const { return commEvent_; }

    virtual bool PortOpen() const = 0;
    // Opening raises RunError: 68 when the device does not exist, 8005 when it is busy
    // or locked by another program, 70 when permission is denied, 8002 for a port number
    // with no device, 8015 when the device is no serial port. Closing a closed port does nothing.
    virtual void setPortOpen(bool open) = 0;
    // Bytes received and waiting.
    virtual int InBufferCount() = 0;
    // InBufferCount = 0: discards the waiting bytes.
    virtual void clearInBuffer() = 0;
    // Removes and returns the waiting bytes, at most InputLen of them (0: all).
    virtual QByteArray Input() = 0;
    // Queues bytes for sending and returns. Raises 8012 when the port is not open.
    virtual void Output(const QByteArray& bytes) = 0;
    // 1 when COM port index + 1 exists on this machine.
    virtual qint16 PortPresent(const qint16& index) = 0;
    // True once the device went away while open (cable pulled); the port is then closed.
    virtual bool LinkLost() const = 0;
    // The device path behind the current CommPort, for messages.
    virtual QString DevicePath() const = 0;

signals:
    // The receive event: raised with CommEvent() == 2 when at least RThreshold bytes wait.
    void OnComm();

protected:
    int commEvent_ = 0;

private:
    qint16 commPort_ = 1;
    QString settings_ = QStringLiteral("9600,N,8,1");
    int inputMode_ = 0;
    int handshaking_ = 0;
    int protocol_ = 0;
    bool dtr_ = false;
    bool rts_ = false;
    int rThreshold_ = 0;
    int sThreshold_ = 0;
    int inputLen_ = 0;
};

// Makes serial-port controls and knows which device path a COM number maps to.
class PortFactory {
public:
    virtual ~PortFactory() = default;
    virtual std::unique_ptr<SerialControl> create() = 0;
    virtual QString devicePathFor(int comNumber) const = 0;
    // True when COM number n's device is a USB serial adapter (a likely radio cable).
    virtual bool isUsbSerial(int comNumber) const = 0;
};
