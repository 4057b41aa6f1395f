// A stand-in for libftdi1 with the same entry points, loaded by the FTDI adapter's tests in
// place of the real library. Devices, arriving bytes and unplugging are set up through the
// controls fakeftdi_controls() returns.
//
// A device can have a far end (a simulated radio on the test's clock). Its read then blocks
// as the real library's does: until the buffer is full, for as long as bytes keep coming
// (a gap longer than the chip's latency timer ends it with what has arrived).
#include <libftdi1/ftdi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "../support/fakeftdi.h"

namespace {

struct Device {
    int product = 0;
    std::string description;
    int stringsError = 0;  // what reading its description returns, 0: it works
    int openError = 0;     // what opening it returns, 0: it works
    bool present = true;
    bool open = false;
    std::deque<unsigned char> rx;  // bytes the chip holds for the PC
    FarEnd far{};                  // far.take null: nothing at the far end

    // Moves what the far end has sent by now into the chip.
    void takeArrived() {
        static unsigned char arrived[1 << 17];
        const int n = far.take ? far.take(far.context, arrived, sizeof arrived) : 0;
        rx.insert(rx.end(), arrived, arrived + n);
    }
};
constexpr long long kLatencyNs = 2'000'000;

std::vector<Device> devices;
std::map<std::string, int> failures;
int contexts = 0;

Device* deviceOf(ftdi_context* ftdi) {
    if (!ftdi || !ftdi->usb_dev)
        return nullptr;
    const auto index = reinterpret_cast<std::intptr_t>(ftdi->usb_dev) - 1;
    return index >= 0 && index < static_cast<std::intptr_t>(devices.size()) ? &devices[index]
                                                                            : nullptr;
}

// The result a configuration call gives: a failure asked for, else 0; `unplugged` when the
// device has gone.
int configure(ftdi_context* ftdi, const char* function, int unplugged = -1) {
    Device* d = deviceOf(ftdi);
    if (!d || !d->present)
        return d ? unplugged : -3;
    auto it = failures.find(function);
    return it == failures.end() ? 0 : it->second;
}

const FakeFtdiControls controls = {
    [] {
        devices.clear();
        failures.clear();
    },
    [](int product, const char* description, int stringsError, int openError) {
        devices.push_back({product, description, stringsError, openError, true, false, {}, {}});
        return static_cast<int>(devices.size()) - 1;
    },
    [](int device, const FarEnd* farEnd) { devices.at(device).far = *farEnd; },
    [](int device, const char* bytes, int size) {
        devices.at(device).rx.insert(devices.at(device).rx.end(), bytes, bytes + size);
    },
    [](int device) { devices.at(device).present = false; },
    [](const char* function, int result) { failures[function] = result; },
    [] { return contexts; },
    [](int device) { return devices.at(device).open ? 1 : 0; },
};

}  // namespace

extern "C" {

const FakeFtdiControls* fakeftdi_controls() {
    return &controls;
}

// ---- the library ---------------------------------------------------------------------

ftdi_context* ftdi_new(void) {
    ++contexts;
    return static_cast<ftdi_context*>(std::calloc(1, sizeof(ftdi_context)));
}

void ftdi_free(ftdi_context* ftdi) {
    contexts -= ftdi ? 1 : 0;
    std::free(ftdi);
}

int ftdi_usb_find_all(ftdi_context*, ftdi_device_list** devlist, int vendor, int product) {
    *devlist = nullptr;
    ftdi_device_list** tail = devlist;
    int found = 0;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (!devices[i].present || vendor != 0x0403 || devices[i].product != product)
            continue;
        auto* node = static_cast<ftdi_device_list*>(std::calloc(1, sizeof(ftdi_device_list)));
        node->dev = reinterpret_cast<libusb_device*>(static_cast<std::intptr_t>(i + 1));
        *tail = node;
        tail = &node->next;
        ++found;
    }
    return found;
}

void ftdi_list_free(ftdi_device_list** devlist) {
    while (ftdi_device_list* node = *devlist) {
        *devlist = node->next;
        std::free(node);
    }
}

int ftdi_usb_get_strings(ftdi_context*, libusb_device* dev, char*, int, char* description,
                         int desc_len, char*, int) {
    Device& d = devices.at(reinterpret_cast<std::intptr_t>(dev) - 1);
    if (d.stringsError)
        return d.stringsError;
    std::snprintf(description, desc_len, "%s", d.description.c_str());
    return 0;
}

int ftdi_usb_open_desc(ftdi_context* ftdi, int vendor, int product, const char* description,
                       const char*) {
    for (std::size_t i = 0; i < devices.size(); ++i) {
        Device& d = devices[i];
        if (!d.present || vendor != 0x0403 || d.product != product || !description ||
            d.description != description)
            continue;
        if (d.openError)
            return d.openError;
        d.open = true;
        ftdi->usb_dev = reinterpret_cast<libusb_device_handle*>(static_cast<std::intptr_t>(i + 1));
        return 0;
    }
    return -3;
}

int ftdi_usb_close(ftdi_context* ftdi) {
    Device* d = deviceOf(ftdi);
    if (!d)
        return -3;
    d->open = false;
    ftdi->usb_dev = nullptr;
    return d->present ? 0 : -1;
}

int ftdi_set_baudrate(ftdi_context* ftdi, int) {
    return configure(ftdi, "set_baudrate", -2);
}

int ftdi_set_line_property(ftdi_context* ftdi, ftdi_bits_type, ftdi_stopbits_type,
                           ftdi_parity_type) {
    return configure(ftdi, "set_line_property");
}

int ftdi_setflowctrl(ftdi_context* ftdi, int) {
    return configure(ftdi, "setflowctrl");
}

int ftdi_set_event_char(ftdi_context* ftdi, unsigned char, unsigned char) {
    return configure(ftdi, "set_event_char");
}

int ftdi_set_error_char(ftdi_context* ftdi, unsigned char, unsigned char) {
    return configure(ftdi, "set_error_char");
}

int ftdi_tcioflush(ftdi_context* ftdi) {
    if (Device* d = deviceOf(ftdi)) {
        d->takeArrived();
        d->rx.clear();
    }
    return configure(ftdi, "tcioflush");
}

int ftdi_tciflush(ftdi_context* ftdi) {
    if (Device* d = deviceOf(ftdi))
        d->rx.clear();
    return configure(ftdi, "tciflush");
}

int ftdi_tcoflush(ftdi_context* ftdi) {
    return configure(ftdi, "tcoflush");
}

int ftdi_read_data(ftdi_context* ftdi, unsigned char* buf, int size) {
    Device* d = deviceOf(ftdi);
    if (const int fail = configure(ftdi, "read_data", -4))  // -4: LIBUSB_ERROR_NO_DEVICE
        return d ? fail : -666;
    for (const FarEnd& f = d->far; f.take;) {
        d->takeArrived();
        const long long next = f.nextDue(f.context);
        if (static_cast<int>(d->rx.size()) >= size || next < 0 ||
            next - f.now(f.context) > kLatencyNs)
            break;
        f.advanceTo(f.context, next);
    }
    const int n = std::min(size, static_cast<int>(d->rx.size()));
    std::copy_n(d->rx.begin(), n, buf);
    d->rx.erase(d->rx.begin(), d->rx.begin() + n);
    return n;
}

int ftdi_write_data(ftdi_context* ftdi, const unsigned char* buf, int size) {
    Device* d = deviceOf(ftdi);
    if (const int fail = configure(ftdi, "write_data", -1))
        return d ? fail : -666;
    if (d->far.fromPc)
        d->far.fromPc(d->far.context, buf, size);
    return size;
}

}  // extern "C"
