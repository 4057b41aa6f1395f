#include "sim/demo.h"

#include "core/d2xx.h"
#include "core/errors.h"
#include "core/settings.h"
#include "link/qtserialcontrol.h"
#include "sim/ptyradio.h"
#include "transfer/appcontext.h"

namespace {

constexpr int kHighestCom = 32;
// A person needs a moment to press [BAND] once the prompt asks for it.
constexpr int kBandPressMs = 800;

}  // namespace

DemoRadio::DemoRadio() : pty(new PtyRadio(radio, this)) {}

DemoRadio::~DemoRadio() {
    delete pty;
}

void DemoRadio::pressBandSoon() {
    pty->pressBand(kBandPressMs);
}

QString startDemoRadio(AppContext& ctx, QtPortFactory& ports, DemoRadio** started) {
    auto demo = std::make_unique<DemoRadio>();
    QString error;
    if (!demo->pty->open(&error))
        return QStringLiteral("cannot start the demo radio: ") + error;

    // A COM number with nothing behind it, from the top, so that real ports keep theirs.
    int com = 0;
    for (int n = kHighestCom; n >= 1 && com == 0; --n) {
        if (!ports.map().isPresent(n))
            com = n;
    }
    if (com == 0)
        return QStringLiteral(
            "every COM number from 1 to 32 has a device; none is free for "
            "the demo radio");
    ports.map().setSessionMapping(com, demo->pty->path());
    demo->com = com;
    // For this run only: the stored choice of port stays as it was.
    ctx.state.link.PortNumber = static_cast<qint16>(com);
    ctx.state.link.DemoPort = static_cast<qint16>(com);
    ctx.LogMessage(QStringLiteral("Demo: a simulated VX-8 is on COM") + QString::number(com) +
                   QStringLiteral(" (") + demo->pty->path() + QStringLiteral(")"));
    ctx.LogMessage(QStringLiteral("Demo: it presses [BAND] by itself when asked"));
    if (started)
        *started = demo.get();
    demo.release()->setParent(&ctx);
    return QString();
}

bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports) {
    const qint16 port = ctx.state.link.PortNumber;
    // Nothing chosen yet: a built-in serial port that happens to exist is no radio cable,
    // the one USB adapter chosen for this run likely is.
    if (!ctx.settings().contains(SettingKeys::kSection, SettingKeys::kCommPort))
        return !ports.isUsbSerial(port) || !ports.map().isPresent(port);
    if (port != kFtdiPort)
        return !ports.map().isPresent(port);
    try {
        quint32 devices = 0;
        if (ctx.d2xx().FT_ListDevices(&devices, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
            return true;
        return devices == 0;
    } catch (const RunError&) {
        return true;  // no D2XX library: no FTDI cable can be reached
    }
}
