#pragma once

#include <QString>

enum class MsgButtons { Ok, OkCancel, YesNo, SaveDiscardCancel };
enum class MsgIcon { None, Question, Exclamation, Stop, Information };
enum class MsgAnswer { Ok, Cancel, Yes, No, Save, Discard };

// Every message box of the system goes through this seam: the windows show a dialog, the
// terminal prints the text and answers for the user, the tests answer from a script.
// Boxes carry no title of their own: they show the application's name.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) = 0;
    // A box whose OK button says what it does ("Import the 12 good rows"), beside Cancel:
    // answers Ok or Cancel. A seam without captions shows OK and Cancel.
    virtual MsgAnswer confirm(const QString& text, const QString& okCaption, MsgIcon icon) {
        (void)okCaption;
        return show(text, MsgButtons::OkCancel, icon);
    }
};
