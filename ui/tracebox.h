#pragma once

#include <QPlainTextEdit>
#include <QStringList>

// A trace box: a read-only multi-line text box to which whole lines are appended, each
// ending in CR LF, scrolled so that the newest line shows. When the text already exceeds
// the writer's limit before a line is added, the whole log is discarded first.
//
// The logical length is kept alongside the widget, so appending a line costs the same
// with an empty box as with a full one: the box is never re-read or re-laid out whole.
class TraceBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TraceBox(QWidget* parent = nullptr);

    void appendLine(const QString& text, qsizetype limit);
    void clearLog();

    // The log as one string, lines ended by CR LF, exactly as the writers built it.
    QString logText() const;
    qsizetype logLength() const { return length_; }
    QStringList lines() const;

private:
    qsizetype length_ = 0;
};
