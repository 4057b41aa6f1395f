#include "link/qtserialcontrol.h"

#include <QFileInfo>
#include <QMetaObject>
#include <QSerialPortInfo>
#include <QStringList>

#include "core/config.h"
#include "core/errors.h"

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace {

constexpr int kInvalidPropertyValue = 380;

[[noreturn]] void invalidSettings() {
    throw RunError(kInvalidPropertyValue, QStringLiteral("Invalid property value"));
}

#ifdef Q_OS_UNIX
// "crw-rw----" for a character device readable and writable by owner and group.
QString modeText(mode_t mode) {
    QString text;
    text += S_ISCHR(mode) ? 'c' : S_ISDIR(mode) ? 'd' : S_ISBLK(mode) ? 'b' : '-';
    const char* letters = "rwxrwxrwx";
    for (int bit = 0; bit < 9; ++bit)
        text += (mode & (0400 >> bit)) ? QLatin1Char(letters[bit]) : QLatin1Char('-');
    return text;
}

QString ownerName(uid_t uid) {
    const passwd* pw = ::getpwuid(uid);
    return pw ? QString::fromLocal8Bit(pw->pw_name) : QString::number(uid);
}

QString groupName(gid_t gid) {
    const group* gr = ::getgrgid(gid);
    return gr ? QString::fromLocal8Bit(gr->gr_name) : QString::number(gid);
}

RunError permissionDenied(const QString& path) {
    QString who;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        who = QStringLiteral(" (owner %1, group %2, mode %3)")
                  .arg(ownerName(st.st_uid), groupName(st.st_gid), modeText(st.st_mode));
    }
    return RunError(ErrorNumber::PermissionDenied,
                    QStringLiteral("Permission denied: %1%2: permission denied; add yourself to "
                                   "the dialout group and log in again")
                        .arg(path, who));
}

// A character device of the terminal class. The kernel names each device's class under
// /sys/dev/char; a pseudo-terminal has none there, so it is opened (never as our
// controlling terminal) and asked for its terminal attributes.
bool isSerialDevice(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISCHR(st.st_mode))
        return false;
    const QFileInfo subsystem(QStringLiteral("/sys/dev/char/%1:%2/subsystem")
                                  .arg(major(st.st_rdev))
                                  .arg(minor(st.st_rdev)));
    if (subsystem.exists())
        return QFileInfo(subsystem.symLinkTarget()).fileName() == QLatin1String("tty");
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return true;  // a device we may not open: opening it later says why
    const bool terminal = ::isatty(fd) == 1;
    ::close(fd);
    return terminal;
}
#endif

RunError notASerialPort(const QString& path) {
    return RunError(ErrorNumber::NotASerialPort,
                    QStringLiteral("Could not set comm state: %1 is not a serial port").arg(path));
}

RunError busy(const QString& path) {
    return RunError(ErrorNumber::PortAlreadyOpen,
                    QStringLiteral("Port already open: %1 is in use by another program").arg(path));
}

}  // namespace

// ---- PortMap -------------------------------------------------------------------------

QString PortMap::defaultPathFor(int comNumber) {
    if (comNumber < kFirstCom || comNumber > kLastCom)
        return QString();
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(comNumber);
#else
    if (comNumber <= 8)
        return QStringLiteral("/dev/ttyS%1").arg(comNumber - 1);
    if (comNumber <= 24)
        return QStringLiteral("/dev/ttyUSB%1").arg(comNumber - 9);
    return QStringLiteral("/dev/ttyACM%1").arg(comNumber - 25);
#endif
}

QString PortMap::mappedPathFor(int comNumber) const {
    if (comNumber < kFirstCom || comNumber > kLastCom)
        return QString();
    const QString session = session_.value(comNumber);
    if (!session.isEmpty())
        return session;
    if (settings_) {
        const QString stored =
            settings_
                ->get(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(comNumber), QString())
                .trimmed();
        if (!stored.isEmpty())
            return stored;
    }
    return QString();
}

QString PortMap::devicePathFor(int comNumber) const {
    const QString mapped = mappedPathFor(comNumber);
    return mapped.isEmpty() ? defaultPathFor(comNumber) : mapped;
}

void PortMap::setSessionMapping(int comNumber, const QString& path) {
    if (path.isEmpty())
        session_.remove(comNumber);
    else
        session_[comNumber] = path;
}

bool PortMap::isPresent(int comNumber) const {
    const QString mapped = mappedPathFor(comNumber);
    if (!mapped.isEmpty()) {
#ifdef Q_OS_UNIX
        return isSerialDevice(mapped);
#else
        return QFileInfo::exists(mapped);
#endif
    }
    // A default path counts only when the system knows it as a serial port, so that the
    // /dev/ttyS nodes the kernel creates without hardware behind them do not show.
    const QString path = defaultPathFor(comNumber);
    return !path.isEmpty() && systemPorts().contains(path);
}

const QStringList& PortMap::systemPorts() const {
    // Listing the system's ports reads every terminal's entry in /sys and probes the
    // built-in ones; a port menu asks about 32 numbers in a row, so one list serves a
    // moment's questions.
    constexpr qint64 kFreshMs = 1000;
    if (!systemPortsAge_.isValid() || systemPortsAge_.elapsed() > kFreshMs) {
        systemPorts_.clear();
        const auto available = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo& info : available)
            systemPorts_ << info.systemLocation() << info.portName();
        systemPortsAge_.start();
    }
    return systemPorts_;
}

bool QtPortFactory::isUsbSerial(int comNumber) const {
    // The kernel names USB serial adapters ttyUSBn and ttyACMn; a stable name such as
    // /dev/serial/by-id/... links to one of them.
    const QFileInfo device(map_.devicePathFor(comNumber));
    const QString name = QFileInfo(device.canonicalFilePath()).fileName();
    return name.startsWith(QLatin1String("ttyUSB")) || name.startsWith(QLatin1String("ttyACM"));
}

std::unique_ptr<SerialControl> QtPortFactory::create() {
    return std::make_unique<QtSerialControl>(map_);
}

// ---- QtSerialControl -----------------------------------------------------------------

QtSerialControl::QtSerialControl(const PortMap& map, QObject* parent)
    : SerialControl(parent), map_(map), port_(new QSerialPort(this)) {
    connect(port_, &QSerialPort::readyRead, this, &QtSerialControl::onReadyRead);
    connect(port_, &QSerialPort::errorOccurred, this, &QtSerialControl::onError);
}

QtSerialControl::~QtSerialControl() {
    if (port_->isOpen())
        port_->close();
}

QtSerialControl::LineSettings QtSerialControl::parseSettings(const QString& text) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        invalidSettings();
    LineSettings line;
    bool ok = false;
    line.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || line.baud <= 0)
        invalidSettings();

    static const QHash<QString, QSerialPort::Parity> parities = {{"N", QSerialPort::NoParity},
                                                                 {"E", QSerialPort::EvenParity},
                                                                 {"O", QSerialPort::OddParity},
                                                                 {"M", QSerialPort::MarkParity},
                                                                 {"S", QSerialPort::SpaceParity}};
    const auto parity = parities.constFind(parts[1].trimmed().toUpper());
    if (parity == parities.constEnd())
        invalidSettings();
    line.parity = *parity;

    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        invalidSettings();
    line.dataBits = static_cast<QSerialPort::DataBits>(bits);

    static const QHash<QString, QSerialPort::StopBits> stops = {
        {"1", QSerialPort::OneStop},
        {"1.5", QSerialPort::OneAndHalfStop},
        {"2", QSerialPort::TwoStop}};
    const auto stop = stops.constFind(parts[3].trimmed());
    if (stop == stops.constEnd())
        invalidSettings();
    line.stopBits = *stop;
    return line;
}

bool QtSerialControl::PortOpen() const {
    return port_->isOpen() && !lost_;
}

void QtSerialControl::setPortOpen(bool open) {
    if (open) {
        this->open();
        return;
    }
    if (port_->isOpen()) {
        // Hand what is still queued to the driver; close() would drop it.
        if (!lost_)
            port_->flush();
        port_->close();
    }
}

void QtSerialControl::checkDeviceBeforeOpen(const QString& path) const {
#ifdef Q_OS_UNIX
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        throw RunError(ErrorNumber::DeviceUnavailable);
    if (!S_ISCHR(st.st_mode))
        throw notASerialPort(path);
    if (::access(native.constData(), R_OK | W_OK) != 0 && (errno == EACCES || errno == EPERM))
        throw permissionDenied(path);

    // A trial open tells a busy device from an absent one by the system's own answer, and
    // lets us ask whether another program holds the terminal exclusively, which the system
    // administrator's privileges would otherwise quietly override.
    const int fd = ::open(native.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == EBUSY)
            throw busy(path);
        if (err == EACCES || err == EPERM)
            throw permissionDenied(path);
        throw RunError(ErrorNumber::DeviceUnavailable,
                       QStringLiteral("Device unavailable: %1: %2")
                           .arg(path, QString::fromLocal8Bit(std::strerror(err))));
    }
    if (::isatty(fd) != 1) {
        ::close(fd);
        throw notASerialPort(path);
    }
#ifdef TIOCGEXCL
    int exclusive = 0;
    const bool held = ::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive != 0;
#else
    const bool held = false;
#endif
    ::close(fd);
    if (held)
        throw busy(path);
#else
    Q_UNUSED(path);
#endif
}

void QtSerialControl::open() {
    if (PortOpen())
        throw RunError(ErrorNumber::PortAlreadyOpen);
    if (port_->isOpen())
        port_->close();  // left over from a lost device

    const int com = CommPort();
    const QString path = map_.devicePathFor(com);
    if (com < PortMap::kFirstCom || com > PortMap::kLastCom || path.isEmpty())
        throw RunError(ErrorNumber::InvalidPortNumber);
    const LineSettings line = parseSettings(Settings());
    checkDeviceBeforeOpen(path);

    port_->setPortName(path);
    port_->setBaudRate(line.baud);
    port_->setParity(line.parity);
    port_->setDataBits(line.dataBits);
    port_->setStopBits(line.stopBits);
    // Handshaking 1 is XON/XOFF; 2 and 3 use RTS/CTS.
    const int handshaking = Handshaking();
    port_->setFlowControl(handshaking == 1                       ? QSerialPort::SoftwareControl
                          : handshaking == 2 || handshaking == 3 ? QSerialPort::HardwareControl
                                                                 : QSerialPort::NoFlowControl);

    configuring_ = true;
    const bool opened = port_->open(QIODevice::ReadWrite);
    if (!opened) {
        configuring_ = false;
        const QSerialPort::SerialPortError error = port_->error();
        const QString reason = port_->errorString();
        port_->clearError();
        switch (error) {
            case QSerialPort::DeviceNotFoundError:
                throw RunError(ErrorNumber::DeviceUnavailable);
            case QSerialPort::OpenError:
                throw busy(path);
            case QSerialPort::PermissionError:
#ifdef Q_OS_UNIX
                // Permission to the node itself was checked above: what is left is a lock
                // held by another program (a lock file or an exclusive open).
                if (::access(QFile::encodeName(path).constData(), R_OK | W_OK) != 0)
                    throw permissionDenied(path);
#endif
                throw busy(path);
            default:
                throw RunError(ErrorNumber::DeviceUnavailable,
                               QStringLiteral("Device unavailable: %1: %2").arg(path, reason));
        }
    }

    // Linux raises both modem lines on open; set them to what was asked for. A terminal
    // without modem lines (a pseudo-terminal) refuses, which is no reason to fail.
    port_->setDataTerminalReady(DTREnable());
    if (port_->flowControl() != QSerialPort::HardwareControl)
        port_->setRequestToSend(RTSEnable());
    port_->clearError();
    configuring_ = false;
    lost_ = false;
    commEvent_ = 0;
}

int QtSerialControl::InBufferCount() {
    if (!PortOpen())
        return 0;
    return static_cast<int>(qMin<qint64>(port_->bytesAvailable(), INT_MAX));
}

void QtSerialControl::clearInBuffer() {
    if (PortOpen())
        port_->clear(QSerialPort::Input);
}

QByteArray QtSerialControl::Input() {
    if (!PortOpen())
        return QByteArray();
    return InputLen() <= 0 ? port_->readAll() : port_->read(InputLen());
}

void QtSerialControl::Output(const QByteArray& bytes) {
    if (!PortOpen())
        throw RunError(ErrorNumber::DeviceNotOpen);
    if (port_->write(bytes) != bytes.size()) {
        markLost();
        throw RunError(ErrorNumber::DeviceNotOpen);
    }
    // Hand the bytes to the driver at once rather than at the next event pump, so that
    // paced writes leave when they are meant to.
    port_->flush();
    if (lost_)
        throw RunError(ErrorNumber::DeviceNotOpen);
}

qint16 QtSerialControl::PortPresent(const qint16& index) {
    return map_.isPresent(index + 1) ? 1 : 0;
}

void QtSerialControl::onReadyRead() {
    if (!PortOpen() || RThreshold() <= 0)
        return;
    if (port_->bytesAvailable() >= RThreshold()) {
        commEvent_ = 2;
        emit OnComm();
    }
}

void QtSerialControl::onError(QSerialPort::SerialPortError error) {
    if (configuring_ || lost_ || !port_->isOpen())
        return;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError:
            markLost();
            break;
        default:
            break;
    }
}

void QtSerialControl::markLost() {
    if (lost_)
        return;
    lost_ = true;
    // Closing from inside the port's own notification is not safe; close at the next pump.
    // Until then PortOpen() already reads false.
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (lost_ && port_->isOpen())
                port_->close();
        },
        Qt::QueuedConnection);
}
