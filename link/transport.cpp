#include "link/transport.h"

#include <QDir>
#include <QFileInfo>

#include "core/context.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "core/serialcontrol.h"

namespace {

constexpr qint32 kOpenSettleMs = 500;
constexpr quint32 kFtdiReadTimeoutMs = 1000;

// The text as single-byte codes: Latin-1 where it fits, '?' for anything else, one byte
// per character (a character outside the basic plane counts once).
QByteArray singleByteCodes(const QString& text) {
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (const uint cp : codePoints)
        out.append(cp <= 0xFF ? static_cast<char>(cp) : '?');
    return out;
}

// Why a COM port did not open, naming its device: the device path, not the COM number,
// is what the user gave or can look up.
QString comOpenFailure(const RunError& e, const QString& path) {
    switch (e.number()) {
        case ErrorNumber::PermissionDenied:
            return path + QStringLiteral(
                              ": permission denied; add yourself to the dialout group and log in "
                              "again");
        case ErrorNumber::NotASerialPort:
            return path + QStringLiteral(": not a serial port");
        case ErrorNumber::PortAlreadyOpen:
            return path + QStringLiteral(": in use by another program");
        default:
            break;
    }
    if (!QFileInfo::exists(path))
        return path + QStringLiteral(": no such file");
    return path + QStringLiteral(": ") + e.description();
}

// The box for a COM port that did not open: what stands in the way and, where the user
// can do something about it, what.
QString comOpenBox(const RunError& e, qint16 port, const QString& path) {
    QString why = QStringLiteral(" is not available. It may be in use by another program.");
    if (e.number() == ErrorNumber::PermissionDenied)  // not in the group that owns the tty
        why = QStringLiteral(" is not available: permission denied on ") + path +
              QStringLiteral(
                  ".\r\nAdd yourself to the dialout group (sudo adduser $USER "
                  "dialout) and log in again.");
    else if (e.number() == ErrorNumber::NotASerialPort)
        why =
            QStringLiteral(" is not available: ") + path + QStringLiteral(" is not a serial port.");
    return QStringLiteral("COM Port ") + QString::number(port) + why;
}

class ComTransport : public Transport {
public:
    ComTransport(CoreContext& ctx, qint16 port, SerialControl& comm)
        : ctx_(ctx), port_(port), comm_(comm) {}

    bool open(const QString& settings) override {
        if (comm_.PortOpen())
            comm_.setPortOpen(false);
        try {
            OpenComPort(comm_, port_, settings, 0);
        } catch (const RunError& e) {
            failure_ = comOpenFailure(e, comm_.DevicePath());
            ctx_.LogMessage(QStringLiteral("SetCommPort: open failed for port ") +
                            QString::number(port_));
            ctx_.ShowMessage(comOpenBox(e, port_, comm_.DevicePath()),
                             QStringLiteral("\r\nThe requested operation cannot continue."),
                             MsgButtons::Ok, MsgIcon::Exclamation);
            return false;
        }
        failure_.clear();
        ctx_.LogMessage(QStringLiteral("SetCommPort: open OK for port ") + QString::number(port_));
        // Give the cable's level converter time to power up from DTR/RTS, then drop whatever
        // noise it produced meanwhile. A failure from here on does not undo the open: the
        // receive side notices a port that went away.
        ctx_.Pause(kOpenSettleMs);
        try {
            purge();
        } catch (const RunError&) {
        }
        return true;
    }
    QByteArray read(qint32 max) override {
        comm_.setInputLen(max);
        return comm_.Input();
    }
    bool write(const QByteArray& bytes) override {
        try {
            comm_.Output(bytes);
        } catch (const RunError&) {
            return false;  // the port went away under us
        }
        return true;
    }
    void purge() override { comm_.clearInBuffer(); }
    void close() override {
        if (comm_.PortOpen())
            comm_.setPortOpen(false);
    }
    qint32 bytesWaiting() override { return comm_.InBufferCount(); }
    bool isOpen() const override { return comm_.PortOpen(); }
    bool lost() const override { return comm_.LinkLost(); }
    QString failure() const override { return failure_; }
    QString name() const override {
        return QStringLiteral("COM%1 (%2)")
            .arg(port_)
            .arg(QDir::toNativeSeparators(comm_.DevicePath()));
    }

private:
    CoreContext& ctx_;
    qint16 port_;
    SerialControl& comm_;
    QString failure_;
};

class FtdiTransport : public Transport {
public:
    explicit FtdiTransport(CoreContext& ctx)
        : ctx_(ctx), d2xx_(ctx.d2xx()), description_(ctx.state.link.FTDIDescription) {}
    ~FtdiTransport() override {
        if (handle_ == 0)
            return;
        try {
            d2xx_.FT_Close(handle_);
        } catch (const RunError&) {
            // Without the library there is nothing left to close.
        }
    }

    bool open(const QString&) override {
        if (handle_ != 0)
            close();
        lost_ = false;
        const QString& desc = description_;
        FT_STATUS status = FT_OK;
        const QString step = OpenFtdiDevice(d2xx_, desc, handle_, &status);
        if (step.isEmpty()) {
            failure_.clear();
            ctx_.LogMessage(QStringLiteral("SetCommPort: open OK for device ") + desc);
            return true;
        }
        if (step == QLatin1String("Description")) {
            ctx_.LogMessage(QStringLiteral("Open Failed for device ") + desc +
                            QStringLiteral(" (description longer than 64 characters)"));
            failure_ = desc + QStringLiteral(": longer than 64 characters");
        } else if (step == QLatin1String("Open")) {
            ctx_.LogMessage(QStringLiteral("Open Failed for device ") + desc);
            failure_ =
                desc +
                (status == FT_DEVICE_NOT_FOUND
                     ? QStringLiteral(": no FTDI cable with this description is "
                                      "attached")
                     : QStringLiteral(": the FTDI cable cannot be opened (status %1)").arg(status));
        } else {
            ctx_.LogMessage(step + QStringLiteral(" Failed for device ") + desc);
            failure_ = desc + QStringLiteral(": ") + step + QStringLiteral(" failed");
            close();
        }
        return false;
    }
    QByteArray read(qint32 max) override {
        failure_.clear();
        QByteArray bytes(max, '\0');
        quint32 got = 0;
        const FT_STATUS status = d2xx_.FT_Read(handle_, reinterpret_cast<quint8*>(bytes.data()),
                                               static_cast<quint32>(max), &got);
        if (status == FT_OK || status == FT_IO_ERROR) {
            // Never more than was asked for, whatever the driver claims.
            got = qMin<quint32>(got, static_cast<quint32>(max));
            if (got != static_cast<quint32>(max))
                ctx_.LogMessage(QStringLiteral("FT_Read timeout ftStatus=") +
                                QString::number(status));
        } else {
            ctx_.LogMessage(QStringLiteral("FT_Read error ftStatus=") + QString::number(status));
            failure_ = description_ + QStringLiteral(": read failed (status %1)").arg(status);
            lost_ = lost_ || status == FT_DEVICE_NOT_FOUND;
            got = 0;
        }
        bytes.truncate(static_cast<qsizetype>(got));
        return bytes;
    }
    bool write(const QByteArray& bytes) override {
        quint32 written = 0;
        const FT_STATUS status =
            d2xx_.FT_Write(handle_, reinterpret_cast<const quint8*>(bytes.constData()),
                           static_cast<quint32>(bytes.size()), &written);
        lost_ = lost_ || status == FT_DEVICE_NOT_FOUND;
        return status == FT_OK;
    }
    void purge() override {
        if (d2xx_.FT_Purge(handle_, FT_PURGE_RX | FT_PURGE_TX) != FT_OK)
            ctx_.LogMessage(QStringLiteral("Purge Failed for device ") +
                            ctx_.state.link.FTDetectDescription);
    }
    void close() override {
        if (d2xx_.FT_Close(handle_) != FT_OK)
            ctx_.LogMessage(QStringLiteral("Close Failed for") +
                            ctx_.state.link.FTDetectDescription);
        handle_ = 0;
    }
    qint32 bytesWaiting() override {
        quint32 waiting = 0;
        if (d2xx_.FT_GetQueueStatus(handle_, &waiting) == FT_DEVICE_NOT_FOUND) {
            lost_ = true;
            waiting = 0;
        }
        return static_cast<qint32>(qMin<quint32>(waiting, INT32_MAX));
    }
    bool isOpen() const override { return handle_ != 0 && !lost_; }
    bool lost() const override { return lost_; }
    QString failure() const override { return failure_; }
    QString name() const override {
        return QStringLiteral("the FTDI device \"%1\"").arg(description_);
    }

private:
    CoreContext& ctx_;
    D2xx& d2xx_;
    QString description_;
    FT_HANDLE handle_ = 0;
    bool lost_ = false;
    QString failure_;
};

}  // namespace

std::unique_ptr<Transport> makeTransport(CoreContext& ctx, qint16 port, SerialControl& comm) {
    if (port == kFtdiPort)
        return std::make_unique<FtdiTransport>(ctx);
    return std::make_unique<ComTransport>(ctx, port, comm);
}

void OpenComPort(SerialControl& comm, qint16 port, const QString& settings, int eventBytes) {
    comm.setCommPort(port);
    comm.setSettings(settings);
    comm.setInputMode(1);
    comm.setHandshaking(0);
    comm.setRThreshold(eventBytes);
    comm.setSThreshold(0);
    comm.setProtocol(0);
    comm.setDTREnable(true);
    comm.setRTSEnable(true);
    comm.setPortOpen(true);
}

QString OpenFtdiDevice(D2xx& d2xx, const QString& description, FT_HANDLE& handle,
                       FT_STATUS* status) {
    handle = 0;
    // A longer description would lose its terminating zero; cutting it short could open
    // a different device whose description starts the same way.
    QByteArray bytes = singleByteCodes(description);
    if (bytes.size() >= FT_DESCRIPTION_SIZE)
        return QStringLiteral("Description");
    bytes = bytes.leftJustified(FT_DESCRIPTION_SIZE, '\0');
    const FT_STATUS opened = d2xx.FT_OpenEx(reinterpret_cast<const quint8*>(bytes.constData()),
                                            FT_OPEN_BY_DESCRIPTION, &handle);
    if (status)
        *status = opened;
    if (opened != FT_OK) {
        handle = 0;
        return QStringLiteral("Open");
    }
    if (d2xx.FT_SetBaudRate(handle, 38400) != FT_OK)
        return QStringLiteral("SetBaudRate");
    if (d2xx.FT_SetDataCharacteristics(handle, FT_BITS_8, FT_STOP_BITS_1, FT_PARITY_NONE) != FT_OK)
        return QStringLiteral("SetDataCharacteristics");
    if (d2xx.FT_SetFlowControl(handle, FT_FLOW_NONE, 0, 0) != FT_OK)
        return QStringLiteral("SetFlowControl");
    if (d2xx.FT_SetTimeouts(handle, kFtdiReadTimeoutMs, 0) != FT_OK)
        return QStringLiteral("SetTimeouts");
    if (d2xx.FT_SetChars(handle, 0x7E, 1, 0, 0) != FT_OK)
        return QStringLiteral("SetChars");
    return QString();
}
