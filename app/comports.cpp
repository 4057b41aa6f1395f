#include "app/comports.h"

#include <QAction>
#include <QMenu>

#include "core/config.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "core/serialcontrol.h"
#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "transfer/appcontext.h"

namespace {

constexpr int kFtdiEntry = 32;

// The COM port identifier, kept for the run: its serial-port controls are the menu's
// port probes. A dialog that was closed is loaded afresh, as a newly created one would be.
ComPortDiag& identifier(AppContext& ctx, PortMenu& menu) {
    auto* diag = qobject_cast<ComPortDiag*>(menu.identifier.data());
    if (!diag) {
        diag = new ComPortDiag(ctx, &menu.window);
        menu.identifier = diag;
    } else if (diag->unloaded()) {
        diag->Form_Load();
    }
    return *diag;
}

// The box for a machine without COM ports: its first line, then where a cable will appear
// and how to try the program without one.
QString noPortsText() {
    QString text = QStringLiteral("There are no COM ports available on this machine!");
#ifndef Q_OS_WIN
    text += QStringLiteral(
        "\r\n\r\n"
        "USB cables appear as COM9\u2013COM24 (/dev/ttyUSB0\u201315) or COM25\u2013COM32 "
        "(/dev/ttyACM0\u20137) once plugged in.\r\n"
        "Settings \u25B8 COM port Detector finds the cable.\r\n"
        "quorlink --demo tries the program with a simulated radio.");
#endif
    return text;
}

// A menu caption shows '&' as an access-key marker; a description is shown as it is.
QString menuCaption(const QString& text) {
    QString caption = text;
    return caption.replace(QLatin1Char('&'), QLatin1String("&&"));
}

}  // namespace

void FillComPorts(AppContext& ctx, PortMenu& menu) {
    qint16 count = 0;
    qint16 i = 0;
    try {
        ComPortDiag& probes = identifier(ctx, menu);
        for (i = 0; i <= 31; ++i) {
            QAction* entry = menu.entries[i];
            if (probes.MSComm1[i]->PortPresent(i) == 1) {
                const QString path = ctx.ports().devicePathFor(i + 1);
                entry->setText(QStringLiteral("COM") + QString::number(i + 1));
                entry->setStatusTip(path);
                entry->setToolTip(path);
                entry->setVisible(true);
                ++count;
            } else {
                entry->setVisible(false);
            }
        }
        const qint16 port = ctx.state.link.PortNumber;
        const bool noPorts = count == 0 && port != kFtdiPort;
        // Before the main window is on the screen a box would stand alone, with nothing to
        // say what it belongs to: the window shows it once it appears. A later look that
        // finds a port (the demo radio's) takes the message back.
        if (!menu.window.isVisible())
            menu.noticeOnceShown(noPorts ? noPortsText() : QString());
        else if (noPorts)
            ctx.ShowMessage(noPortsText(), MsgButtons::Ok, MsgIcon::None);
        if (port == kFtdiPort) {
            QAction* entry = menu.entries[kFtdiEntry];
            const QString description = ctx.state.link.FTDIDescription;
            entry->setText(menuCaption(description));
            entry->setStatusTip(QStringLiteral("FTDI device ") + description);
            entry->setToolTip(QStringLiteral("FTDI device ") + description);
            entry->setVisible(true);
            entry->setChecked(true);
        }
    } catch (const RunError& e) {
        ctx.ShowMessage(QStringLiteral("Error ") + QString::number(e.number()) +
                            QStringLiteral(" (") + e.description() +
                            QStringLiteral(") in procedure FillComPorts of Module CommPorts. I=") +
                            QString::number(i),
                        MsgButtons::Ok, MsgIcon::None);
    }
}

void SelectSoleUsbAdapter(AppContext& ctx, PortMenu& menu) {
    if (ctx.config().contains(ConfigKeys::kSection, ConfigKeys::kCommPort))
        return;
    ComPortDiag& probes = identifier(ctx, menu);
    qint16 found = 0;
    for (qint16 i = 0; i <= 31; ++i) {
        if (ctx.ports().isUsbSerial(i + 1) && probes.MSComm1[i]->PortPresent(i) == 1) {
            if (found != 0)
                return;  // more than one: the user chooses
            found = static_cast<qint16>(i + 1);
        }
    }
    if (found == 0)
        return;
    ctx.state.link.PortNumber = found;
    ctx.LogMessage(QStringLiteral("InitialiseVariables: no port chosen yet; COM") +
                   QString::number(found) + QStringLiteral(" (") +
                   ctx.ports().devicePathFor(found) +
                   QStringLiteral("), the only USB serial adapter, is used for this run"));
}

void MarkSelectedPort(AppContext& ctx, PortMenu& menu) {
    for (QAction* entry : menu.entries)
        entry->setChecked(false);
    const qint16 port = ctx.state.link.PortNumber;
    if (port == kFtdiPort)
        menu.entries[kFtdiEntry]->setChecked(true);
    else if (port >= 1 && port <= 32)
        menu.entries[port - 1]->setChecked(true);
}

void mnuCOM_Click(AppContext& ctx, PortMenu& menu, qint16 index) {
    if (index < 0 || index > kFtdiEntry)
        return;  // the menu has no such entry
    ctx.state.link.PortNumber = index == kFtdiEntry ? kFtdiPort : static_cast<qint16>(index + 1);
    ctx.config().set(ConfigKeys::kSection, ConfigKeys::kCommPort,
                     QString::number(ctx.state.link.PortNumber));
    MarkSelectedPort(ctx, menu);
}

void mnuComPortIdentifier_Click(AppContext& ctx, PortMenu& menu) {
    identifier(ctx, menu).exec();
    ctx.throwIfShuttingDown();
    MarkSelectedPort(ctx, menu);
    menu.window.repaint();
    FillComPorts(ctx, menu);
}

void mnuFTDI_Click(AppContext& ctx, PortMenu& menu) {
    {
        FTDIDiag detector(ctx, &menu.window);
        detector.exec();
    }
    ctx.throwIfShuttingDown();
    MarkSelectedPort(ctx, menu);
    menu.window.repaint();
    FillComPorts(ctx, menu);
}
