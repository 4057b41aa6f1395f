#pragma once

#include <QString>

class QWidget;

enum class MsgButtons { Ok, OkCancel };
enum class MsgIcon { None, Question, Exclamation, Stop, Information };
enum class MsgAnswer { Ok, Cancel };

// Every message box of the system goes through this seam. Boxes carry no title of their
// own: they show the application's name.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) = 0;
};

class QtMessageBoxes : public MessageBoxes {
public:
    MsgAnswer show(const QString& text, MsgButtons buttons, MsgIcon icon) override;
};
