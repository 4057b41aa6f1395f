#include <QElapsedTimer>
#include <QtTest>

#include "app/errors.h"
#include "link/libftdi_d2xx.h"

#include <dlfcn.h>

// The D2XX adapter over a stand-in libftdi1 whose devices the test sets up: listing,
// opening by description, the configuration calls each D2XX function turns into, the
// receive FIFO and read time-out, and a device unplugged while open.
namespace {

struct FakeLibrary {
    void (*reset)() = nullptr;
    int (*add)(int product, const char* description, int stringsError, int openError) = nullptr;
    void (*arrive)(int device, const char* bytes, int size, int afterReads) = nullptr;
    void (*unplug)(int device) = nullptr;
    void (*fail)(const char* function, int result) = nullptr;
    const char* (*calls)() = nullptr;
    int (*contexts)() = nullptr;
    int (*isOpen)(int device) = nullptr;

    bool load(const QByteArray& path) {
        void* lib = ::dlopen(path.constData(), RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return false;
        auto get = [lib](auto& target, const char* name) {
            target =
                reinterpret_cast<std::remove_reference_t<decltype(target)>>(::dlsym(lib, name));
            return target != nullptr;
        };
        return get(reset, "fakeftdi_reset") && get(add, "fakeftdi_add") &&
               get(arrive, "fakeftdi_arrive") && get(unplug, "fakeftdi_unplug") &&
               get(fail, "fakeftdi_fail") && get(calls, "fakeftdi_calls") &&
               get(contexts, "fakeftdi_contexts") && get(isOpen, "fakeftdi_is_open");
    }
    QStringList callLines() const {
        return QString::fromLatin1(calls()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
};

QByteArray descriptionBuffer(const QByteArray& text) {
    QByteArray buffer(FT_DESCRIPTION_SIZE, '\0');
    buffer.replace(0, text.size(), text);
    buffer.truncate(FT_DESCRIPTION_SIZE);
    return buffer;
}

const quint8* bytes(const QByteArray& a) {
    return reinterpret_cast<const quint8*>(a.constData());
}

}  // namespace

class LibFtdiTest : public QObject {
    Q_OBJECT

    FakeLibrary fake_;
    std::unique_ptr<D2xx> d2xx_;

    FT_HANDLE openDevice(const QByteArray& description) {
        FT_HANDLE handle = 0;
        const QByteArray buffer = descriptionBuffer(description);
        if (d2xx_->FT_OpenEx(bytes(buffer), FT_OPEN_BY_DESCRIPTION, &handle) != FT_OK)
            return 0;
        return handle;
    }

private slots:
    void initTestCase() {
        const QByteArray path = qgetenv("QUORLINK_FAKE_LIBFTDI");
        if (path.isEmpty())
            QSKIP("QUORLINK_FAKE_LIBFTDI does not name the stand-in library (run through ctest)");
        QVERIFY2(fake_.load(path), ::dlerror());
        qputenv("QUORLINK_LIBFTDI", path);
    }
    void init() {
        fake_.reset();
        d2xx_ = createLibFtdiD2xx();
    }
    void cleanup() {
        d2xx_.reset();
        QCOMPARE(fake_.contexts(), 0);  // every library context was freed
    }

    void listsEveryFtdiProductByDescription() {
        fake_.add(0x6001, "FT232R USB UART", 0, 0);
        fake_.add(0x6015, "TTL232RG-VREG3V3", 0, 0);
        fake_.add(0x6010, "Dual RS232", -4, 0);  // no permission to read its strings
        fake_.add(0x6014, QByteArray(70, 'L').constData(), 0, 0);

        quint32 count = 99;
        QCOMPARE(d2xx_->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        QCOMPARE(count, 4u);
        QCOMPARE(fake_.callLines(), QStringList({"usb_find_all 0403:6001", "usb_find_all 0403:6010",
                                                 "usb_find_all 0403:6011", "usb_find_all 0403:6014",
                                                 "usb_find_all 0403:6015"}));

        // Listed in the order searched; each description zero-terminated and zero-padded.
        const QList<QByteArray> expected = {"FT232R USB UART",
                                            "FTDI 0403:6010 (permission denied: join plugdev)",
                                            QByteArray(64, 'L'), "TTL232RG-VREG3V3"};
        for (quint32 i = 0; i < 4; ++i) {
            QByteArray buffer(FT_DESCRIPTION_SIZE, '\xAA');
            QCOMPARE(d2xx_->FT_ListDevices(i, reinterpret_cast<quint8*>(buffer.data()),
                                           FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
                     FT_OK);
            QCOMPARE(buffer, descriptionBuffer(expected[i]));
        }
        QByteArray buffer(FT_DESCRIPTION_SIZE, '\0');
        QCOMPARE(d2xx_->FT_ListDevices(4, reinterpret_cast<quint8*>(buffer.data()),
                                       FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION),
                 FT_DEVICE_NOT_FOUND);
    }

    void opensTheDeviceNamedAndConfiguresIt() {
        const int first = fake_.add(0x6001, "Cable A", 0, 0);
        const int second = fake_.add(0x6015, "Cable B", 0, 0);
        const FT_HANDLE h = openDevice("Cable B");
        QVERIFY(h != 0);
        QVERIFY(!fake_.isOpen(first));
        QVERIFY(fake_.isOpen(second));

        // The calls the link's opening sequence turns into, argument for argument.
        const FT_HANDLE b = openDevice("Cable A");
        QVERIFY(b != 0 && b != h);
        QVERIFY(fake_.isOpen(first));
        const int before = static_cast<int>(fake_.callLines().size());
        QCOMPARE(d2xx_->FT_SetBaudRate(b, 38400), FT_OK);
        QCOMPARE(d2xx_->FT_SetDataCharacteristics(b, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE),
                 FT_OK);
        QCOMPARE(d2xx_->FT_SetFlowControl(b, FT_FLOW_NONE, 0, 0), FT_OK);
        QCOMPARE(d2xx_->FT_SetTimeouts(b, 1000, 0), FT_OK);
        QCOMPARE(d2xx_->FT_SetChars(b, 0x7E, 1, 0, 0), FT_OK);
        QCOMPARE(d2xx_->FT_Purge(b, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
        QCOMPARE(d2xx_->FT_Close(b), FT_OK);
        QCOMPARE(
            fake_.callLines().mid(before),
            QStringList({"set_baudrate 38400", "set_line_property 8 0 0", "setflowctrl 0",
                         "set_event_char 0x7e 1", "set_error_char 0 0", "tcioflush", "usb_close"}));
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
        QCOMPARE(d2xx_->FT_Close(h), FT_INVALID_HANDLE);
        QCOMPARE(d2xx_->FT_SetBaudRate(h, 38400), FT_INVALID_HANDLE);
        QCOMPARE(d2xx_->FT_SetBaudRate(0, 38400), FT_INVALID_HANDLE);
    }

    void failuresBecomeStatuses() {
        quint32 count = 99;
        QCOMPARE(d2xx_->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        QCOMPARE(count, 0u);
        QCOMPARE(openDevice(QByteArray()), 0u);  // an empty description opens nothing

        fake_.add(0x6001, "Busy cable", 0, -5);  // the kernel driver would not let go
        FT_HANDLE handle = 9;
        const QByteArray busy = descriptionBuffer("Busy cable");
        QCOMPARE(d2xx_->FT_OpenEx(bytes(busy), FT_OPEN_BY_DESCRIPTION, &handle),
                 FT_DEVICE_NOT_OPENED);
        QCOMPARE(handle, 0u);

        const int dev = fake_.add(0x6001, "Cable", 0, 0);
        const FT_HANDLE h = openDevice("Cable");
        fake_.fail("set_baudrate", -2);
        QCOMPARE(d2xx_->FT_SetBaudRate(h, 38400), FT_IO_ERROR);
        fake_.fail("set_baudrate", -1);
        QCOMPARE(d2xx_->FT_SetBaudRate(h, 38400), FT_INVALID_BAUD_RATE);
        fake_.fail("write_data", -1);
        quint32 written = 99;
        QCOMPARE(d2xx_->FT_Write(h, bytes("x"), 1, &written), FT_IO_ERROR);
        QCOMPARE(written, 0u);
        // A refused write is not a lost device: the next read works.
        fake_.arrive(dev, "ok", 2, 0);
        quint8 buffer[FT_BUFFER_SIZE];
        quint32 read = 0;
        QCOMPARE(d2xx_->FT_Read(h, buffer, 2, &read), FT_OK);
        QCOMPARE(read, 2u);
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
    }

    // Bytes count as waiting once they have arrived; a read takes them in order and waits
    // for the rest until its time-out.
    void receiveFifoAndReadTimeout() {
        const int dev = fake_.add(0x6001, "Cable", 0, 0);
        const FT_HANDLE h = openDevice("Cable");
        QCOMPARE(d2xx_->FT_SetTimeouts(h, 1000, 0), FT_OK);
        quint32 waiting = 99;
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 0u);

        fake_.arrive(dev, "AH029", 5, 0);
        fake_.arrive(dev, "\x00\x01\x00\x00\x00", 5, 3);  // the rest, three polls later
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 5u);
        quint8 buffer[FT_BUFFER_SIZE];
        quint32 read = 0;
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_OK);
        QCOMPARE(read, 10u);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 10),
                 QByteArray("AH029\x00\x01\x00\x00\x00", 10));

        // Fewer bytes than wanted: the read gives what came once the time-out has passed.
        QCOMPARE(d2xx_->FT_SetTimeouts(h, 40, 0), FT_OK);
        fake_.arrive(dev, "\x06\x07\x08", 3, 0);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_OK);
        QVERIFY(timer.elapsed() >= 40);
        QCOMPARE(read, 3u);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), 3), QByteArray("\x06\x07\x08"));

        // A read asks for what is waiting and leaves the rest.
        fake_.arrive(dev, "abcdef", 6, 0);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 4, &read), FT_OK);
        QCOMPARE(QByteArray(reinterpret_cast<char*>(buffer), static_cast<int>(read)),
                 QByteArray("abcd"));
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 2u);

        // Purging the receive side empties what had already arrived, too.
        QCOMPARE(d2xx_->FT_Purge(h, FT_PURGE_RX | FT_PURGE_TX), FT_OK);
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 0u);

        quint32 written = 0;
        QCOMPARE(d2xx_->FT_Write(h, bytes("\x06"), 1, &written), FT_OK);
        QCOMPARE(written, 1u);
        QCOMPARE(fake_.callLines().last(), QStringLiteral("write_data 6"));
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
    }

    // Unplugged while open: every call fails at once with FT_DEVICE_NOT_FOUND (a read too,
    // and not with the status 4 that readers tolerate), and closing still frees it.
    void unpluggedDeviceFailsAtOnce() {
        const int dev = fake_.add(0x6001, "Cable", 0, 0);
        const FT_HANDLE h = openDevice("Cable");
        QCOMPARE(d2xx_->FT_SetTimeouts(h, 5000, 0), FT_OK);
        fake_.arrive(dev, "AH0", 3, 0);
        quint32 waiting = 0;
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        fake_.unplug(dev);

        quint8 buffer[FT_BUFFER_SIZE];
        quint32 read = 0;
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_DEVICE_NOT_FOUND);
        QCOMPARE(read, 3u);  // what had arrived before is not lost
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_DEVICE_NOT_FOUND);
        QCOMPARE(read, 0u);
        quint32 written = 0;
        QCOMPARE(d2xx_->FT_Write(h, bytes("x"), 1, &written), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Purge(h, 3), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
        QCOMPARE(fake_.contexts(), 0);
    }
};

QTEST_MAIN(LibFtdiTest)
#include "test_link_libftdi.moc"
