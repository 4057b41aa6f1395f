#include "clone/transfer.h"

#include "clone/appcontext.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "core/serialcontrol.h"
#include "link/link.h"

QString ConnectionLostText() {
    return QStringLiteral("The connection to the radio was lost.") + QStringLiteral("\r\n") +
           QStringLiteral("Check the programming cable and try again.");
}

bool LinkGone(AppContext& ctx) {
    LinkState& link = ctx.state.link;
    if (link.LinkLost)
        return true;
    if (!ctx.link().isFtdi()) {
        // The transfers only ask while their port should be open: a port that has closed
        // by itself went away with its device.
        SerialControl& port = ctx.link().MSComm1();
        if (port.LinkLost() || !port.PortOpen()) {
            link.LinkLost = true;
            return true;
        }
    }
    return false;
}

void ShowConnectionLost(AppContext& ctx) {
    ctx.ShowMessage(ConnectionLostText(), MsgButtons::Ok, MsgIcon::Stop);
}

void ShowErrorReport(AppContext& ctx, const RunError& error, int line, const QString& procedure) {
    // Built by concatenation: a description may itself contain a '%'.
    ctx.ShowMessage(QStringLiteral("Error ") + QString::number(error.number()) +
                        QStringLiteral(" (") + error.description() + QStringLiteral(") in line ") +
                        QString::number(line) + QStringLiteral(" of procedure ") + procedure +
                        QStringLiteral(" of Form Form1"),
                    MsgButtons::Ok, MsgIcon::None);
}
