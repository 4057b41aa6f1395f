#pragma once

#include <QMap>
#include <QPointer>
#include <QVector>

#include "core/d2xx.h"
#include "core/serialcontrol.h"

class SimRadio;
class VirtualClock;

// In-memory COM ports for tests, wired to simulated radios and driven by the virtual clock.
class FakePortWorld : public PortFactory {
public:
    explicit FakePortWorld(VirtualClock& clock);

    struct Port {
        SimRadio* radio = nullptr;  // the far end, if any
        int openError = 0;          // RunError number an open raises (8005 busy, 70, ...)
        QByteArray written;         // every byte the PC sent on this port
    };
    // The COM ports that exist, by number; every other number has no device.
    QMap<int, Port> ports;

    std::unique_ptr<SerialControl> create() override;
    QString devicePathFor(int comNumber) const override;
    // As the default mapping has it: COM9 to COM32 are USB adapters.
    bool isUsbSerial(int comNumber) const override { return comNumber >= 9 && comNumber <= 32; }

    VirtualClock& clock() { return clock_; }
    // Puts bytes into COM port n's receive buffer as if the far end had sent them.
    void inject(int comNumber, const QByteArray& bytes);

private:
    friend class FakeSerialControl;
    VirtualClock& clock_;
    QVector<QPointer<class FakeSerialControl>> controls_;
};

class FakeSerialControl : public SerialControl {
    Q_OBJECT
public:
    explicit FakeSerialControl(FakePortWorld& world) : world_(world) {}

    bool PortOpen() const override { return open_; }
    void setPortOpen(bool open) override;
    int InBufferCount() override;
    void clearInBuffer() override;
    QByteArray Input() override;
    void Output(const QByteArray& bytes) override;
    qint16 PortPresent(const qint16& index) override;
    bool LinkLost() const override { return lost_; }
    QString DevicePath() const override { return world_.devicePathFor(CommPort()); }

    // Pulls the bytes the radio has sent by now; raises the receive event when due.
    void poll();
    void receive(const QByteArray& bytes);

    // Test controls.
    bool failOutput = false;  // Output raises 8012 as if the device had gone

private:
    FakePortWorld::Port* port();
    void checkLost();

    FakePortWorld& world_;
    bool open_ = false;
    bool lost_ = false;
    bool eventPending_ = false;
    QByteArray buffer_;
};

// An in-memory D2XX device list wired to simulated radios, for tests.
class FakeD2xx : public D2xx {
public:
    explicit FakeD2xx(VirtualClock& clock) : clock_(clock) {}

    struct Device {
        QByteArray description;
        SimRadio* radio = nullptr;
        QByteArray written;  // every byte the PC sent to this device
    };
    QVector<Device> devices;

    // Test controls.
    bool libraryMissing = false;     // every call raises RunError 53
    QMap<QString, FT_STATUS> fail;   // function name -> status it returns
    FT_STATUS readStatus = FT_OK;    // status of a read that otherwise succeeds (4 is tolerated)
    QStringList calls;               // each call, with its arguments, in order
    QByteArray lastOpenDescription;  // the 65 bytes FT_OpenEx was given

    FT_STATUS FT_ListDevices(quint32* numDevices, std::nullptr_t, quint32 flags) override;
    FT_STATUS FT_ListDevices(quint32 index, quint8* description, quint32 flags) override;
    FT_STATUS FT_OpenEx(const quint8* description, quint32 flags, FT_HANDLE* handle) override;
    FT_STATUS FT_SetBaudRate(FT_HANDLE handle, quint32 baud) override;
    FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stopBits,
                                        quint8 parity) override;
    FT_STATUS FT_SetFlowControl(FT_HANDLE handle, quint16 flow, quint8 xon, quint8 xoff) override;
    FT_STATUS FT_SetTimeouts(FT_HANDLE handle, quint32 readMs, quint32 writeMs) override;
    FT_STATUS FT_SetChars(FT_HANDLE handle, quint8 eventChar, quint8 eventEnabled, quint8 errorChar,
                          quint8 errorEnabled) override;
    FT_STATUS FT_Purge(FT_HANDLE handle, quint32 mask) override;
    FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, quint32* rxBytes) override;
    FT_STATUS FT_Read(FT_HANDLE handle, quint8* buffer, quint32 wanted,
                      quint32* bytesRead) override;
    FT_STATUS FT_Write(FT_HANDLE handle, const quint8* buffer, quint32 count,
                       quint32* bytesWritten) override;
    FT_STATUS FT_Close(FT_HANDLE handle) override;

    // The device index behind an open handle, -1 when none.
    int deviceOf(FT_HANDLE handle) const;
    bool anyOpen() const { return !open_.isEmpty(); }

private:
    struct Open {
        int device = -1;
        QByteArray rx;
        quint32 readTimeoutMs = 0;  // 0: wait for ever, as the vendor library does
    };
    FT_STATUS enter(const QString& call);
    Open* find(FT_HANDLE handle);
    void pull(Open& o);

    VirtualClock& clock_;
    QMap<FT_HANDLE, Open> open_;
    FT_HANDLE nextHandle_ = 0x1000;
};
