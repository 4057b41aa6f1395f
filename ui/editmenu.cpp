#include "ui/editmenu.h"

#include <QUndoStack>

#include "edit/imageedits.h"

UndoRedo AddUndoRedo(QObject* owner, QMenu* menu, ImageEdits& edits, bool& redoing) {
    UndoRedo actions;
    actions.undo =
        AddEntry(owner, menu, QStringLiteral("&Undo"), "mnuUndo", {QKeySequence::Undo}, [&edits] {
            if (edits.editable())
                edits.stack().undo();
        });
    actions.redo = AddEntry(
        owner, menu, QStringLiteral("&Redo"), "mnuRedo",
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))},
        [&edits, &redoing] {
            if (edits.editable()) {
                redoing = true;
                edits.stack().redo();
                redoing = false;
            }
        });
    return actions;
}

void UpdateUndoRedo(const UndoRedo& actions, const ImageEdits& edits) {
    const QUndoStack& stack = edits.stack();
    const bool editable = edits.editable();
    actions.undo->setEnabled(editable && stack.canUndo());
    actions.undo->setText(stack.canUndo() ? QStringLiteral("&Undo ") + stack.undoText()
                                          : QStringLiteral("&Undo"));
    actions.redo->setEnabled(editable && stack.canRedo());
    actions.redo->setText(stack.canRedo() ? QStringLiteral("&Redo ") + stack.redoText()
                                          : QStringLiteral("&Redo"));
}
