#include "diag/ftdidiag.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <functional>
#include <utility>

#include "core/clock.h"
#include "core/config.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "diag/comportdiag.h"
#include "link/transport.h"
#include "transfer/appcontext.h"
#include "ui/fontface.h"
#include "ui/tracebox.h"

namespace {

constexpr qsizetype kDeviceLogLimit = 64000;
constexpr quint32 kIdentitySize = 10;
const QString kNoDevices = QStringLiteral("No devices found");

QString errorText(const RunError& e) {
    return QStringLiteral("Error ") + QString::number(e.number()) + QStringLiteral(" (") +
           e.description() + QStringLiteral(")");
}

}  // namespace

// Marks a device test as running; on every way out, a shut-down unwinding through the
// read loop included, the device the test opened is closed.
class FTDIDiag::TestScope {
public:
    explicit TestScope(FTDIDiag& dialog) : dialog_(dialog) { dialog_.testRunning_ = true; }
    ~TestScope() {
        if (dialog_.deviceOpen_)
            dialog_.forgetDevice();
        dialog_.testRunning_ = false;
        // The application is ending: a close asked for during the test happens now.
        if (dialog_.ctx_.shuttingDown() && dialog_.pending_ == Pending::Close) {
            dialog_.pending_ = Pending::None;
            dialog_.QDialog::done(dialog_.pendingResult_);
        }
    }
    TestScope(const TestScope&) = delete;
    TestScope& operator=(const TestScope&) = delete;

private:
    FTDIDiag& dialog_;
};

QString FTDIDiag::instructionsText() {
    return QStringLiteral(
        "To set which FTDI device to use:\r\n"
        "\r\n"
        "1. Turn off your radio.\r\n"
        "2. Plug the programming cable into the radio.\r\n"
        "3. Plug the programming cable into the PC.\r\n"
        "4. Click the 'Detect devices' button.\r\n"
        "5. Choose a device to test from the drop-down list below.\r\n"
        "6. Hold in the FW button while powering on the radio. The radio should show CLONE.\r\n"
        "7. Press the BAND button on the radio. The radio shows --TX-- then ERROR.\r\n"
        "8. If the radio ID is displayed Click the button 'Choose and Exit'.\r\n"
        "9. Otherwise return to step 5 and choose another device to test.");
}

QString FTDIDiag::missingLibraryText() {
    return QStringLiteral("The FTDI D2XX DLL is not installed on this system.") +
           QStringLiteral("\r\n") +
           QStringLiteral("Visit https://www.ftdichip.com/Drivers/D2XX.htm to get the drivers.") +
           QStringLiteral("\r\n") +
           QStringLiteral(
               "On Debian or Ubuntu install the package libftdi1-2 (sudo apt-get install "
               "libftdi1-2).");
}

FTDIDiag::FTDIDiag(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("FTDIDiag"));
    setWindowTitle(QStringLiteral("Quorlink FTDI detector"));
    buildControls();
    Form_Load();
}

FTDIDiag::~FTDIDiag() {
    // Never leave a device open behind a window that is gone.
    if (deviceOpen_)
        forgetDevice();
}

void FTDIDiag::buildControls() {
    setFixedSize(560, 470);
    lblInstructions = new QLabel(this);
    lblInstructions->setObjectName(QStringLiteral("lblInstructions"));
    lblInstructions->setGeometry(8, 8, 544, 180);
    lblInstructions->setWordWrap(true);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Frame2 = new QGroupBox(QStringLiteral("FTDI devices"), this);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(8, 194, 544, 58);
    cboDevices = new QComboBox(Frame2);
    cboDevices->setObjectName(QStringLiteral("cboDevices"));
    cboDevices->setGeometry(8, 22, 528, 26);
    // Editable only so that the field can show prompts; the user picks, never types.
    cboDevices->setEditable(true);
    cboDevices->setInsertPolicy(QComboBox::NoInsert);
    cboDevices->lineEdit()->setReadOnly(true);

    Frame1 = new QGroupBox(QStringLiteral("Messages"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(8, 258, 544, 164);
    txtErrors = new TraceBox(Frame1);
    txtErrors->setObjectName(QStringLiteral("txtErrors"));
    txtErrors->setGeometry(8, 22, 528, 134);

    auto button = [this](const char* name, const QString& caption, int left) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(left, 432, 128, 27);
        return b;
    };
    cmdDetect = button("cmdDetect", QStringLiteral("Detect devices"), 8);
    cmdStop = button("cmdStop", QStringLiteral("Cancel Detection"), 146);
    cmdSetComPort = button("cmdSetComPort", QStringLiteral("Choose and Exit"), 284);
    cmdClose = button("cmdClose", QStringLiteral("Exit without change"), 422);

    connect(cmdDetect, &QPushButton::clicked, this,
            [this] { AppContext::guardHandler([this] { cmdDetect_Click(); }); });
    connect(cboDevices, &QComboBox::activated, this,
            [this] { AppContext::guardHandler([this] { cboDevices_Click(); }); });
    connect(cmdStop, &QPushButton::clicked, this, [this] { cmdStop_Click(); });
    connect(cmdSetComPort, &QPushButton::clicked, this,
            [this] { AppContext::guardHandler([this] { cmdSetComPort_Click(); }); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void FTDIDiag::Form_Load() {
    lblInstructions->setText(instructionsText());
    cboDevices->clear();
    cboDevices->clearEditText();
    cmdStop->setEnabled(false);
    cboDevices->setEnabled(false);
    cmdSetComPort->setEnabled(false);
    ApplySystemFont(this);
}

void FTDIDiag::LogDeviceMessage(const qint32& index, const QString& text) {
    txtErrors->appendLine(
        QStringLiteral("Device ") + QString::number(index + 1) + QStringLiteral(" ") + text,
        kDeviceLogLimit);
}

void FTDIDiag::ClearBytes(QByteArray& bytes) {
    bytes.fill('\0');
}

void FTDIDiag::cmdStop_Click() {
    StopRequested = true;
}

void FTDIDiag::cmdClose_Click() {
    reject();
}

void FTDIDiag::done(int result) {
    if (testRunning_) {
        pendingResult_ = result;
        deferUntilTestEnds(Pending::Close);
        return;
    }
    QDialog::done(result);
}

void FTDIDiag::deferUntilTestEnds(Pending action, int index) {
    StopRequested = true;
    // Once the window is to close nothing else is started.
    if (pending_ == Pending::Close)
        return;
    pending_ = action;
    pendingIndex_ = index;
}

void FTDIDiag::cmdSetComPort_Click() {
    LinkState& link = ctx_.state.link;
    link.PortNumber = kFtdiPort;
    ctx_.config().set(ConfigKeys::kSection, ConfigKeys::kCommPort, QString::number(kFtdiPort));
    ctx_.config().set(ConfigKeys::kSection, ConfigKeys::kFtdiDevice, link.FTDetectDescription);
    link.FTDIDescription = link.FTDetectDescription;
    accept();
}

// ---- Detect devices ----------------------------------------------------------------

void FTDIDiag::cmdDetect_Click() {
    if (testRunning_) {
        deferUntilTestEnds(Pending::Detect);
        return;
    }
    listDevices();
}

void FTDIDiag::listDevices() {
    try {
        cboDevices->clear();
        cboDevices->setEnabled(false);
        cmdStop->setEnabled(false);
        cboDevices->clearEditText();
        txtErrors->clearLog();

        D2xx& d2xx = ctx_.d2xx();
        quint32 count = 0;
        if (d2xx.FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK) {
            LogDeviceMessage(0, QStringLiteral("FT_GetNumDevices failed"));
            cboDevices->addItem(kNoDevices);
            cboDevices->setEditText(kNoDevices);
            return;
        }
        FTDeviceCount = static_cast<qint32>(count);
        LogDeviceMessage(0,
                         QStringLiteral("Number of devices = ") + QString::number(FTDeviceCount));
        if (FTDeviceCount <= 0) {
            cboDevices->setEditText(kNoDevices);
            return;
        }
        QByteArray descriptionBytes(FT_DESCRIPTION_SIZE, '\0');
        for (qint32 i = 1; i <= FTDeviceCount; ++i) {
            ClearBytes(descriptionBytes);
            quint8* buffer = reinterpret_cast<quint8*>(descriptionBytes.data());
            if (d2xx.FT_ListDevices(static_cast<quint32>(i - 1), buffer,
                                    FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK) {
                LogDeviceMessage(
                    i - 1, QStringLiteral("ListDevices failed - please retry Detect Devices"));
                return;
            }
            const char* text = descriptionBytes.constData();
            const QString description =
                QString::fromLatin1(text, qstrnlen(text, descriptionBytes.size()));
            ctx_.state.link.FTDetectDescription = description;
            cboDevices->addItem(description);
            cboDevices->setEditText(
                QStringLiteral("Choose a device from this list to start the detection process"));
            cboDevices->setEnabled(true);
        }
    } catch (const RunError& e) {
        if (e.number() == ErrorNumber::FileNotFound) {
            ctx_.ShowMessage(missingLibraryText(), MsgButtons::Ok, MsgIcon::None);
            return;
        }
        // The listing ends where it was; the trace says why.
        LogDeviceMessage(0, errorText(e) + QStringLiteral(" while listing the devices"));
    }
}

// ---- Device test -------------------------------------------------------------------

void FTDIDiag::cboDevices_Click() {
    const int picked = cboDevices->currentIndex();
    if (testRunning_) {
        // The pick's handler runs nested inside the running test: end that test first.
        deferUntilTestEnds(Pending::Test, picked);
        return;
    }
    int next = picked;
    while (next >= 0 && next < cboDevices->count()) {
        runDeviceTest(next, cboDevices->itemText(next));
        const Pending action = std::exchange(pending_, Pending::None);
        next = -1;
        switch (action) {
            case Pending::Test:
                next = pendingIndex_;
                break;
            case Pending::Detect:
                listDevices();
                break;
            case Pending::Close:
                QDialog::done(pendingResult_);
                break;
            case Pending::None:
                break;
        }
    }
}

void FTDIDiag::runDeviceTest(qint32 n, const QString& d) {
    TestScope scope(*this);
    cmdClose->setEnabled(false);
    cmdStop->setEnabled(true);
    LogDeviceMessage(n, QStringLiteral("Waiting for data from ") + d);
    repaint();
    try {
        if (openDevice(n, d)) {
            readIdentity();
            reportOutcome(n);
            CloseDevice(handle_);
        }
    } catch (const RunError& e) {
        // The library went away under the test (or never loaded): the test ends here.
        LogDeviceMessage(n, errorText(e) + QStringLiteral(" while testing ") + d);
        forgetDevice();
    }
    cmdClose->setEnabled(true);
}

bool FTDIDiag::openDevice(qint32 n, const QString& d) {
    if (handle_ != 0) {
        if (ctx_.d2xx().FT_Close(handle_) != FT_OK)
            LogDeviceMessage(n, QStringLiteral("Close Failed for previous device"));
        handle_ = 0;
    }
    // The device is opened and set up as the link does it.
    const QString step = OpenFtdiDevice(ctx_.d2xx(), d, handle_);
    if (step == QLatin1String("Description")) {
        LogDeviceMessage(n,
                         QStringLiteral("Description longer than 64 characters, cannot open ") + d);
        return false;
    }
    ctx_.state.link.FTDetectDescription = d;
    if (step == QLatin1String("Open")) {
        LogDeviceMessage(n, QStringLiteral("Open Failed for ") + d);
        return false;
    }
    deviceOpen_ = true;
    if (!step.isEmpty()) {
        LogDeviceMessage(n, step + QStringLiteral(" Failed for ") + d);
        CloseDevice(handle_);
        return false;
    }
    return true;
}

void FTDIDiag::readIdentity() {
    D2xx& d2xx = ctx_.d2xx();
    FTReadFailed = false;
    StopRequested = false;
    FTTotalRead = 0;
    received_ = QByteArray(kIdentitySize, '\0');
    do {
        quint32 got = 0;
        const quint32 wanted = kIdentitySize - FTTotalRead;
        readStatus_ = d2xx.FT_Read(
            handle_, reinterpret_cast<quint8*>(received_.data()) + FTTotalRead, wanted, &got);
        if (readStatus_ == FT_OK || readStatus_ == FT_IO_ERROR) {
            // Never count more than was asked for, whatever the driver claims.
            FTTotalRead += qMin(got, wanted);
        } else {
            FTReadFailed = true;
        }
        // Each read returns within the read time-out, so Cancel Detection and the other
        // buttons are seen at least once a second.
        ctx_.clock().pumpEvents();
        ctx_.throwIfShuttingDown();
    } while (FTTotalRead < kIdentitySize && !StopRequested && !FTReadFailed);
}

void FTDIDiag::reportOutcome(qint32 n) {
    if (StopRequested) {
        LogDeviceMessage(n, QStringLiteral("Detection cancelled"));
        return;
    }
    if (FTReadFailed) {
        LogDeviceMessage(n,
                         QStringLiteral("FT_Read error ftStatus=") + QString::number(readStatus_));
        return;
    }
    ReceivedHex = bytesToHex(received_);
    LogDeviceMessage(n, QStringLiteral("Data ") + ReceivedHex);
    if (isRadioIdentityHex(ReceivedHex))
        cmdSetComPort->setEnabled(true);
}

void FTDIDiag::CloseDevice(FT_HANDLE& handle) {
    if (ctx_.d2xx().FT_Close(handle) != FT_OK)
        LogDeviceMessage(cboDevices->currentIndex(),
                         QStringLiteral("Close Failed for") + ctx_.state.link.FTDetectDescription);
    handle = 0;
    deviceOpen_ = false;
}

void FTDIDiag::forgetDevice() {
    if (handle_ != 0) {
        try {
            ctx_.d2xx().FT_Close(handle_);
        } catch (const RunError&) {
            // Without the library there is nothing left to close.
        }
    }
    handle_ = 0;
    deviceOpen_ = false;
}
