#include "sim/fakeports.h"

#include <QMetaObject>

#include "core/errors.h"
#include "sim/simradio.h"
#include "sim/virtualclock.h"

// ---- FakePortWorld ------------------------------------------------------------------

FakePortWorld::FakePortWorld(VirtualClock& clock) : clock_(clock) {
    // Open ports listen as time passes, as a real port's driver would.
    clock_.addTicker([this] {
        for (const auto& control : controls_) {
            if (control && control->PortOpen())
                control->poll();
        }
    });
}

std::unique_ptr<SerialControl> FakePortWorld::create() {
    auto control = std::make_unique<FakeSerialControl>(*this);
    controls_.append(control.get());
    return control;
}

QString FakePortWorld::devicePathFor(int comNumber) const {
    return QStringLiteral("/dev/fake/COM%1").arg(comNumber);
}

void FakePortWorld::inject(int comNumber, const QByteArray& bytes) {
    for (const auto& control : controls_) {
        if (control && control->PortOpen() && control->CommPort() == comNumber) {
            control->receive(bytes);
            return;
        }
    }
}

// ---- FakeSerialControl --------------------------------------------------------------

FakePortWorld::Port* FakeSerialControl::port() {
    auto it = world_.ports.find(CommPort());
    return it == world_.ports.end() ? nullptr : &it.value();
}

void FakeSerialControl::setPortOpen(bool open) {
    if (!open) {
        open_ = false;
        return;
    }
    if (open_)
        throw RunError(ErrorNumber::PortAlreadyOpen);
    FakePortWorld::Port* p = port();
    if (!p)
        throw RunError(ErrorNumber::DeviceUnavailable);
    if (p->openError != 0)
        throw RunError(p->openError);
    for (const auto& other : world_.controls_) {
        if (other && other != this && other->PortOpen() && other->CommPort() == CommPort())
            throw RunError(ErrorNumber::PortAlreadyOpen);
    }
    if (p->radio && p->radio->cablePulled())
        throw RunError(ErrorNumber::DeviceUnavailable);
    open_ = true;
    lost_ = false;
    buffer_.clear();
}

void FakeSerialControl::checkLost() {
    FakePortWorld::Port* p = port();
    if (open_ && p && p->radio && p->radio->cablePulled()) {
        open_ = false;
        lost_ = true;
    }
}

void FakeSerialControl::poll() {
    if (!open_)
        return;
    FakePortWorld::Port* p = port();
    if (p && p->radio)
        buffer_.append(p->radio->takeDue(world_.clock().nowNs()));
    checkLost();
    if (open_ && RThreshold() > 0 && buffer_.size() >= RThreshold() && !eventPending_) {
        eventPending_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                eventPending_ = false;
                commEvent_ = 2;
                emit OnComm();
            },
            Qt::QueuedConnection);
    }
}

void FakeSerialControl::receive(const QByteArray& bytes) {
    buffer_.append(bytes);
    poll();
}

int FakeSerialControl::InBufferCount() {
    poll();
    return open_ ? static_cast<int>(buffer_.size()) : 0;
}

void FakeSerialControl::clearInBuffer() {
    poll();
    buffer_.clear();
}

QByteArray FakeSerialControl::Input() {
    poll();
    const qsizetype n =
        InputLen() <= 0 ? buffer_.size() : qMin<qsizetype>(InputLen(), buffer_.size());
    const QByteArray taken = buffer_.left(n);
    buffer_.remove(0, n);
    return taken;
}

void FakeSerialControl::Output(const QByteArray& bytes) {
    checkLost();
    if (!open_ || failOutput)
        throw RunError(ErrorNumber::DeviceNotOpen);
    FakePortWorld::Port* p = port();
    if (!p)
        return;
    p->written.append(bytes);
    if (p->radio) {
        // The bytes leave at line speed; the radio has them all once the last one is out.
        const qint64 done = world_.clock().nowNs() + bytes.size() * SimRadio::kByteNs;
        p->radio->fromPc(bytes, done);
    }
    checkLost();
}

qint16 FakeSerialControl::PortPresent(const qint16& index) {
    return world_.ports.contains(index + 1) ? 1 : 0;
}

// ---- FakeD2xx ------------------------------------------------------------------------

FT_STATUS FakeD2xx::enter(const QString& call) {
    if (libraryMissing)
        throw RunError(ErrorNumber::FileNotFound, QStringLiteral("File not found: libftdi1.so.2"));
    calls.append(call);
    const QString name = call.section(QLatin1Char('('), 0, 0);
    return fail.value(name, FT_OK);
}

FakeD2xx::Open* FakeD2xx::find(FT_HANDLE handle) {
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it.value();
}

int FakeD2xx::deviceOf(FT_HANDLE handle) const {
    auto it = open_.find(handle);
    return it == open_.end() ? -1 : it->device;
}

void FakeD2xx::pull(Open& o) {
    SimRadio* radio = devices[o.device].radio;
    if (radio)
        o.rx.append(radio->takeDue(clock_.nowNs()));
}

FT_STATUS FakeD2xx::FT_ListDevices(quint32* numDevices, std::nullptr_t, quint32 flags) {
    const FT_STATUS s = enter(QStringLiteral("FT_ListDevices(count,%1)").arg(flags, 0, 16));
    if (s == FT_OK && numDevices)
        *numDevices = static_cast<quint32>(devices.size());
    return s;
}

FT_STATUS FakeD2xx::FT_ListDevices(quint32 index, quint8* description, quint32 flags) {
    const FT_STATUS s = enter(QStringLiteral("FT_ListDevices(%1,%2)").arg(index).arg(flags, 0, 16));
    if (s != FT_OK)
        return s;
    if (index >= static_cast<quint32>(devices.size()))
        return FT_DEVICE_NOT_FOUND;
    const QByteArray d = devices[index].description.left(FT_DESCRIPTION_SIZE - 1);
    std::fill(description, description + FT_DESCRIPTION_SIZE, 0);
    std::copy(d.begin(), d.end(), description);
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_OpenEx(const quint8* description, quint32 flags, FT_HANDLE* handle) {
    lastOpenDescription =
        QByteArray(reinterpret_cast<const char*>(description), FT_DESCRIPTION_SIZE);
    const QByteArray wanted(reinterpret_cast<const char*>(description));
    const FT_STATUS s =
        enter(QStringLiteral("FT_OpenEx(%1,%2)").arg(QString::fromLatin1(wanted)).arg(flags));
    if (s != FT_OK)
        return s;
    for (int i = 0; i < devices.size(); ++i) {
        if (devices[i].description == wanted && !wanted.isEmpty()) {
            for (const Open& o : open_) {
                if (o.device == i)
                    return FT_DEVICE_NOT_OPENED;
            }
            const FT_HANDLE h = nextHandle_++;
            open_.insert(h, Open{i, {}, 0});
            *handle = h;
            return FT_OK;
        }
    }
    return FT_DEVICE_NOT_FOUND;
}

FT_STATUS FakeD2xx::FT_SetBaudRate(FT_HANDLE handle, quint32 baud) {
    const FT_STATUS s = enter(QStringLiteral("FT_SetBaudRate(%1)").arg(baud));
    return s != FT_OK ? s : (find(handle) ? FT_OK : FT_INVALID_HANDLE);
}

FT_STATUS FakeD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stopBits,
                                              quint8 parity) {
    const FT_STATUS s = enter(
        QStringLiteral("FT_SetDataCharacteristics(%1,%2,%3)").arg(bits).arg(stopBits).arg(parity));
    return s != FT_OK ? s : (find(handle) ? FT_OK : FT_INVALID_HANDLE);
}

FT_STATUS FakeD2xx::FT_SetFlowControl(FT_HANDLE handle, quint16 flow, quint8 xon, quint8 xoff) {
    const FT_STATUS s =
        enter(QStringLiteral("FT_SetFlowControl(%1,%2,%3)").arg(flow).arg(xon).arg(xoff));
    return s != FT_OK ? s : (find(handle) ? FT_OK : FT_INVALID_HANDLE);
}

FT_STATUS FakeD2xx::FT_SetTimeouts(FT_HANDLE handle, quint32 readMs, quint32 writeMs) {
    const FT_STATUS s = enter(QStringLiteral("FT_SetTimeouts(%1,%2)").arg(readMs).arg(writeMs));
    if (s != FT_OK)
        return s;
    Open* o = find(handle);
    if (!o)
        return FT_INVALID_HANDLE;
    o->readTimeoutMs = readMs;
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_SetChars(FT_HANDLE handle, quint8 eventChar, quint8 eventEnabled,
                                quint8 errorChar, quint8 errorEnabled) {
    const FT_STATUS s = enter(QStringLiteral("FT_SetChars(%1,%2,%3,%4)")
                                  .arg(eventChar)
                                  .arg(eventEnabled)
                                  .arg(errorChar)
                                  .arg(errorEnabled));
    return s != FT_OK ? s : (find(handle) ? FT_OK : FT_INVALID_HANDLE);
}

FT_STATUS FakeD2xx::FT_Purge(FT_HANDLE handle, quint32 mask) {
    const FT_STATUS s = enter(QStringLiteral("FT_Purge(%1)").arg(mask));
    if (s != FT_OK)
        return s;
    Open* o = find(handle);
    if (!o)
        return FT_INVALID_HANDLE;
    if (mask & FT_PURGE_RX) {
        pull(*o);
        o->rx.clear();
    }
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_GetQueueStatus(FT_HANDLE handle, quint32* rxBytes) {
    // Polled every few milliseconds: not recorded in `calls`.
    if (libraryMissing)
        throw RunError(ErrorNumber::FileNotFound, QStringLiteral("File not found: libftdi1.so.2"));
    Open* o = find(handle);
    if (!o) {
        *rxBytes = 0;
        return FT_INVALID_HANDLE;
    }
    if (SimRadio* radio = devices[o->device].radio; radio && radio->cablePulled()) {
        *rxBytes = 0;
        return FT_DEVICE_NOT_FOUND;  // the device has gone from the bus
    }
    pull(*o);
    *rxBytes = static_cast<quint32>(o->rx.size());
    return fail.value(QStringLiteral("FT_GetQueueStatus"), FT_OK);
}

FT_STATUS FakeD2xx::FT_Read(FT_HANDLE handle, quint8* buffer, quint32 wanted, quint32* bytesRead) {
    if (libraryMissing)
        throw RunError(ErrorNumber::FileNotFound, QStringLiteral("File not found: libftdi1.so.2"));
    *bytesRead = 0;
    Open* o = find(handle);
    if (!o)
        return FT_INVALID_HANDLE;
    if (SimRadio* radio = devices[o->device].radio; radio && radio->cablePulled())
        return FT_DEVICE_NOT_FOUND;
    const FT_STATUS failure = fail.value(QStringLiteral("FT_Read"), FT_OK);
    if (failure != FT_OK && failure != FT_IO_ERROR)
        return failure;
    // Block in virtual time until enough bytes arrived or the read time-out passed.
    const qint64 limitMs = o->readTimeoutMs == 0 ? 60'000 : o->readTimeoutMs;
    const qint64 deadline = clock_.nowNs() + limitMs * 1'000'000;
    for (;;) {
        pull(*o);
        if (static_cast<quint32>(o->rx.size()) >= wanted || clock_.nowNs() >= deadline)
            break;
        clock_.advanceTo(qMin(deadline, clock_.nowNs() + 1'000'000));
        o = find(handle);  // an action run by the clock may have closed it
        if (!o)
            return FT_INVALID_HANDLE;
    }
    const quint32 n = qMin<quint32>(wanted, static_cast<quint32>(o->rx.size()));
    std::copy(o->rx.constBegin(), o->rx.constBegin() + n, buffer);
    o->rx.remove(0, n);
    *bytesRead = n;
    return failure != FT_OK ? failure : readStatus;
}

FT_STATUS FakeD2xx::FT_Write(FT_HANDLE handle, const quint8* buffer, quint32 count,
                             quint32* bytesWritten) {
    const FT_STATUS s = enter(QStringLiteral("FT_Write(%1)").arg(count));
    *bytesWritten = 0;
    if (s != FT_OK)
        return s;
    Open* o = find(handle);
    if (!o)
        return FT_INVALID_HANDLE;
    const QByteArray bytes(reinterpret_cast<const char*>(buffer), count);
    Device& d = devices[o->device];
    d.written.append(bytes);
    if (d.radio) {
        if (d.radio->cablePulled())
            return FT_DEVICE_NOT_FOUND;
        d.radio->fromPc(bytes, clock_.nowNs() + count * SimRadio::kByteNs);
    }
    *bytesWritten = count;
    return FT_OK;
}

FT_STATUS FakeD2xx::FT_Close(FT_HANDLE handle) {
    const FT_STATUS s = enter(QStringLiteral("FT_Close"));
    if (s != FT_OK)
        return s;
    return open_.remove(handle) > 0 ? FT_OK : FT_INVALID_HANDLE;
}
