#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "core/errors.h"
#include "core/settings.h"
#include "link/libftdi_d2xx.h"
#include "link/qtserialcontrol.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>

namespace {

// A pseudo-terminal the test holds the master side of, standing in for a cable's far end.
struct RawPty {
    int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    QString path;
    RawPty() {
        if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0)
            path = QString::fromLocal8Bit(::ptsname(master));
    }
    ~RawPty() { ::close(master); }
    void send(const QByteArray& bytes) const {
        QCOMPARE_GE(::write(master, bytes.constData(), bytes.size()), bytes.size());
    }
};

// Runs `body` and returns the number of the RunError it raised (0 when none).
template <typename Body>
int errorNumberOf(Body body, QString* description = nullptr) {
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
    std::unique_ptr<SettingsStore> settings_;
    std::unique_ptr<QtPortFactory> factory_;

    std::unique_ptr<SerialControl> controlOn(int com, const QString& path) {
        factory_->map().setSessionMapping(com, path);
        auto control = factory_->create();
        control->setCommPort(static_cast<qint16>(com));
        control->setSettings(QStringLiteral("38400,N,8,1"));
        control->setDTREnable(true);
        control->setRTSEnable(true);
        return control;
    }

private slots:
    void init() {
        settings_ = std::make_unique<SettingsStore>(dir_.filePath(QStringLiteral("ports.ini")));
        factory_ = std::make_unique<QtPortFactory>(settings_.get());
    }
    void cleanup() {
        factory_.reset();
        settings_.reset();
        QFile::remove(dir_.filePath(QStringLiteral("ports.ini")));
    }

    // A "Ports" entry (any spelling of its key, empty for none) overrides the default; a
    // session mapping overrides both for this run only.
    void mappingOverrides() {
        const auto stored = [&](const QString& key, const QString& path) {
            settings_->set(QStringLiteral("Ports"), key, path);
        };
        stored(QStringLiteral("com12"), QStringLiteral("/dev/rfcomm0"));
        QCOMPARE(factory_->devicePathFor(12), QStringLiteral("/dev/rfcomm0"));
        QCOMPARE(factory_->devicePathFor(13), QStringLiteral("/dev/ttyUSB4"));
        stored(QStringLiteral("COM12"), QStringLiteral("/dev/a"));
        QCOMPARE(factory_->devicePathFor(12), QStringLiteral("/dev/a"));
        factory_->map().setSessionMapping(12, QStringLiteral("/dev/pts/99"));
        QCOMPARE(factory_->devicePathFor(12), QStringLiteral("/dev/pts/99"));
        QCOMPARE(settings_->get(QStringLiteral("Ports"), QStringLiteral("COM12"), QString()),
                 QStringLiteral("/dev/a"));
        factory_->map().setSessionMapping(12, QString());
        QCOMPARE(factory_->devicePathFor(12), QStringLiteral("/dev/a"));
        stored(QStringLiteral("COM12"), QString());
        QCOMPARE(factory_->devicePathFor(12), QStringLiteral("/dev/ttyUSB3"));
        QCOMPARE(factory_->devicePathFor(32), QStringLiteral("/dev/ttyACM7"));
        stored(QStringLiteral("COM32"), QStringLiteral("/dev/rfcomm1"));
        QCOMPARE(factory_->devicePathFor(32), QStringLiteral("/dev/rfcomm1"));
        QCOMPARE(factory_->devicePathFor(1), QStringLiteral("/dev/ttyS0"));
    }

    // A mapped path counts as present only when it is a terminal; anything else is no
    // serial port, and opening it says so and names it.
    void mappedPaths_data() {
        QTest::addColumn<QString>("path");  // PTY: a terminal that is there
        QTest::addColumn<bool>("present");
        QTest::addColumn<int>("error");
        QTest::newRow("terminal") << "PTY" << true << 0;
        QTest::newRow("missing") << "/nonexistent/ttyX" << false << 68;
        QTest::newRow("/dev/null") << "/dev/null" << false << 8015;
        QTest::newRow("/dev/zero") << "/dev/zero" << false << 8015;
        QTest::newRow("plain file") << "FILE" << false << 8015;
        QTest::newRow("folder") << "DIR" << false << 8015;
        QTest::newRow("FIFO") << "FIFO" << false << 8015;
    }
    void mappedPaths() {
        QFETCH(QString, path);
        QFETCH(bool, present);
        QFETCH(int, error);
        RawPty pty;
        if (path == QLatin1String("PTY"))
            path = pty.path;
        else if (path == QLatin1String("FILE"))
            path = dir_.filePath(QStringLiteral("ports.ini"));
        else if (path == QLatin1String("DIR"))
            path = dir_.path();
        else if (path == QLatin1String("FIFO"))
            path = dir_.filePath(QStringLiteral("fifo"));
        QFile(dir_.filePath(QStringLiteral("ports.ini"))).open(QIODevice::Append);
        ::mkfifo(QFile::encodeName(dir_.filePath(QStringLiteral("fifo"))).constData(), 0600);
        auto control = controlOn(3, path);
        QCOMPARE(factory_->map().isPresent(3), present);
        // PortPresent takes the 0-based index of the COM port.
        QCOMPARE(control->PortPresent(qint16(2)), qint16(present ? 1 : 0));
        QString description;
        QCOMPARE(errorNumberOf([&] { control->setPortOpen(true); }, &description), error);
        if (error == 8015)
            QCOMPARE(description,
                     QStringLiteral("Could not set comm state: %1 is not a serial port").arg(path));
        QVERIFY(!factory_->map().isPresent(0) && !factory_->map().isPresent(33));
    }

    void openFailures_data() {
        QTest::addColumn<int>("com");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<int>("error");
        QTest::addColumn<QString>("path");  // PTY: a terminal that is there
        QTest::newRow("missing device") << 12 << "38400,N,8,1" << 68 << "/nonexistent/ttyUSB3";
        QTest::newRow("COM0") << 0 << "38400,N,8,1" << 8002 << "";
        QTest::newRow("COM33") << 33 << "38400,N,8,1" << 8002 << "";
        QTest::newRow("bad parity") << 12 << "38400,X,8,1" << 380 << "PTY";
        QTest::newRow("nine data bits") << 12 << "38400,N,9,1" << 380 << "PTY";
        QTest::newRow("no speed") << 12 << ",N,8,1" << 380 << "PTY";
        QTest::newRow("too few fields") << 12 << "38400,N,8" << 380 << "PTY";
        QTest::newRow("three stop bits") << 12 << "38400,N,8,3" << 380 << "PTY";
    }
    void openFailures() {
        QFETCH(int, com);
        QFETCH(QString, path);
        QFETCH(QString, settings);
        QFETCH(int, error);
        RawPty pty;
        if (path == QLatin1String("PTY"))
            path = pty.path;
        auto control = controlOn(com, path);
        control->setSettings(settings);
        QCOMPARE(errorNumberOf([&] { control->setPortOpen(true); }), error);
        QVERIFY(!control->PortOpen());
        QCOMPARE(errorNumberOf([&] { control->Output("x"); }), 8012);
    }

    // Busy: held exclusively by another program, open in another control, or opened again.
    void busyPort() {
        RawPty pty;
        const int holder = ::open(QFile::encodeName(pty.path).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(holder >= 0);
        QCOMPARE(::ioctl(holder, TIOCEXCL), 0);
        auto first = controlOn(12, pty.path);
        auto second = controlOn(12, pty.path);
        QString description;
        QCOMPARE(errorNumberOf([&] { first->setPortOpen(true); }, &description), 8005);
        QVERIFY2(description.contains(pty.path), qPrintable(description));
        QVERIFY(!first->PortOpen());
        ::ioctl(holder, TIOCNXCL);
        ::close(holder);

        QCOMPARE(errorNumberOf([&] { first->setPortOpen(true); }), 0);
        QVERIFY(first->PortOpen());
        QCOMPARE(errorNumberOf([&] { second->setPortOpen(true); }), 8005);
        QCOMPARE(errorNumberOf([&] { first->setPortOpen(true); }), 8005);
        first->setPortOpen(false);
        QVERIFY(!first->PortOpen());
        QCOMPARE(errorNumberOf([&] { second->setPortOpen(true); }), 0);
        first->setPortOpen(false);  // closing a closed port does nothing
    }

    void permissionDeniedNamesTheDeviceAndTheCure() {
        if (::geteuid() == 0)
            QSKIP("running as root, which bypasses file permissions: cannot provoke error 70");
        const QString path = dir_.filePath(QStringLiteral("locked-tty"));
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0) == 0);
        auto control = controlOn(12, path);
        QString description;
        QCOMPARE(errorNumberOf([&] { control->setPortOpen(true); }, &description), 70);
        QVERIFY2(description.contains(path), qPrintable(description));
        QVERIFY2(description.contains(QLatin1String("mode ----------")), qPrintable(description));
        QVERIFY2(description.contains(
                     QLatin1String("add yourself to the dialout group and log in again")),
                 qPrintable(description));
    }

    // The receive event and the input buffer over a real terminal.
    void bytesAndReceiveEvent() {
        RawPty pty;
        auto control = controlOn(12, pty.path);
        control->setRThreshold(10);
        control->setSettings(QStringLiteral("38400,E,7,2"));
        control->setPortOpen(true);
        QVERIFY(control->PortOpen());
        termios line{};  // the terminal's settings, as the far end sees them
        QCOMPARE(::tcgetattr(pty.master, &line), 0);
        QCOMPARE(::cfgetospeed(&line), speed_t(B38400));
        QCOMPARE(line.c_cflag & (CSIZE | PARENB | PARODD | CSTOPB),
                 tcflag_t(CS7 | PARENB | CSTOPB));
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
        QCOMPARE(control->Input(), QByteArray());

        pty.send("noise");
        QTRY_COMPARE_WITH_TIMEOUT(control->InBufferCount(), 5, 5000);
        control->clearInBuffer();
        QCOMPARE(control->InBufferCount(), 0);
    }

    // Without libftdi a D2XX call says the library is missing, which the FTDI detector
    // tells apart from every other failure; closing a handle never opened does not ask.
    void missingFtdiLibraryRaises53() {
        const QByteArray saved = qgetenv("QUORLINK_LIBFTDI");
        const auto restore = qScopeGuard([&] {
            saved.isEmpty() ? qunsetenv("QUORLINK_LIBFTDI") : qputenv("QUORLINK_LIBFTDI", saved);
        });
        qputenv("QUORLINK_LIBFTDI", "/nonexistent/libftdi1.so.2");
        auto d2xx = createLibFtdiD2xx();
        quint32 count = 0;
        QString description;
        QCOMPARE(errorNumberOf([&] { d2xx->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY); },
                               &description),
                 53);
        QCOMPARE(description, QStringLiteral("File not found: /nonexistent/libftdi1.so.2"));
        QCOMPARE(d2xx->FT_Close(1), FT_INVALID_HANDLE);
    }
};

QTEST_MAIN(PortMapTest)
#include "test_link_portmap.moc"
