#pragma once

#include "core/messagebox.h"

// The message boxes as dialogs, modal over the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override;
};
