#pragma once

#include <QObject>
#include <QString>

#include "sim/simradio.h"

class AppContext;
class PtyRadio;
class QtPortFactory;

// The demo radio: a simulated VX-8 on a pseudo-terminal, mapped to a free COM number and
// selected for this run only. A front wires it to what the user does: it presses [BAND]
// when the prompt asks, and is switched on afresh in clone mode at the start of every
// transfer, as the instructions tell a person to do.
class DemoRadio : public QObject {
public:
    DemoRadio();
    // The terminal goes before the radio it serves.
    ~DemoRadio() override;

    void pressBandSoon();
    void powerCycle() { radio.powerCycle(); }

    SimRadio radio;
    PtyRadio* pty;
    int com = 0;
};

// Starts the demo radio (owned by ctx from then on). Returns an error text, empty on
// success; *started then points to the radio.
QString startDemoRadio(AppContext& ctx, QtPortFactory& ports, DemoRadio** started = nullptr);

// True when no link has been chosen yet (no stored port setting), or when the chosen link
// has no cable behind it: for the FTDI device (PortNumber
// 999) no device is listed or the D2XX library is missing; for a COM port its device is
// not there.
bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports);
