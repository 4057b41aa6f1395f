#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QSerialPort>
#include <QString>
#include <QStringList>

#include "core/serialcontrol.h"

class ConfigStore;

// COM numbers and device paths. On Windows COMn is the port of that name. Elsewhere each
// number maps to a device path: an explicit mapping in the configuration store (section "Ports",
// key "COMn", any path), else COM1-8 -> /dev/ttyS0-7, COM9-24 -> /dev/ttyUSB0-15,
// COM25-32 -> /dev/ttyACM0-7. A mapping for this run only (the demo radio) wins over both.
class PortMap {
public:
    explicit PortMap(ConfigStore* settings) : settings_(settings) {}
    QString devicePathFor(int comNumber) const;
    static QString defaultPathFor(int comNumber);
    void setSessionMapping(int comNumber, const QString& path);
    // True when the device exists and is a serial port (a terminal, for a mapped path).
    bool isPresent(int comNumber) const;

    static constexpr int kFirstCom = 1;
    static constexpr int kLastCom = 32;

private:
    // The path named by the session or the configuration store; empty when neither maps it.
    QString mappedPathFor(int comNumber) const;
    // The serial ports the system lists (paths and names), taken afresh after a moment.
    const QStringList& systemPorts() const;

    ConfigStore* settings_;
    mutable QStringList systemPorts_;
    mutable QElapsedTimer systemPortsAge_;
    QHash<int, QString> session_;
};

// The application's serial-port factory: controls over QSerialPort.
class QtPortFactory : public PortFactory {
public:
    explicit QtPortFactory(ConfigStore* settings) : map_(settings) {}
    std::unique_ptr<SerialControl> create() override;
    QString devicePathFor(int comNumber) const override { return map_.devicePathFor(comNumber); }
    bool isUsbSerial(int comNumber) const override;
    PortMap& map() { return map_; }

private:
    PortMap map_;
};

// The serial-port control over QSerialPort. Everything runs on the caller's thread and
// nothing blocks: bytes arrive through the event loop (which every wait pumps), and Output
// hands its bytes to the driver without waiting for them to leave.
class QtSerialControl : public SerialControl {
    Q_OBJECT
public:
    // `map` must outlive the control (the factory owns it).
    explicit QtSerialControl(const PortMap& map, QObject* parent = nullptr);
    ~QtSerialControl() override;

    bool PortOpen() const override;
    void setPortOpen(bool open) override;
    int InBufferCount() override;
    void clearInBuffer() override;
    QByteArray Input() override;
    void Output(const QByteArray& bytes) override;
    qint16 PortPresent(const qint16& index) override;
    bool LinkLost() const override { return lost_; }
    QString DevicePath() const override { return map_.devicePathFor(CommPort()); }

    // The line settings of a Settings text ("38400,N,8,1"); raises RunError 380 (Invalid
    // property value) when the text is malformed.
    struct LineSettings {
        qint32 baud = 0;
        QSerialPort::Parity parity = QSerialPort::NoParity;
        QSerialPort::DataBits dataBits = QSerialPort::Data8;
        QSerialPort::StopBits stopBits = QSerialPort::OneStop;
    };
    static LineSettings parseSettings(const QString& text);

private:
    void open();
    void checkDeviceBeforeOpen(const QString& path) const;
    void onReadyRead();
    void onError(QSerialPort::SerialPortError error);
    // The device went away: one loss, the port closed, later errors ignored.
    void markLost();

    const PortMap& map_;
    QSerialPort* port_;
    bool lost_ = false;
    bool configuring_ = false;  // modem-line failures while opening are not a loss
};
