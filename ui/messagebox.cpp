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
    else if (buttons == MsgButtons::YesNoCancel)
        qtButtons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    else if (buttons == MsgButtons::SaveDiscardCancel)
        qtButtons = QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel;
    QMessageBox box(qtIcon, QStringLiteral("Quorlink"), text, qtButtons,
                    QApplication::activeWindow());
    box.setDefaultButton(buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel
                             ? QMessageBox::Yes
                         : buttons == MsgButtons::SaveDiscardCancel ? QMessageBox::Save
                                                                    : QMessageBox::Ok);
    const QStringList captions = std::exchange(captions_, {});
    if (captions.size() == 1)
        box.button(QMessageBox::Ok)->setText(captions[0]);
    if (captions.size() == 2) {
        box.button(QMessageBox::Yes)->setText(captions[0]);
        box.button(QMessageBox::No)->setText(captions[1]);
    }
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

MsgAnswer QtMessageBoxes::confirm(const QString& text, const QStringList& captions, MsgIcon icon) {
    captions_ = captions;
    return show(text, captions.size() > 1 ? MsgButtons::YesNoCancel : MsgButtons::OkCancel, icon);
}
