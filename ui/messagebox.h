#pragma once

#include "core/messagebox.h"

// The message boxes as dialogs, modal over the active window.
class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override;
    MsgAnswer confirm(const QString& text, const QStringList& captions, MsgIcon icon) override;

private:
    QStringList captions_;  // the captions of the box being shown, if any
};
