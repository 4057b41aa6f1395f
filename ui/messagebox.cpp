#include "ui/messagebox.h"

#include <QApplication>
#include <QMessageBox>

MsgAnswer QtMessageBoxes::show(const QString& text, MsgButtons buttons, MsgIcon icon) {
    QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
    switch (icon) {
        case MsgIcon::None:
            qtIcon = QMessageBox::NoIcon;
            break;
        case MsgIcon::Question:
            qtIcon = QMessageBox::Question;
            break;
        case MsgIcon::Exclamation:
            qtIcon = QMessageBox::Warning;
            break;
        case MsgIcon::Stop:
            qtIcon = QMessageBox::Critical;
            break;
        case MsgIcon::Information:
            qtIcon = QMessageBox::Information;
            break;
    }
    const auto qtButtons = buttons == MsgButtons::OkCancel
                               ? QMessageBox::Ok | QMessageBox::Cancel
                               : QMessageBox::StandardButtons(QMessageBox::Ok);
    QMessageBox box(qtIcon, QStringLiteral("Quorlink"), text, qtButtons,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Ok);
    return box.exec() == QMessageBox::Ok ? MsgAnswer::Ok : MsgAnswer::Cancel;
}
