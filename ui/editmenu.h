#pragma once

#include <QAction>
#include <QKeySequence>
#include <QList>
#include <QMenu>
#include <QString>

class ImageEdits;

// A menu entry with the object name the tests find it by and its shortcuts; `handler` runs
// when it is triggered, for as long as `owner` lives.
template <class Handler>
QAction* AddEntry(QObject* owner, QMenu* menu, const QString& caption, const char* name,
                  const QList<QKeySequence>& keys, Handler handler) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    QObject::connect(action, &QAction::triggered, owner, handler);
    return action;
}

// Undo and Redo of the one stack every window of the image shares (Ctrl+Z; Ctrl+Shift+Z or
// Ctrl+Y), which do nothing while a transfer runs. `redoing` is true while a redo runs, so
// that the window can say "Redone" rather than "Done".
struct UndoRedo {
    QAction* undo = nullptr;
    QAction* redo = nullptr;
};
UndoRedo AddUndoRedo(QObject* owner, QMenu* menu, ImageEdits& edits, bool& redoing);

// Their captions name the step they would take, and each is offered only when there is one.
void UpdateUndoRedo(const UndoRedo& actions, const ImageEdits& edits);
