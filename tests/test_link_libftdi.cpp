#include <QElapsedTimer>
#include <QPushButton>
#include <QtTest>

#include "core/errors.h"
#include "link/libftdi_d2xx.h"
#include "support/fakeftdi.h"
#include "support/testenv.h"
#include "ui/frmmessages.h"

#include <dlfcn.h>

// The D2XX adapter over a stand-in libftdi1 whose devices the test sets up: listing,
// opening by description, the receive FIFO and read time-out, a device unplugged while
// open; and the main window's read over the adapter, with the library blocking as the real
// one does, or missing.
namespace {

// A simulated radio on the virtual clock at the far end of a stand-in device.
struct RadioLine {
    VirtualClock& clock;
    SimRadio& radio;
    static RadioLine& of(void* c) { return *static_cast<RadioLine*>(c); }
    FarEnd farEnd() {
        return {this,
                [](void* c) -> long long { return of(c).clock.nowNs(); },
                [](void* c, long long ns) { of(c).clock.advanceTo(ns); },
                [](void* c, unsigned char* buffer, int size) {
                    const QByteArray due = of(c).radio.takeDue(of(c).clock.nowNs());
                    Q_ASSERT(due.size() <= size);  // the chip takes a whole clone at once
                    std::memcpy(buffer, due.constData(), due.size());
                    return static_cast<int>(due.size());
                },
                [](void* c) -> long long { return of(c).radio.nextDueNs(); },
                [](void* c, const unsigned char* bytes, int size) {
                    of(c).radio.fromPc(QByteArray(reinterpret_cast<const char*>(bytes), size),
                                       of(c).clock.nowNs());
                }};
    }
};

QByteArray descriptionBuffer(const QByteArray& text) {
    return text.leftJustified(FT_DESCRIPTION_SIZE, '\0', true);
}

const quint8* bytes(const QByteArray& a) {
    return reinterpret_cast<const quint8*>(a.constData());
}

}  // namespace

class LibFtdiTest : public QObject {
    Q_OBJECT

    FakeFtdiControls fake_{};
    QByteArray path_;
    std::unique_ptr<D2xx> d2xx_;

    FT_HANDLE openDevice(const QByteArray& description) {
        FT_HANDLE handle = 0;
        const auto status = d2xx_->FT_OpenEx(bytes(descriptionBuffer(description)),
                                             FT_OPEN_BY_DESCRIPTION, &handle);
        return status == FT_OK ? handle : 0;
    }

private slots:
    void initTestCase() {
        path_ = qgetenv("QUORLINK_FAKE_LIBFTDI");
        if (path_.isEmpty())
            QSKIP("QUORLINK_FAKE_LIBFTDI does not name the stand-in library (run through ctest)");
        void* lib = ::dlopen(path_.constData(), RTLD_NOW | RTLD_LOCAL);
        auto controls =
            lib ? reinterpret_cast<const FakeFtdiControls* (*)()>(::dlsym(lib, "fakeftdi_controls"))
                : nullptr;
        QVERIFY2(controls, ::dlerror());
        fake_ = *controls();
    }
    void init() {
        qputenv("QUORLINK_LIBFTDI", path_);
        fake_.reset();
        d2xx_ = createLibFtdiD2xx();
    }
    void cleanup() {
        d2xx_.reset();
        QCOMPARE(fake_.contexts(), 0);  // every library context was freed
    }

    // Every FTDI product is listed by description, in the order searched, zero-padded,
    // cut at 64 characters, or named by its ids when its strings cannot be read; a
    // description opens its device, and failures become statuses. A device left open is
    // closed and freed with the adapter (cleanup counts the contexts).
    void listsOpensAndFails() {
        fake_.add(0x6001, "FT232R USB UART", 0, 0);
        fake_.add(0x6010, "Dual RS232", -4, 0);  // no permission to read its strings
        fake_.add(0x6014, QByteArray(70, 'L').constData(), 0, 0);
        const int cable = fake_.add(0x6015, "Cable", 0, 0);
        fake_.add(0x6001, "Busy cable", 0, -5);  // the kernel driver would not let go
        fake_.add(0x9E50, "USB-VX8", 0, 0);      // the cable made for the VX-8
        quint32 count = 99, written = 99, read = 0;
        QCOMPARE(d2xx_->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY), FT_OK);
        QCOMPARE(count, 6u);
        const QList<QByteArray> expected = {
            "FT232R USB UART",   "Busy cable", "FTDI 0403:6010 (permission denied: join plugdev)",
            QByteArray(64, 'L'), "Cable",      "USB-VX8"};
        const quint32 byIndex = FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION;
        for (quint32 i = 0; i <= 6; ++i) {
            QByteArray buffer(FT_DESCRIPTION_SIZE, '\xAA');
            QCOMPARE(d2xx_->FT_ListDevices(i, reinterpret_cast<quint8*>(buffer.data()), byIndex),
                     i < 6 ? FT_OK : FT_DEVICE_NOT_FOUND);
            if (i < 6)
                QCOMPARE(buffer, descriptionBuffer(expected[i]));
        }
        QCOMPARE(d2xx_->FT_ListDevices(0, static_cast<quint8*>(nullptr), byIndex),
                 FT_INVALID_PARAMETER);
        QCOMPARE(openDevice(QByteArray()), 0u);  // an empty description opens nothing
        FT_HANDLE handle = 9;
        QCOMPARE(d2xx_->FT_OpenEx(bytes(descriptionBuffer("Busy cable")), FT_OPEN_BY_DESCRIPTION,
                                  &handle),
                 FT_DEVICE_NOT_OPENED);
        QCOMPARE(handle, 0u);
        const FT_HANDLE h = openDevice("Cable");
        QVERIFY(h != 0 && fake_.isOpen(cable) && !fake_.isOpen(0));
        fake_.fail("write_data", 1);  // one byte of two taken
        QCOMPARE(d2xx_->FT_Write(h, bytes("xy"), 2, &written), FT_IO_ERROR);
        QCOMPARE(written, 1u);
        fake_.fail("write_data", -1);
        QCOMPARE(d2xx_->FT_Write(h, bytes("x"), 1, &written), FT_IO_ERROR);
        QCOMPARE(written, 0u);
        // A refused write or read is not a lost device: the next read works.
        quint8 buffer[FT_BUFFER_SIZE];
        fake_.fail("read_data", -1);
        QVERIFY(d2xx_->FT_Read(h, buffer, 2, &read) != FT_OK);
        fake_.fail("read_data", 0);
        fake_.arrive(cable, "ok", 2);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 2, &read), FT_OK);
        QCOMPARE(read, 2u);
        // A setting the chip refuses is an I/O error; one refused for a cable gone, a lost device.
        fake_.fail("set_line_property", -1);
        QCOMPARE(d2xx_->FT_SetDataCharacteristics(h, 8, 0, 0), FT_IO_ERROR);
        fake_.fail("set_error_char", -1);  // the event character is set, the error one not
        QCOMPARE(d2xx_->FT_SetChars(h, 0, 0, 0, 0), FT_IO_ERROR);
        fake_.fail("set_line_property", -4);
        QCOMPARE(d2xx_->FT_SetDataCharacteristics(h, 8, 0, 0), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 2, &read), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
        QCOMPARE(d2xx_->FT_Close(h), FT_INVALID_HANDLE);
        QVERIFY(openDevice("USB-VX8") != 0 && fake_.contexts() == 1);
    }

    // A read waits for what it asks until its time-out, then gives what came; it takes
    // what waits in order and leaves the rest. A purge of the receive side empties it, the
    // send side alone leaves it. Unplugged, every call fails at once with
    // FT_DEVICE_NOT_FOUND (not the status 4 readers tolerate), what had arrived is not
    // lost, and closing still frees the device.
    void readPurgeAndUnplug() {
        const int dev = fake_.add(0x6001, "Cable", 0, 0);
        const FT_HANDLE h = openDevice("Cable");
        quint32 waiting = 99, read = 0, written = 0;
        quint8 buffer[FT_BUFFER_SIZE];
        auto got = [&] { return QByteArray(reinterpret_cast<char*>(buffer), int(read)); };
        QCOMPARE(d2xx_->FT_SetTimeouts(h, 40, 0), FT_OK);
        fake_.arrive(dev, "\x06\x07\x08", 3);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_OK);
        QVERIFY(timer.elapsed() >= 40 && got() == "\x06\x07\x08");
        fake_.arrive(dev, "abcdef", 6);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 4, &read), FT_OK);
        QCOMPARE(got(), QByteArray("abcd"));
        QCOMPARE(d2xx_->FT_Purge(h, 0), FT_INVALID_PARAMETER);
        QCOMPARE(d2xx_->FT_Purge(h, FT_PURGE_TX), FT_OK);
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 2u);
        QCOMPARE(d2xx_->FT_Purge(h, FT_PURGE_RX), FT_OK);
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        QCOMPARE(waiting, 0u);
        QCOMPARE(d2xx_->FT_SetBaudRate(h, 0), FT_INVALID_BAUD_RATE);
        QCOMPARE(d2xx_->FT_SetTimeouts(h, 5000, 0), FT_OK);
        fake_.arrive(dev, "AH0", 3);
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_OK);
        fake_.unplug(dev);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_DEVICE_NOT_FOUND);
        QCOMPARE(got(), QByteArray("AH0"));
        QCOMPARE(d2xx_->FT_GetQueueStatus(h, &waiting), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Read(h, buffer, 10, &read), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Write(h, bytes("x"), 1, &written), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Purge(h, 3), FT_DEVICE_NOT_FOUND);
        QCOMPARE(d2xx_->FT_Close(h), FT_OK);
    }

    // A whole read from a radio streaming through the adapter, while the library's read
    // blocks until its buffer is full: the window's events are still pumped at least
    // every 100 ms (of the radio's time), and the image arrives intact.
    void fullReadKeepsTheWindowResponsive() {
        TestEnv env;
        SimRadio radio;
        RadioLine line{env.clock, radio};
        const FarEnd farEnd = line.farEnd();
        fake_.attach(fake_.add(0x6001, "Cable", 0, 0), &farEnd);
        // The adapter in place of the in-memory devices, and an FTDI link to "Cable".
        Services s = env.ctx->services();
        s.d2xx = d2xx_.get();
        env.ctx = std::make_unique<AppContext>(s);
        env.ctx->quitApplication = [] {};
        env.config->set("Settings", "CommPort", "999");
        env.config->set("Settings", "FTDIDevice", "Cable");
        QObject::connect(&env.form().frmMessages(), &FrmMessages::lookingForRigShown,
                         [&] { radio.pressBand(env.clock.nowNs()); });
        env.clock.pumpEvents();
        env.clock.longestHeldNs = 0;
        QTest::mouseClick(env.form().cmdRead, Qt::LeftButton);
        const qint64 longestGap = env.clock.longestHeldNs;
        qInfo("longest time between two event pumps: %.1f ms", double(longestGap) / 1e6);
        QCOMPARE(env.ctx->clone.image.data(), radio.memory);
        QVERIFY(longestGap <= 100'000'000);
    }
};

QTEST_MAIN(LibFtdiTest)
#include "test_link_libftdi.moc"
