#pragma once

#include <QDialog>
#include <QPointer>
#include <QtGlobal>
#include <array>
#include <functional>

class AppContext;
class QAction;
class QWidget;

// What the port menu works on, handed to it by the window it belongs to.
struct PortMenu {
    // The detectors' parent; a box about the ports waits until it is on the screen.
    QWidget& window;
    // COM1 to COM32, then the FTDI cable.
    std::array<QAction*, 33>& entries;
    // The COM port identifier, created hidden on first use and kept for the run: its 32
    // serial-port controls are also the menu's port probes.
    QPointer<QDialog>& identifier;
    // Shows a text once the window first appears (empty: none).
    std::function<void(const QString&)> noticeOnceShown;
};

// The COM Port submenu: shows the ports present, marks the chosen link, and switches it.
void FillComPorts(AppContext& ctx, PortMenu& menu);
void MarkSelectedPort(AppContext& ctx, PortMenu& menu);
// With no port ever chosen and exactly one USB serial adapter present, that adapter is the
// link for this run (nothing is stored), and a trace line says so.
void SelectSoleUsbAdapter(AppContext& ctx, PortMenu& menu);
void mnuCOM_Click(AppContext& ctx, PortMenu& menu, qint16 index);
void mnuComPortIdentifier_Click(AppContext& ctx, PortMenu& menu);
void mnuFTDI_Click(AppContext& ctx, PortMenu& menu);
