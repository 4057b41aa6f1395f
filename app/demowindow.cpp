#include "app/demowindow.h"

#include <QPushButton>

#include "app/comports.h"
#include "app/form1.h"
#include "sim/demo.h"
#include "transfer/appcontext.h"
#include "ui/frmmessages.h"

QString startWindowDemo(AppContext& ctx, Form1& window, QtPortFactory& ports,
                        MemoryMap::Model model) {
    if (DemoRadio* running = runningDemoRadio(ctx)) {
        running->becomeModel(model);
        ctx.state.link.PortNumber = static_cast<qint16>(running->com);
        MarkSelectedPort(ctx, window.portMenu());
        ctx.LogMessage(QStringLiteral("Demo: the simulated radio is now a ") +
                       MemoryMap::ModelName(model));
        return QString();
    }
    DemoRadio* demo = nullptr;
    const QString error = startDemoRadio(ctx, ports, &demo, model);
    if (!error.isEmpty())
        return error;
    FillComPorts(ctx, window.portMenu());
    MarkSelectedPort(ctx, window.portMenu());
    QObject::connect(&window.frmMessages(), &FrmMessages::lookingForRigShown, demo,
                     [demo] { demo->pressBandSoon(); });
    QObject::connect(window.cmdRead, &QPushButton::pressed, demo, [demo] { demo->powerCycle(); });
    QObject::connect(window.cmdWriteRig, &QPushButton::pressed, demo,
                     [demo] { demo->powerCycle(); });
    return QString();
}
