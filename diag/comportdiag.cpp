#include "diag/comportdiag.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>

#include "core/config.h"
#include "core/errors.h"
#include "core/serialcontrol.h"
#include "link/transport.h"
#include "transfer/appcontext.h"
#include "ui/fontface.h"
#include "ui/tracebox.h"

namespace {

const QColor kYellow(255, 255, 0);
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 255, 0);

// The per-port lines and the other lines trim the same box at different lengths.
constexpr qsizetype kPortLogLimit = 64000;
constexpr qsizetype kDiagLogLimit = 65000;

constexpr int kBoxesPerColumn = 16;
constexpr int kBoxWidth = 100;
constexpr int kBoxHeight = 21;

}  // namespace

bool isRadioIdentityHex(const QString& hex) {
    const QString first = hex.left(10);
    return first == QLatin1String("4148303239") || first == QLatin1String("4148323944");
}

QString bytesToHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex().toUpper());
}

QString ComPortDiag::instructionsText() {
    return QStringLiteral(
        "To find which Com port number to use:\r\n"
        "\r\n"
        "1. Turn off your radio.\r\n"
        "2. Plug the programming cable into the radio.\r\n"
        "3. Plug the programming cable into the PC.\r\n"
        "4. Click the 'Detect ports' button.\r\n"
        "5. Hold in the FW button while powering on the radio. The radio should show CLONE.\r\n"
        "6. Press the BAND button on the radio. The radio shows --TX-- then ERROR.\r\n"
        "7. Click the button 'Set to Com n and Exit'");
}

ComPortDiag::ComPortDiag(AppContext& ctx, QWidget* parent) : QDialog(parent), ctx_(ctx) {
    setObjectName(QStringLiteral("ComPortDiag"));
    setWindowTitle(QStringLiteral("Quorlink Com port detector"));
    for (int i = 0; i < kPortCount; ++i) {
        MSComm1[i] = ctx_.ports().create();
        connect(MSComm1[i].get(), &SerialControl::OnComm, this, [this, i] { OnComm(i); });
    }
    buildControls();
    Form_Load();
}

ComPortDiag::~ComPortDiag() {
    for (auto& port : MSComm1) {
        if (port && port->PortOpen())
            port->setPortOpen(false);
    }
}

void ComPortDiag::buildControls() {
    // Laid out rather than placed, so that the window fits a small or scaled screen and can
    // be resized: the port boxes in two columns at the left, the rest beside them.
    auto* boxes = new QGridLayout;
    boxes->setSpacing(3);
    for (int i = 0; i < kPortCount; ++i) {
        auto* box = new QLineEdit(this);
        box->setObjectName(QStringLiteral("Text1_%1").arg(i));
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        box->setAlignment(Qt::AlignCenter);
        box->setFixedSize(kBoxWidth, kBoxHeight);
        boxes->addWidget(box, i % kBoxesPerColumn, i / kBoxesPerColumn);
        Text1[i] = box;
    }
    boxes->setRowStretch(kBoxesPerColumn, 1);

    lblInstructions = new QLabel(this);
    lblInstructions->setObjectName(QStringLiteral("lblInstructions"));
    lblInstructions->setWordWrap(true);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    Frame1 = new QGroupBox(QStringLiteral(" Com port activity... "), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    txtErrors = new TraceBox(Frame1);
    txtErrors->setObjectName(QStringLiteral("txtErrors"));
    auto* frameLayout = new QVBoxLayout(Frame1);
    frameLayout->addWidget(txtErrors);

    auto* buttons = new QHBoxLayout;
    auto button = [this, buttons](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        buttons->addWidget(b);
        return b;
    };
    cmdDetect = button("cmdDetect", QStringLiteral("Detect ports"));
    cmdSetComPort = button("cmdSetComPort", QStringLiteral("Set to Com n and Exit"));
    // Wide enough for "Set to Com 32 and Exit".
    cmdSetComPort->setMinimumWidth(
        cmdSetComPort->fontMetrics().horizontalAdvance(QStringLiteral("Set to Com 32 and Exit")) +
        16);
    cmdClose = button("cmdClose", QStringLiteral("Exit without change"));

    auto* right = new QVBoxLayout;
    right->addWidget(lblInstructions);
    right->addWidget(Frame1, 1);
    right->addLayout(buttons);
    auto* window = new QHBoxLayout(this);
    window->addLayout(boxes);
    window->addLayout(right, 1);
    resize(640, 420);

    connect(cmdDetect, &QPushButton::clicked, this, [this] { cmdDetect_Click(); });
    connect(cmdSetComPort, &QPushButton::clicked, this, [this] { cmdSetComPort_Click(); });
    connect(cmdClose, &QPushButton::clicked, this, [this] { cmdClose_Click(); });
}

void ComPortDiag::Form_Load() {
    unloaded_ = false;
    // The state a freshly loaded dialog has, for a dialog that is shown again.
    txtErrors->clearLog();
    cmdSetComPort->setText(QStringLiteral("Set to Com n and Exit"));
    cmdSetComPort->setEnabled(false);
    FoundPortIndex = 0;

    lblInstructions->setText(instructionsText());
    for (int i = 0; i < kPortCount; ++i) {
        setBox(i, QStringLiteral("Detect ports"), kYellow);
        // The mapping may change between showings: the tooltip names today's device.
        Text1[i]->setToolTip(ctx_.ports().devicePathFor(i + 1));
    }
    ApplySystemFont(this);
}

void ComPortDiag::setBox(int index, const QString& text, const QColor& colour) {
    Text1[index]->setText(text);
    setBoxColour(index, colour);
}

void ComPortDiag::setBoxColour(int index, const QColor& colour) {
    QPalette palette = Text1[index]->palette();
    palette.setColor(QPalette::Base, colour);
    palette.setColor(QPalette::Text, Qt::black);
    Text1[index]->setPalette(palette);
}

QString ComPortDiag::versionPrefix() const {
    return AppContext::AppName() + QStringLiteral(" ") + AppContext::VersionText() +
           QStringLiteral(": ");
}

void ComPortDiag::ClosePort(const qint16& port) {
    SerialControl& control = *MSComm1[port - 1];
    if (control.PortOpen())
        control.setPortOpen(false);
}

void ComPortDiag::OpenPort(const qint16& port) {
    const int index = port - 1;
    SerialControl& control = *MSComm1[index];
    if (control.PortOpen()) {
        control.setPortOpen(false);
        setBox(index, QString(), kYellow);
    }
    try {
        // Opened as the link opens it; the receive event comes once a whole identity's
        // worth of bytes waits.
        OpenComPort(control, port, ctx_.state.link.PortSettings, 10);
    } catch (const RunError& e) {
        setBoxColour(index, kRed);
        const QString portAndPath = QString::number(port) + QStringLiteral(" (") +
                                    ctx_.ports().devicePathFor(port) + QStringLiteral(")");
        if (e.number() == ErrorNumber::DeviceUnavailable) {
            Text1[index]->setText(QStringLiteral("COM") + QString::number(port));
        } else if (e.number() == ErrorNumber::NotASerialPort) {
            // A mapping that names something else: shown as no port, and said why.
            Text1[index]->setText(QStringLiteral("COM") + QString::number(port));
            LogDiagMessage(versionPrefix() + QStringLiteral("Port ") + portAndPath +
                           QStringLiteral(" is not a serial port"));
        } else if (e.number() == ErrorNumber::PortAlreadyOpen) {
            LogDiagMessage(versionPrefix() + QStringLiteral("Port ") + portAndPath +
                           QStringLiteral(" is in use by another program"));
        } else if (e.number() == ErrorNumber::PermissionDenied) {
            // The port exists but this user may not use it: say how to fix that.
            LogDiagMessage(versionPrefix() + QStringLiteral("Permission denied for port ") +
                           portAndPath +
                           QStringLiteral("; add yourself to the dialout group and log in again"));
        } else {
            LogDiagMessage(versionPrefix() + QStringLiteral("Error code ") +
                           QString::number(e.number()) + QStringLiteral(" Advise author"));
        }
        return;
    }
    LogDiagMessage(versionPrefix() + QStringLiteral("Open OK for port ") + QString::number(port));
    setBox(index, QStringLiteral("COM") + QString::number(port) + QStringLiteral(" Found"), kGreen);
}

void ComPortDiag::LogPortMessage(const qint16& index, const QString& text) {
    txtErrors->appendLine(
        QStringLiteral("Port ") + QString::number(index + 1) + QStringLiteral(" ") + text,
        kPortLogLimit);
}

void ComPortDiag::LogDiagMessage(const QString& text) {
    txtErrors->appendLine(text, kDiagLogLimit);
}

void ComPortDiag::cmdDetect_Click() {
    txtErrors->clearLog();
    for (qint16 port = 1; port <= kPortCount; ++port) {
        ClosePort(port);
        OpenPort(port);
    }
}

void ComPortDiag::OnComm(int index) {
    if (index < 0 || index >= kPortCount)
        return;
    SerialControl& control = *MSComm1[index];
    if (control.CommEvent() != 2)
        return;
    QByteArray bytes;
    try {
        // An event queued before the port was closed again finds nothing to read.
        if (!control.PortOpen())
            return;
        const int waiting = control.InBufferCount();
        if (waiting <= 0)
            return;
        control.setInputLen(waiting);
        bytes = control.Input();
    } catch (const RunError& e) {
        // The device went away while listening: say so and keep listening on the others.
        LogPortMessage(static_cast<qint16>(index),
                       QStringLiteral("Error ") + QString::number(e.number()) +
                           QStringLiteral(" (") + e.description() + QStringLiteral(") on COM ") +
                           QString::number(index + 1));
        return;
    }
    const QString hex = bytesToHex(bytes);
    LogPortMessage(
        static_cast<qint16>(index),
        QStringLiteral("Data ") + hex + QStringLiteral(" on COM ") + QString::number(index + 1));
    if (!isRadioIdentityHex(hex))
        return;
    FoundPortIndex = static_cast<qint16>(index);
    cmdSetComPort->setText(QStringLiteral("Set to Com ") + QString::number(index + 1) +
                           QStringLiteral(" and Exit"));
    cmdSetComPort->setEnabled(true);
}

void ComPortDiag::cmdSetComPort_Click() {
    ctx_.state.link.PortNumber = static_cast<qint16>(FoundPortIndex + 1);
    ctx_.config().set(ConfigKeys::kSection, ConfigKeys::kCommPort,
                      QString::number(ctx_.state.link.PortNumber));
    cmdClose_Click();
}

void ComPortDiag::cmdClose_Click() {
    reject();
}

void ComPortDiag::done(int result) {
    Form_Unload();
    QDialog::done(result);
}

void ComPortDiag::Form_Unload() {
    for (qint16 port = 1; port <= kPortCount; ++port)
        ClosePort(port);
    unloaded_ = true;
}
