#pragma once

#include <QHash>
#include <QString>

#include "link/serialcontrol.h"

class SettingsStore;

// COM numbers and device paths. On Windows COMn is the port of that name. Elsewhere each
// number maps to a device path: an explicit mapping in the settings store (section "Ports",
// key "COMn", any path), else COM1-8 -> /dev/ttyS0-7, COM9-24 -> /dev/ttyUSB0-15,
// COM25-32 -> /dev/ttyACM0-7. A mapping for this run only (the demo radio) wins over both.
class PortMap {
public:
    explicit PortMap(SettingsStore* settings) : settings_(settings) {}
    QString devicePathFor(int comNumber) const;
    static QString defaultPathFor(int comNumber);
    void setSessionMapping(int comNumber, const QString& path);
    // True when the device exists and is a serial port (or a terminal named by a mapping).
    bool isPresent(int comNumber) const;

private:
    SettingsStore* settings_;
    QHash<int, QString> session_;
};

// The application's serial-port factory: controls over QSerialPort.
class QtPortFactory : public PortFactory {
public:
    explicit QtPortFactory(SettingsStore* settings) : map_(settings) {}
    std::unique_ptr<SerialControl> create() override;
    QString devicePathFor(int comNumber) const override { return map_.devicePathFor(comNumber); }
    PortMap& map() { return map_; }

private:
    PortMap map_;
};
