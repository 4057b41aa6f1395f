#include "app/comports.h"

#include <QAction>

#include "app/appcontext.h"
#include "app/form1.h"

// Placeholder until the port menu is built: every entry shows, the chosen one is checked.
void FillComPorts(AppContext&) {}

void MarkSelectedPort(AppContext& ctx) {
    Form1* form = ctx.form1();
    if (!form)
        return;
    for (QAction* entry : form->mnuCOM)
        entry->setChecked(false);
    const qint16 port = ctx.state.link.PortNumber;
    if (port == 999)
        form->mnuCOM[32]->setChecked(true);
    else if (port >= 1 && port <= 32)
        form->mnuCOM[port - 1]->setChecked(true);
}

void mnuCOM_Click(AppContext&, qint16) {}
void mnuComPortIdentifier_Click(AppContext&) {}
void mnuFTDI_Click(AppContext&) {}
