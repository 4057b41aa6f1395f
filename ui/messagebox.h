#pragma once

#include "core/messagebox.h"

// The message boxes as dialogs, modal over the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override;
    MsgAnswer confirm(const QString& text, const QString& okCaption, MsgIcon icon) override;

private:
    QString okCaption_;  // the OK button's caption for the box being shown, if any
};
