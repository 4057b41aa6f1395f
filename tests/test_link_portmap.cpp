#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/clock.h"
#include "core/config.h"
#include "core/context.h"
#include "core/errors.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

// COM numbers mapped to devices, and the QSerialPort back-end on a real pseudo-terminal,
// whose master side the test holds as a cable's far end.
namespace {

struct RawPty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString path;
    RawPty() {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = QString::fromLocal8Bit(::ptsname(master));
    }
    ~RawPty() { ::close(master); }
    void send(const QByteArray& bytes) const {
        QCOMPARE(::write(master, bytes.constData(), bytes.size()), bytes.size());
    }
};

// The number of the RunError `body` raised (0 when none), its description in *description.
template <typename Body>
int errorOf(Body body, QString* description = nullptr) {
    try {
        body();
    } catch (const RunError& e) {
        if (description)
            *description = e.description();
        return e.number();
    }
    return 0;
}

}  // namespace

class PortMapTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::unique_ptr<ConfigStore> settings_;
    std::unique_ptr<QtPortFactory> factory_;

    std::unique_ptr<SerialControl> controlOn(int com, const QString& path,
                                             const char* line = "38400,N,8,1") {
        factory_->map().setSessionMapping(com, path);
        auto control = factory_->create();
        control->setCommPort(static_cast<qint16>(com));
        control->setSettings(QString::fromLatin1(line));
        return control;
    }

private slots:
    void init() {
        QFile::remove(dir_.filePath("ports.ini"));
        settings_ = std::make_unique<ConfigStore>(dir_.filePath("ports.ini"));
        factory_ = std::make_unique<QtPortFactory>(settings_.get());
    }

    // The fixed defaults; a "Ports" entry (any spelling of its key, empty for none)
    // overrides them, and a session mapping overrides both for this run only.
    void mappingOverrides() {
        QCOMPARE(factory_->devicePathFor(1), "/dev/ttyS0");
        QCOMPARE(factory_->devicePathFor(9), "/dev/ttyUSB0");
        QCOMPARE(factory_->devicePathFor(13), "/dev/ttyUSB4");
        QCOMPARE(factory_->devicePathFor(32), "/dev/ttyACM7");
        settings_->set("Ports", "com12", "/dev/rfcomm0");
        settings_->set("Ports", "COM32", "/dev/rfcomm1");
        QCOMPARE(factory_->devicePathFor(12), "/dev/rfcomm0");
        QCOMPARE(factory_->devicePathFor(32), "/dev/rfcomm1");
        factory_->map().setSessionMapping(12, "/dev/pts/99");
        QCOMPARE(factory_->devicePathFor(12), "/dev/pts/99");
        QCOMPARE(settings_->get("Ports", "COM12", QString()), "/dev/rfcomm0");
        factory_->map().setSessionMapping(12, QString());
        settings_->set("Ports", "COM12", QString());
        QCOMPARE(factory_->devicePathFor(12), "/dev/ttyUSB3");
        // A USB adapter is known by the kernel's name of the device, through links too.
        for (const char* name : {"ttyUSB4", "ttyACM0", "ttyS1"})
            QFile(dir_.filePath(name)).open(QIODevice::WriteOnly);
        QFile::link(dir_.filePath("ttyACM0"), dir_.filePath("by-id-usb"));
        QString usb;
        for (const char* name : {"ttyUSB4", "ttyACM0", "ttyS1", "by-id-usb"}) {
            factory_->map().setSessionMapping(12, dir_.filePath(name));
            usb += factory_->isUsbSerial(12) ? '1' : '0';
        }
        QCOMPARE(usb, "1101");
    }

    // Only a terminal is a present port; opening anything else says why and names it.
    void opens_data() {
        QTest::addColumn<int>("com");
        QTest::addColumn<QString>("path");  // PTY: a terminal that is there
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<QString>("reason");  // a part of the error's description
        const QString line = "38400,N,8,1";
        QTest::newRow("terminal") << 3 << "PTY" << 0 << line << "";
        QTest::newRow("missing") << 3 << "/nonexistent/ttyX" << 68 << line << "";
        QTest::newRow("/dev/null")
            << 3 << "/dev/null" << 8015 << line << "PATH is not a serial port";
        QTest::newRow("plain file") << 3 << "FILE" << 8015 << line << "PATH is not a serial port";
        QTest::newRow("FIFO") << 3 << "FIFO" << 8015 << line << "PATH is not a serial port";
        QTest::newRow("no permission") << 12 << "LOCKED" << 70 << line << "dialout group";
        QTest::newRow("COM0") << 0 << "PTY" << 8002 << line << "";
        QTest::newRow("COM32") << 32 << "PTY" << 0 << line << "";
        QTest::newRow("COM33") << 33 << "PTY" << 8002 << line << "";
        QTest::newRow("bad parity") << 12 << "PTY" << 380 << "38400,X,8,1" << QString();
        QTest::newRow("no speed") << 12 << "PTY" << 380 << ",N,8,1" << QString();
        QTest::newRow("too few fields") << 12 << "PTY" << 380 << "38400,N,8" << QString();
        QTest::newRow("three stop bits") << 12 << "PTY" << 380 << "38400,N,8,3" << QString();
    }
    void opens() {
        QFETCH(int, com);
        QFETCH(QString, path);
        QFETCH(QString, settings);
        QFETCH(int, error);
        QFETCH(QString, reason);
        if (error == 70 && ::geteuid() == 0)
            QSKIP("running as root, which bypasses file permissions: cannot provoke error 70");
        RawPty pty;
        QFile(dir_.filePath("FILE")).open(QIODevice::WriteOnly);
        QFile(dir_.filePath("LOCKED")).open(QIODevice::WriteOnly);
        ::chmod(QFile::encodeName(dir_.filePath("LOCKED")).constData(), 0);
        ::mkfifo(QFile::encodeName(dir_.filePath("FIFO")).constData(), 0600);
        if (!path.startsWith('/'))
            path = path == "PTY" ? pty.path : dir_.filePath(path);
        auto control = controlOn(com, path, qPrintable(settings));
        if (com == 3) {
            QCOMPARE(factory_->map().isPresent(3), error == 0);
            QCOMPARE(control->PortPresent(qint16(2)), qint16(error == 0));  // a 0-based index
        }
        QString description;
        errno = EACCES;  // left over from an earlier failed call: no answer about this device
        QCOMPARE(errorOf([&] { control->setPortOpen(true); }, &description), error);
        QCOMPARE(control->PortOpen(), error == 0);
        QVERIFY2(description.contains(reason.replace("PATH", path)), qPrintable(description));
        if (error != 0)
            QCOMPARE(errorOf([&] { control->Output("x"); }), 8012);
    }

    // Busy: held exclusively by another program, open in another control, or opened again.
    void busyPort() {
        RawPty pty;
        const int holder = ::open(QFile::encodeName(pty.path).constData(), O_RDWR | O_NOCTTY);
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);
        auto first = controlOn(12, pty.path);
        auto second = controlOn(12, pty.path);
        QString description;
        QCOMPARE(errorOf([&] { first->setPortOpen(true); }, &description), 8005);
        QVERIFY2(description.contains(pty.path), qPrintable(description));
        ::ioctl(holder, TIOCNXCL);
        ::close(holder);
        QCOMPARE(errorOf([&] { first->setPortOpen(true); }), 0);
        QCOMPARE(errorOf([&] { second->setPortOpen(true); }), 8005);
        QCOMPARE(errorOf([&] { first->setPortOpen(true); }), 8005);
        first->setPortOpen(false);
        QCOMPARE(errorOf([&] { second->setPortOpen(true); }), 0);
        first->setPortOpen(false);  // closing a closed port does nothing
    }

    // The line settings as the far end sees them, the receive event at its threshold, and
    // the input buffer.
    void lineBytesAndReceiveEvent() {
        RawPty pty;
        auto control = controlOn(12, pty.path, "19200,N,8,2");
        control->setRThreshold(10);
        control->setPortOpen(true);
        termios line{};
        QCOMPARE(::tcgetattr(pty.master, &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B19200));  // a terminal keeps 8 bits, no parity
        QCOMPARE(line.c_cflag & CSTOPB, tcflag_t(CSTOPB));
        QCOMPARE(line.c_cflag & CRTSCTS, tcflag_t(0));  // handshaking 0: no RTS/CTS
        QSignalSpy events(control.get(), &SerialControl::OnComm);
        pty.send("AH029");
        QTRY_COMPARE_WITH_TIMEOUT(control->InBufferCount(), 5, 5000);
        QCOMPARE(events.count(), 0);  // below the threshold
        pty.send(QByteArray::fromHex("0001000000"));
        QTRY_VERIFY_WITH_TIMEOUT(events.count() >= 1, 5000);
        QCOMPARE(control->CommEvent(), 2);
        control->setInputLen(3);
        QCOMPARE(control->Input(), QByteArray("AH0"));
        control->setInputLen(0);
        QCOMPARE(control->Input(), QByteArray("29") + QByteArray::fromHex("0001000000"));
        pty.send("noise");
        QTRY_COMPARE_WITH_TIMEOUT(control->InBufferCount(), 5, 5000);
        control->clearInBuffer();
        QCOMPARE(control->InBufferCount(), 0);
    }

    // A wait takes in what reaches the port while it sleeps: bytes that arrive after its
    // first pass of events are counted when it ends, not one wait later.
    void bytesArrivingDuringAWaitAreCountedAtItsEnd() {
        RawPty pty;
        auto control = controlOn(12, pty.path, "38400,N,8,1");
        control->setPortOpen(true);
        SystemClock clock;
        Services services;
        services.clock = &clock;
        CoreContext ctx(services);
        QTimer::singleShot(0, [&] { pty.send("AH029"); });  // in the wait's first pass
        ctx.Pause(50);
        QCOMPARE(control->InBufferCount(), 5);
    }

    // Without libftdi a D2XX call says the library is missing (error 53), which the FTDI
    // detector tells apart from every other failure; closing a handle never opened does not ask.
    void missingFtdiLibraryRaises53() {
        qputenv("QUORLINK_LIBFTDI", "/nonexistent/libftdi1.so.2");
        auto d2xx = createLibFtdiD2xx();
        quint32 count = 0;
        QString description;
        QCOMPARE(errorOf([&] { d2xx->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY); },
                         &description),
                 53);
        QCOMPARE(description, "File not found: /nonexistent/libftdi1.so.2");
        QCOMPARE(d2xx->FT_Close(1), FT_INVALID_HANDLE);
    }
};

QTEST_MAIN(PortMapTest)
#include "test_link_portmap.moc"
