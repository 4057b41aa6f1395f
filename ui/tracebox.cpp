#include "ui/tracebox.h"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

#include "ui/displaypacer.h"

TraceBox::TraceBox(QWidget* parent)
    : QPlainTextEdit(parent), pacer_(new DisplayPacer([this] { flush(); }, this)) {
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setUndoRedoEnabled(false);
}

void TraceBox::appendLine(const QString& text, qsizetype limit) {
    if (length_ > limit)
        clearLog();
    pending_ += text + QLatin1Char('\n');
    length_ += text.size() + 2;
    pacer_->changed();
}

void TraceBox::flush() const {
    if (pending_.isEmpty())
        return;
    auto* self = const_cast<TraceBox*>(this);
    QTextCursor cursor(self->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(pending_);
    pending_.clear();
    // Show the newest line.
    self->moveCursor(QTextCursor::End);
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void TraceBox::clearLog() {
    pending_.clear();
    QPlainTextEdit::clear();
    length_ = 0;
}

QString TraceBox::logText() const {
    if (length_ == 0)
        return QString();
    flush();
    QString text = toPlainText();
    text.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return text;
}

QStringList TraceBox::lines() const {
    flush();
    QStringList result;
    for (QTextBlock b = document()->begin(); b.isValid(); b = b.next())
        result << b.text();
    // The last block is the empty one after the final line break.
    if (!result.isEmpty() && result.last().isEmpty())
        result.removeLast();
    return result;
}
