#pragma once

#include <QPlainTextEdit>
#include <QStringList>

class DisplayPacer;

// A trace box: a read-only multi-line text box to which whole lines are appended, each
// ending in CR LF, scrolled so that the newest line shows. When the text already exceeds
// the writer's limit before a line is added, the whole log is discarded first.
//
// The logical length is kept alongside the widget, so appending a line costs the same
// with an empty box as with a full one: the box is never re-read or re-laid out whole.
// Lines reach the widget at an event pump, together, at most ten times a second: a
// transfer's waits pump, so the box's work happens inside its pauses instead of between
// them and the paced steps, and a fast transfer does not redraw the box for every line.
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
    // Hands the lines not yet shown to the widget.
    void flush() const;

    qsizetype length_ = 0;
    mutable QString pending_;
    DisplayPacer* pacer_;
};
