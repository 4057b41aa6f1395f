#pragma once

#include <QtGlobal>

class AppContext;

// The COM Port submenu: shows the ports present, marks the chosen link, and switches it.
void FillComPorts(AppContext& ctx);
void MarkSelectedPort(AppContext& ctx);
// With no port ever chosen and exactly one USB serial adapter present, that adapter is the
// link for this run (nothing is stored), and a trace line says so.
void SelectSoleUsbAdapter(AppContext& ctx);
void mnuCOM_Click(AppContext& ctx, qint16 index);
void mnuComPortIdentifier_Click(AppContext& ctx);
void mnuFTDI_Click(AppContext& ctx);
