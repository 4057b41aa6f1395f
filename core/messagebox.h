#pragma once

#include <QString>
#include <QStringList>

enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
enum class MsgIcon { None, Question, Exclamation, Stop, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No, Save, Discard };

// Every message box of the system goes through this seam: the windows show a dialog, the
// terminal prints the text and answers for the user, the tests answer from a script.
// Boxes carry no title of their own: they show the application's name.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) = 0;
    // A box with a part that speaks of the windows (what to do in them), its line breaks
    // included: the windows show it after the text, a seam without windows leaves it out.
    virtual MsgAnswer showWithWindowPart(const QString& text, const QString& windowPart,
                                         MsgButtons buttons, MsgIcon icon) {
        return show(text + windowPart, buttons, icon);
    }
    // A box whose buttons say what they do, beside Cancel. One caption ("Import the 12 good
    // rows") answers Ok or Cancel; two ("Full list", "Pocket card") answer Yes for the first,
    // No for the second, or Cancel. A seam without captions shows OK or Yes and No.
    virtual MsgAnswer confirm(const QString& text, const QStringList& captions, MsgIcon icon) {
        return show(text, captions.size() > 1 ? MsgButtons::YesNoCancel : MsgButtons::OkCancel,
                    icon);
    }
};
