#pragma once

#include <QByteArray>
#include <QList>

// The bytes one change altered, as ranges before and after: what an undo step keeps. Take
// a copy of the image, make the change, then ImageChange::between(copy, image).
struct ImageChange {
    struct Range {
        qsizetype offset = 0;
        QByteArray before, after;
    };
    QList<Range> ranges;

    static ImageChange between(const QByteArray& before, const QByteArray& after);
    bool isEmpty() const { return ranges.isEmpty(); }
    void undo(QByteArray& image) const;
    void redo(QByteArray& image) const;
};
