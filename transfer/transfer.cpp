#include "transfer/transfer.h"

#include "core/errors.h"
#include "core/messagebox.h"
#include "transfer/appcontext.h"

QString JoinLines(const QStringList& lines) {
    return lines.join(QStringLiteral("\r\n"));
}

void ShowConnectionLost(AppContext& ctx) {
    ctx.ShowMessage(QStringLiteral("The connection to the radio was lost.\r\n"
                                   "Check the programming cable and try again."),
                    MsgButtons::Ok, MsgIcon::Stop);
}

QString ShowErrorReport(AppContext& ctx, const RunError& error, int line,
                        const QString& procedure) {
    // Built by concatenation: a description may itself contain a '%'.
    const QString text = QStringLiteral("Error ") + QString::number(error.number()) +
                         QStringLiteral(" (") + error.description() + QStringLiteral(") in line ") +
                         QString::number(line) + QStringLiteral(" of procedure ") + procedure +
                         QStringLiteral(" of Form Form1");
    ctx.ShowMessage(text, MsgButtons::Ok, MsgIcon::None);
    return text;
}
