#pragma once

#include <QObject>
#include <QString>
#include <optional>

#include "sim/simradio.h"

class AppContext;
class PtyRadio;
class QtPortFactory;
class ConfigStore;

// The demo radio: a simulated VX-8 on a pseudo-terminal, mapped to a free COM number and
// selected for this run only. A front wires it to what the user does: it presses [BAND]
// when the prompt asks, and is switched on afresh in clone mode at the start of every
// transfer, as the instructions tell a person to do.
class DemoRadio : public QObject {
public:
    explicit DemoRadio(MemoryMap::Model model = MemoryMap::Model::VX8R);
    // The terminal goes before the radio it serves.
    ~DemoRadio() override;

    void pressBandSoon();
    void powerCycle() { radio.powerCycle(); }
    // Another radio of `model` on the same cable, as its owner would hand it over: its own
    // memory, whatever the one before was sent.
    void becomeModel(MemoryMap::Model model);
    MemoryMap::Model model() const { return model_; }

    SimRadio radio;
    PtyRadio* pty;
    int com = 0;

private:
    MemoryMap::Model model_;
};

// Starts the demo radio (owned by ctx from then on) as a radio of `model`. Returns an error
// text, empty on success; *started then points to the radio.
QString startDemoRadio(AppContext& ctx, QtPortFactory& ports, DemoRadio** started = nullptr,
                       MemoryMap::Model model = MemoryMap::Model::VX8R);
// The demo radio ctx holds; none before one is started.
DemoRadio* runningDemoRadio(AppContext& ctx);

// The model a name gives ("VX-8DR", "vx8dr"; a sibling's name, such as VX-8DE, gives its
// model); none for any other text.
std::optional<MemoryMap::Model> DemoModelNamed(const QString& name);
// The models the simulated radio can be, as a sentence lists them, each after `prefix`:
// "VX-8R, VX-8DR or VX-8GE".
QString DemoModelChoices(const QString& prefix = QString());
// The model last chosen for the simulated radio (section "Demo", key "Model"), a VX-8R
// before any.
MemoryMap::Model storedDemoModel(const ConfigStore& store);
void storeDemoModel(ConfigStore& store, MemoryMap::Model model);

// True when no link has been chosen yet (no stored port setting), or when the chosen link
// has no cable behind it: for the FTDI device (PortNumber
// 999) no device is listed or the D2XX library is missing; for a COM port its device is
// not there.
bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports);
