#include "ui/messagebox.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <utility>

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
    QMessageBox::StandardButtons qtButtons = QMessageBox::Ok;
    if (buttons == MsgButtons::OkCancel)
        qtButtons = QMessageBox::Ok | QMessageBox::Cancel;
    else if (buttons == MsgButtons::YesNo)
        qtButtons = QMessageBox::Yes | QMessageBox::No;
    else if (buttons == MsgButtons::SaveDiscardCancel)
        qtButtons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    QMessageBox box(qtIcon, QStringLiteral("Quorlink"), text, qtButtons,
                    QApplication::activeWindow());
    box.setDefaultButton(buttons == MsgButtons::YesNo               ? QMessageBox::Yes
                         : buttons == MsgButtons::SaveDiscardCancel ? QMessageBox::Save
                                                                    : QMessageBox::Ok);
    if (!okCaption_.isEmpty())
        box.button(QMessageBox::Ok)->setText(std::exchange(okCaption_, QString()));
    switch (box.exec()) {
        case QMessageBox::Ok:
            return MsgAnswer::Ok;
        case QMessageBox::Yes:
            return MsgAnswer::Yes;
        case QMessageBox::No:
            return MsgAnswer::No;
        case QMessageBox::Save:
            return MsgAnswer::Save;
        case QMessageBox::Discard:
            return MsgAnswer::Discard;
        default:
            // Escape or the close box: the answer that changes nothing.
            return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
    }
}

MsgAnswer QtMessageBoxes::confirm(const QString& text, const QString& okCaption, MsgIcon icon) {
    okCaption_ = okCaption;
    return show(text, MsgButtons::OkCancel, icon);
}
