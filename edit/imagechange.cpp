#include "edit/imagechange.h"

#include "image/memorymap.h"

ImageChange ImageChange::between(const QByteArray& before, const QByteArray& after) {
    ImageChange change;
    if (before.size() != after.size())
        change.ranges.append({0, before, after});
    else
        for (const MemoryMap::Range& r : MemoryMap::Differences(before, after))
            change.ranges.append(
                {r.first, before.mid(r.first, r.size), after.mid(r.first, r.size)});
    return change;
}

void ImageChange::undo(QByteArray& image) const {
    for (const Range& range : ranges) {
        if (range.offset == 0 && range.before.size() != range.after.size())
            image = range.before;
        else
            image.replace(range.offset, range.before.size(), range.before);
    }
}

void ImageChange::redo(QByteArray& image) const {
    for (const Range& range : ranges) {
        if (range.offset == 0 && range.before.size() != range.after.size())
            image = range.after;
        else
            image.replace(range.offset, range.after.size(), range.after);
    }
}
