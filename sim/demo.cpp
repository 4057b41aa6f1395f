#include "sim/demo.h"

#include "app/settings.h"

#include <QPushButton>

#include "app/appcontext.h"
#include "app/comports.h"
#include "app/errors.h"
#include "app/form1.h"
#include "link/d2xx.h"
#include "link/qtserialcontrol.h"
#include "sim/ptyradio.h"
#include "sim/simradio.h"
#include "ui/frmmessages.h"

namespace {

constexpr qint16 kFtdiPort = 999;
constexpr int kHighestCom = 32;
// A person needs a moment to press [BAND] once the prompt asks for it.
constexpr int kBandPressMs = 800;

// The simulated radio and its terminal, kept for the rest of the run.
class DemoRadio : public QObject {
public:
    DemoRadio() : pty(new PtyRadio(radio, this)) {}
    // The terminal goes before the radio it serves.
    ~DemoRadio() override { delete pty; }

    SimRadio radio;
    PtyRadio* pty;
};

}  // namespace

QString startDemoRadio(AppContext& ctx, QtPortFactory& ports) {
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
    // For this run only: the stored choice of port stays as it was.
    ctx.state.link.PortNumber = static_cast<qint16>(com);
    FillComPorts(ctx);
    MarkSelectedPort(ctx);

    PtyRadio* pty = demo->pty;
    SimRadio* radio = &demo->radio;
    QObject::connect(&ctx.frmMessages(), &FrmMessages::lookingForRigShown, pty,
                     [pty] { pty->pressBand(kBandPressMs); });
    if (Form1* form = ctx.form1()) {
        // The demo user follows the instruction boxes, which start every transfer with the
        // radio switched on afresh in clone mode; a cancelled transfer leaves nothing behind.
        QObject::connect(form->cmdRead, &QPushButton::pressed, pty,
                         [radio] { radio->powerCycle(); });
        QObject::connect(form->cmdWriteRig, &QPushButton::pressed, pty,
                         [radio] { radio->powerCycle(); });
    }
    ctx.LogMessage(QStringLiteral("Demo: a simulated VX-8 is on COM") + QString::number(com) +
                   QStringLiteral(" (") + demo->pty->path() + QStringLiteral(")"));
    ctx.LogMessage(QStringLiteral("Demo: it presses [BAND] by itself when asked"));
    demo.release()->setParent(&ctx);
    return QString();
}

bool configuredCableMissing(AppContext& ctx, QtPortFactory& ports) {
    // Nothing chosen yet: a built-in serial port that happens to exist is no radio cable.
    if (!ctx.settings().contains(QStringLiteral("Settings"), QStringLiteral("CommPort")))
        return true;
    const qint16 port = ctx.state.link.PortNumber;
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
