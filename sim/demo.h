#pragma once

#include <QString>

class AppContext;
class QtPortFactory;

// The demo radio: a simulated VX-8 on a pseudo-terminal, mapped to a COM number and
// selected for this run only. Returns an error text, empty on success.
QString startDemoRadio(AppContext& ctx, QtPortFactory& ports);

// True when no link has been chosen yet (no stored port setting), or when the chosen link
// has no cable behind it: for the FTDI device (PortNumber
// 999) no device is listed or the D2XX library is missing; for a COM port its device is
// not there.
bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports);
