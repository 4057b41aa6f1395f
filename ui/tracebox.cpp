#include "ui/tracebox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

TraceBox::TraceBox(QWidget* parent) : QPlainTextEdit(parent) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
}

void TraceBox::appendLine(const QString& text, qsizetype limit) {
    if (length_ > limit)
        clearLog();
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text + QLatin1Char('\n'));
    length_ += text.size() + 2;
    // Show the newest line.
    moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TraceBox::clearLog() {
    QPlainTextEdit::clear();
    length_ = 0;
}

QString TraceBox::logText() const {
    if (length_ == 0)
        return QString();
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

QStringList TraceBox::lines() const {
    QStringList result;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        result << b.text();
    // The last block is the empty one after the final line break.
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}
