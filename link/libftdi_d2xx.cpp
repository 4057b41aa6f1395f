#include "link/libftdi_d2xx.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QVector>
#include <cstring>
#include <map>

#include "core/errors.h"

// Only the declarations: every function is reached through a pointer found at run time,
// and the program does not link against the library.
#define _FTDI_DISABLE_DEPRECATED
#include <dlfcn.h>
#include <libftdi1/ftdi.h>

namespace {

constexpr int kVendor = 0x0403;
// FT232R/FT232B, FT2232, FT4232, FT232H, FT-X, and the USB cable made for the VX-8.
constexpr int kProducts[] = {0x6001, 0x6010, 0x6011, 0x6014, 0x6015, 0x9E50};
constexpr int kDescriptionLength = FT_DESCRIPTION_SIZE - 1;
// libftdi's read returns only when its buffer is full, or when the chip reports an empty
// packet; while the radio streams, the latter never happens. So every read asks for one
// piece that the line fills in about 17 ms at 38400 baud, and no call holds the event
// loop for longer than that.
constexpr int kPiece = 64;
// libusb's answer once a device has been unplugged.
constexpr int kUsbNoDevice = -4;
// libftdi's own answer when its device handle is gone.
constexpr int kFtdiDeviceUnavailable = -666;
// A write never waits longer than this for the chip to take its bytes, whatever the
// caller asked: a single-threaded program must not hang on a stuck device.
constexpr int kWriteTimeoutMs = 5000;
constexpr unsigned char kLatencyMs = 2;

// The entry points, resolved by name.
struct LibFtdi {
    void* library = nullptr;
    decltype(&ftdi_new) new_ = nullptr;
    decltype(&ftdi_free) free_ = nullptr;
    decltype(&ftdi_usb_find_all) usb_find_all = nullptr;
    decltype(&ftdi_list_free) list_free = nullptr;
    decltype(&ftdi_usb_get_strings) usb_get_strings = nullptr;
    decltype(&ftdi_usb_open_desc) usb_open_desc = nullptr;
    decltype(&ftdi_usb_close) usb_close = nullptr;
    decltype(&ftdi_set_baudrate) set_baudrate = nullptr;
    decltype(&ftdi_set_line_property) set_line_property = nullptr;
    decltype(&ftdi_setflowctrl) setflowctrl = nullptr;
    decltype(&ftdi_set_event_char) set_event_char = nullptr;
    decltype(&ftdi_set_error_char) set_error_char = nullptr;
    decltype(&ftdi_read_data) read_data = nullptr;
    decltype(&ftdi_write_data) write_data = nullptr;
    // Optional: not in every version of the library.
    decltype(&ftdi_tciflush) tciflush = nullptr;
    decltype(&ftdi_tcoflush) tcoflush = nullptr;
    decltype(&ftdi_tcioflush) tcioflush = nullptr;
    decltype(&ftdi_usb_purge_buffers) usb_purge_buffers = nullptr;
    decltype(&ftdi_set_latency_timer) set_latency_timer = nullptr;
    decltype(&ftdi_setflowctrl_xonxoff) setflowctrl_xonxoff = nullptr;
    decltype(&ftdi_get_library_version) get_library_version = nullptr;
};

template <typename F>
bool resolve(void* library, const char* name, F& target) {
    target = reinterpret_cast<F>(::dlsym(library, name));
    return target != nullptr;
}

class LibFtdiD2xx : public D2xx {
public:
    ~LibFtdiD2xx() override;

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

private:
    struct Device {
        ftdi_context* ftdi = nullptr;
        QByteArray fifo;            // bytes that have arrived and are not read yet
        quint32 readTimeoutMs = 0;  // 0: a read waits until it has every byte
        bool lost = false;          // unplugged: every call fails at once
    };

    // Loads the library on first use; raises error 53 when it cannot.
    LibFtdi& lib();
    // The open device behind a handle, or null.
    Device* find(FT_HANDLE handle);
    // FT_OK for a usable device, else the status every call on it returns.
    FT_STATUS check(FT_HANDLE handle, Device*& device);
    // Status of a failed configuration call.
    FT_STATUS configStatus(Device& device, int result);
    // Moves one piece of what the chip has received into the device's FIFO. Returns the
    // number of bytes moved, or a negative libftdi/libusb error.
    int drain(Device& device);
    // Lists the devices present and keeps their descriptions.
    FT_STATUS enumerate();
    void release(Device& device);

    LibFtdi lib_;
    bool loaded_ = false;
    std::map<FT_HANDLE, Device> open_;
    FT_HANDLE lastHandle_ = 0;
    QVector<QByteArray> listed_;
    bool listedValid_ = false;
};

LibFtdiD2xx::~LibFtdiD2xx() {
    for (auto& [handle, device] : open_)
        release(device);
    open_.clear();
    // The library stays loaded: libusb may still run exit handlers from it.
}

LibFtdi& LibFtdiD2xx::lib() {
    if (loaded_)
        return lib_;
    const QString fileName = libFtdiFileName();
    const QString missing = QStringLiteral("File not found: ") + fileName;
    void* library = ::dlopen(QFile::encodeName(fileName).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library)
        throw RunError(ErrorNumber::FileNotFound, missing);
    LibFtdi l;
    l.library = library;
    const bool complete = resolve(library, "ftdi_new", l.new_) &&
                          resolve(library, "ftdi_free", l.free_) &&
                          resolve(library, "ftdi_usb_find_all", l.usb_find_all) &&
                          resolve(library, "ftdi_list_free", l.list_free) &&
                          resolve(library, "ftdi_usb_get_strings", l.usb_get_strings) &&
                          resolve(library, "ftdi_usb_open_desc", l.usb_open_desc) &&
                          resolve(library, "ftdi_usb_close", l.usb_close) &&
                          resolve(library, "ftdi_set_baudrate", l.set_baudrate) &&
                          resolve(library, "ftdi_set_line_property", l.set_line_property) &&
                          resolve(library, "ftdi_setflowctrl", l.setflowctrl) &&
                          resolve(library, "ftdi_set_event_char", l.set_event_char) &&
                          resolve(library, "ftdi_set_error_char", l.set_error_char) &&
                          resolve(library, "ftdi_read_data", l.read_data) &&
                          resolve(library, "ftdi_write_data", l.write_data);
    if (!complete) {
        ::dlclose(library);
        throw RunError(ErrorNumber::FileNotFound,
                       missing + QStringLiteral(" (not a usable libftdi1)"));
    }
    resolve(library, "ftdi_tciflush", l.tciflush);
    resolve(library, "ftdi_tcoflush", l.tcoflush);
    resolve(library, "ftdi_tcioflush", l.tcioflush);
    resolve(library, "ftdi_usb_purge_buffers", l.usb_purge_buffers);
    resolve(library, "ftdi_set_latency_timer", l.set_latency_timer);
    resolve(library, "ftdi_setflowctrl_xonxoff", l.setflowctrl_xonxoff);
    resolve(library, "ftdi_get_library_version", l.get_library_version);
    lib_ = l;
    loaded_ = true;
    return lib_;
}

LibFtdiD2xx::Device* LibFtdiD2xx::find(FT_HANDLE handle) {
    auto it = open_.find(handle);
    return it == open_.end() ? nullptr : &it->second;
}

FT_STATUS LibFtdiD2xx::check(FT_HANDLE handle, Device*& device) {
    lib();
    device = find(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    if (device->lost)
        return FT_DEVICE_NOT_FOUND;
    return FT_OK;
}

FT_STATUS LibFtdiD2xx::configStatus(Device& device, int result) {
    if (result >= 0)
        return FT_OK;
    if (result == kUsbNoDevice || result == kFtdiDeviceUnavailable || !device.ftdi->usb_dev) {
        device.lost = true;
        return FT_DEVICE_NOT_FOUND;
    }
    return FT_IO_ERROR;
}

void LibFtdiD2xx::release(Device& device) {
    if (!device.ftdi)
        return;
    lib_.usb_close(device.ftdi);
    lib_.free_(device.ftdi);
    device.ftdi = nullptr;
}

FT_STATUS LibFtdiD2xx::enumerate() {
    LibFtdi& l = lib();
    listed_.clear();
    listedValid_ = false;
    ftdi_context* ftdi = l.new_();
    if (!ftdi)
        return FT_INSUFFICIENT_RESOURCES;
    FT_STATUS status = FT_OK;
    for (int product : kProducts) {
        ftdi_device_list* list = nullptr;
        const int found = l.usb_find_all(ftdi, &list, kVendor, product);
        if (found < 0) {
            status = FT_OTHER_ERROR;
            break;
        }
        for (ftdi_device_list* node = list; node; node = node->next) {
            char text[kDescriptionLength + 1] = {};
            const int r =
                l.usb_get_strings(ftdi, node->dev, nullptr, 0, text, sizeof text, nullptr, 0);
            QByteArray description;
            if (r >= 0) {
                description = QByteArray(text).left(kDescriptionLength);
            } else {
                // The device is there but we may not talk to it: say so where the user
                // looks, rather than leave it out of the list.
                const QByteArray id = QByteArray::number(kVendor, 16).rightJustified(4, '0') + ':' +
                                      QByteArray::number(product, 16);
                description = r == -4 ? "FTDI " + id + " (permission denied: join plugdev)"
                                      : "FTDI " + id + " (description unreadable)";
            }
            listed_.append(description);
        }
        l.list_free(&list);
    }
    l.free_(ftdi);
    listedValid_ = status == FT_OK;
    return status;
}

FT_STATUS LibFtdiD2xx::FT_ListDevices(quint32* numDevices, std::nullptr_t, quint32 flags) {
    lib();
    if (!numDevices || !(flags & FT_LIST_NUMBER_ONLY))
        return FT_INVALID_PARAMETER;
    const FT_STATUS status = enumerate();
    *numDevices = status == FT_OK ? static_cast<quint32>(listed_.size()) : 0;
    return status;
}

FT_STATUS LibFtdiD2xx::FT_ListDevices(quint32 index, quint8* description, quint32 flags) {
    lib();
    if (!description || (flags & (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION)) !=
                            (FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION))
        return FT_INVALID_PARAMETER;
    // The descriptions come from the count just asked for, so that index i names the same
    // device as in that count; without one, the devices are listed now.
    if (!listedValid_) {
        const FT_STATUS status = enumerate();
        if (status != FT_OK)
            return status;
    }
    if (index >= static_cast<quint32>(listed_.size()))
        return FT_DEVICE_NOT_FOUND;
    std::memset(description, 0, FT_DESCRIPTION_SIZE);
    const QByteArray& text = listed_.at(static_cast<qsizetype>(index));
    std::memcpy(description, text.constData(), qMin<qsizetype>(text.size(), kDescriptionLength));
    return FT_OK;
}

FT_STATUS LibFtdiD2xx::FT_OpenEx(const quint8* description, quint32 flags, FT_HANDLE* handle) {
    LibFtdi& l = lib();
    if (!description || !handle || flags != FT_OPEN_BY_DESCRIPTION)
        return FT_INVALID_PARAMETER;
    *handle = 0;
    // The description ends at the first zero byte, or after 64 characters.
    const QByteArray wanted(
        reinterpret_cast<const char*>(description),
        qstrnlen(reinterpret_cast<const char*>(description), kDescriptionLength));

    ftdi_context* ftdi = l.new_();
    if (!ftdi)
        return FT_INSUFFICIENT_RESOURCES;
    // Take the device from the kernel's serial driver while we use it, and give it back
    // when we close it, where the library knows how.
    if (l.get_library_version) {
        const ftdi_version_info v = l.get_library_version();
        if (v.major > 1 || (v.major == 1 && v.minor >= 5))
            ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;
    }
    int result = -3;
    bool refused = false;
    for (int product : kProducts) {
        result = l.usb_open_desc(ftdi, kVendor, product, wanted.constData(), nullptr);
        if (result == 0)
            break;
        if (result != -3)
            refused = true;  // there, but could not be opened or claimed
    }
    if (result != 0) {
        l.free_(ftdi);
        return refused ? FT_DEVICE_NOT_OPENED : FT_DEVICE_NOT_FOUND;
    }
    if (l.set_latency_timer)
        l.set_latency_timer(ftdi, kLatencyMs);  // faster answers; the default still works
    ftdi->usb_write_timeout = kWriteTimeoutMs;

    FT_HANDLE h = lastHandle_;
    do {
        h = h >= 0x7FFFFFFF ? 1 : h + 1;
    } while (open_.count(h));
    lastHandle_ = h;
    Device& device = open_[h];
    device.ftdi = ftdi;
    *handle = h;
    return FT_OK;
}

FT_STATUS LibFtdiD2xx::FT_SetBaudRate(FT_HANDLE handle, quint32 baud) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    if (baud == 0 || baud > 12'000'000)
        return FT_INVALID_BAUD_RATE;
    const int r = lib_.set_baudrate(d->ftdi, static_cast<int>(baud));
    return r == -1 ? FT_INVALID_BAUD_RATE : configStatus(*d, r);
}

FT_STATUS LibFtdiD2xx::FT_SetDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stopBits,
                                                 quint8 parity) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    if ((bits != 7 && bits != 8) || stopBits > 2 || parity > 4)
        return FT_INVALID_PARAMETER;
    // D2XX spells 1 stop bit 0 and 2 stop bits 2, as libftdi does; parities match too.
    const int r = lib_.set_line_property(d->ftdi, static_cast<ftdi_bits_type>(bits),
                                         static_cast<ftdi_stopbits_type>(stopBits),
                                         static_cast<ftdi_parity_type>(parity));
    return configStatus(*d, r);
}

FT_STATUS LibFtdiD2xx::FT_SetFlowControl(FT_HANDLE handle, quint16 flow, quint8 xon, quint8 xoff) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    // D2XX and the chip share the codes: 0 none, 0x100 RTS/CTS, 0x200 DTR/DSR, 0x400 XON/XOFF.
    if (flow != 0 && flow != 0x100 && flow != 0x200 && flow != 0x400)
        return FT_INVALID_PARAMETER;
    int r;
    if (flow == 0x400 && lib_.setflowctrl_xonxoff)
        r = lib_.setflowctrl_xonxoff(d->ftdi, xon, xoff);
    else
        r = lib_.setflowctrl(d->ftdi, flow);
    return configStatus(*d, r);
}

FT_STATUS LibFtdiD2xx::FT_SetTimeouts(FT_HANDLE handle, quint32 readMs, quint32 writeMs) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    d->readTimeoutMs = readMs;
    // One USB transfer never outlasts the read time-out; reads poll, so they stay short.
    if (readMs > 0)
        d->ftdi->usb_read_timeout = static_cast<int>(qMin<quint32>(readMs, 60'000));
    if (writeMs > 0)
        d->ftdi->usb_write_timeout = static_cast<int>(qMin<quint32>(writeMs, kWriteTimeoutMs));
    return FT_OK;
}

FT_STATUS LibFtdiD2xx::FT_SetChars(FT_HANDLE handle, quint8 eventChar, quint8 eventEnabled,
                                   quint8 errorChar, quint8 errorEnabled) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    const FT_STATUS event =
        configStatus(*d, lib_.set_event_char(d->ftdi, eventChar, eventEnabled ? 1 : 0));
    if (event != FT_OK)
        return event;
    return configStatus(*d, lib_.set_error_char(d->ftdi, errorChar, errorEnabled ? 1 : 0));
}

FT_STATUS LibFtdiD2xx::FT_Purge(FT_HANDLE handle, quint32 mask) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    const bool rx = mask & FT_PURGE_RX;
    const bool tx = mask & FT_PURGE_TX;
    if (!rx && !tx)
        return FT_INVALID_PARAMETER;
    if (rx)
        d->fifo.clear();
    int r;
    if (rx && tx && lib_.tcioflush)
        r = lib_.tcioflush(d->ftdi);
    else if (rx && !tx && lib_.tciflush)
        r = lib_.tciflush(d->ftdi);
    else if (tx && !rx && lib_.tcoflush)
        r = lib_.tcoflush(d->ftdi);
    else if (lib_.usb_purge_buffers)
        r = lib_.usb_purge_buffers(d->ftdi);  // older libraries: both queues at once
    else
        return FT_OTHER_ERROR;
    return configStatus(*d, r);
}

int LibFtdiD2xx::drain(Device& device) {
    unsigned char piece[kPiece];
    const int n = lib_.read_data(device.ftdi, piece, kPiece);
    if (n < 0) {
        if (n == kUsbNoDevice || n == kFtdiDeviceUnavailable || !device.ftdi->usb_dev)
            device.lost = true;
        return n;
    }
    device.fifo.append(reinterpret_cast<const char*>(piece), n);
    return n;
}

FT_STATUS LibFtdiD2xx::FT_GetQueueStatus(FT_HANDLE handle, quint32* rxBytes) {
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    if (!rxBytes)
        return FT_INVALID_PARAMETER;
    const int r = drain(*d);
    *rxBytes = static_cast<quint32>(d->fifo.size());
    if (r < 0)
        return d->lost ? FT_DEVICE_NOT_FOUND : FT_IO_ERROR;
    return FT_OK;
}

FT_STATUS LibFtdiD2xx::FT_Read(FT_HANDLE handle, quint8* buffer, quint32 wanted,
                               quint32* bytesRead) {
    if (bytesRead)
        *bytesRead = 0;
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    if (!buffer || !bytesRead)
        return FT_INVALID_PARAMETER;

    QElapsedTimer waited;
    waited.start();
    FT_STATUS status = FT_OK;
    while (static_cast<quint32>(d->fifo.size()) < wanted) {
        const int r = drain(*d);
        if (r < 0) {
            // Not FT_IO_ERROR: callers take that one for a short read and would go on
            // reading from a device that is gone.
            status = d->lost ? FT_DEVICE_NOT_FOUND : FT_OTHER_ERROR;
            break;
        }
        if (static_cast<quint32>(d->fifo.size()) >= wanted)
            break;
        if (d->readTimeoutMs > 0 && waited.elapsed() >= d->readTimeoutMs)
            break;
        if (r == 0)
            QThread::msleep(1);
    }
    const quint32 n = qMin<quint32>(wanted, static_cast<quint32>(d->fifo.size()));
    std::memcpy(buffer, d->fifo.constData(), n);
    d->fifo.remove(0, n);
    *bytesRead = n;
    return status;
}

FT_STATUS LibFtdiD2xx::FT_Write(FT_HANDLE handle, const quint8* buffer, quint32 count,
                                quint32* bytesWritten) {
    if (bytesWritten)
        *bytesWritten = 0;
    Device* d = nullptr;
    if (const FT_STATUS s = check(handle, d))
        return s;
    if ((!buffer && count > 0) || count > 0x7FFFFFFF)
        return FT_INVALID_PARAMETER;
    if (count == 0)
        return FT_OK;
    const int r = lib_.write_data(d->ftdi, buffer, static_cast<int>(count));
    if (r < 0) {
        // The library does not say why a bulk write failed; the next read tells an
        // unplugged device from a refused write.
        if (r == kFtdiDeviceUnavailable || !d->ftdi->usb_dev) {
            d->lost = true;
            return FT_DEVICE_NOT_FOUND;
        }
        return FT_IO_ERROR;
    }
    if (bytesWritten)
        *bytesWritten = static_cast<quint32>(r);
    return static_cast<quint32>(r) == count ? FT_OK : FT_IO_ERROR;
}

FT_STATUS LibFtdiD2xx::FT_Close(FT_HANDLE handle) {
    // A handle that was never opened is refused without loading the library: closing after
    // a failed open must not report the missing library a second time.
    auto it = open_.find(handle);
    if (it == open_.end())
        return FT_INVALID_HANDLE;
    release(it->second);
    open_.erase(it);
    return FT_OK;
}

}  // namespace

QString libFtdiFileName() {
    const QString fromEnv = qEnvironmentVariable("QUORLINK_LIBFTDI");
    return fromEnv.isEmpty() ? QStringLiteral("libftdi1.so.2") : fromEnv;
}

std::unique_ptr<D2xx> createLibFtdiD2xx() {
    return std::make_unique<LibFtdiD2xx>();
}
