#include "memory/channelorder.h"

#include <QSet>
#include <algorithm>

#include "memory/bankedit.h"
#include "memory/channeledit.h"

namespace {

using namespace ChannelLayout;

bool HoldsChannels(const QByteArray& image) {
    return image.size() > kChannelsOffset + kChannelCount * kChannelSize;
}

QString CheckChannel(const QByteArray& image, int number) {
    if (number < 1 || number > kChannelCount)
        return QStringLiteral("Channel %1 is outside 1–%2").arg(number).arg(kChannelCount);
    if (!HoldsChannels(image))
        return QStringLiteral("The image is too short to hold the channels");
    return {};
}

// The channel numbers, ascending, each once.
QList<int> Sorted(QList<int> numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// The identity order: slot n holds channel n.
QList<int> Unmoved() {
    QList<int> order(kChannelCount);
    for (int n = 1; n <= kChannelCount; ++n)
        order[n - 1] = n;
    return order;
}

// Puts channel order[n - 1] of the image as it was into slot n, for every slot whose
// channel changes, and renumbers the banks' members to follow.
void Rearrange(QByteArray& image, const QList<int>& order) {
    const QByteArray was = image;
    QList<int> newNumber(kChannelCount);
    for (int slot = 1; slot <= kChannelCount; ++slot) {
        const int from = order[slot - 1];
        newNumber[from - 1] = slot;
        if (from == slot)
            continue;
        image[kFlagsOffset + slot - 1] = was[kFlagsOffset + from - 1];
        image.replace(kChannelsOffset + (slot - 1) * kChannelSize, kChannelSize,
                      was.constData() + kChannelsOffset + (from - 1) * kChannelSize, kChannelSize);
    }
    RenumberBankMembers(image, newNumber);
}

// The first empty channel from `from` on, or 0.
int NextEmpty(const QByteArray& image, int from) {
    for (int n = from; n <= kChannelCount; ++n)
        if (!ChannelInUse(image, n))
            return n;
    return 0;
}

// How `a` compares with `b` by `field`, both in use: below 0, 0 or above 0.
int CompareBy(const Channel& a, const Channel& b, ChannelField field) {
    const ChannelFieldRow& row = ChannelRow(field);
    if (row.hertz)
        return a.*row.hertz < b.*row.hertz ? -1 : a.*row.hertz > b.*row.hertz;
    if (row.index)  // the list fields, as their lists are ordered
        return a.*row.index - b.*row.index;
    return row.parse == FieldParse::Name ? a.name.compare(b.name, Qt::CaseInsensitive) : 0;
}

}  // namespace

QString MoveChannels(QByteArray& image, const QList<int>& numbers, int delta,
                     const QList<int>& kept, QList<int>* movedTo) {
    const QList<int> selected = Sorted(numbers);
    for (int number : selected) {
        const QString refusal = CheckChannel(image, number);
        if (!refusal.isEmpty())
            return refusal;
    }
    if (delta != -1 && delta != 1)
        return QStringLiteral("Channels move one place up or down, not %1").arg(delta);
    if (selected.isEmpty())
        return {};
    // The places the selection moves among, and where in them each selected channel is.
    const QSet<int> fixed(kept.begin(), kept.end());
    QList<int> places;
    QList<qsizetype> at;
    for (int n = 1; n <= kChannelCount; ++n) {
        const bool chosen = std::binary_search(selected.begin(), selected.end(), n);
        if (chosen)
            at << places.size();
        if (chosen || !fixed.contains(n))
            places << n;
    }
    if (delta < 0 ? at.first() == 0 : at.last() == places.size() - 1) {
        const int edge = delta < 0 ? selected.first() : selected.last();
        return QStringLiteral("Channel %1 is the %2 channel%3: the selection cannot move %4")
            .arg(edge)
            .arg(delta < 0 ? QStringLiteral("first") : QStringLiteral("last"))
            .arg(edge == 1 || edge == kChannelCount ? QString() : QStringLiteral(" shown"))
            .arg(delta < 0 ? QStringLiteral("up") : QStringLiteral("down"));
    }
    // Each run of selected channels moves one place; the channel it passes over takes the
    // place at the run's other end.
    QList<int> order = Unmoved();
    if (movedTo)
        movedTo->clear();
    for (qsizetype i = 0; i < at.size();) {
        qsizetype j = i;
        while (j + 1 < at.size() && at[j + 1] == at[j] + 1)
            ++j;
        for (qsizetype k = i; k <= j; ++k) {
            order[places[at[k] + delta] - 1] = places[at[k]];
            if (movedTo)
                *movedTo << places[at[k] + delta];
        }
        const int passed = places[delta < 0 ? at[i] - 1 : at[j] + 1];
        order[places[delta < 0 ? at[j] : at[i]] - 1] = passed;
        i = j + 1;
    }
    Rearrange(image, order);
    return {};
}

QString InsertChannel(QByteArray& image, int number) {
    const QString refusal = CheckChannel(image, number);
    if (!refusal.isEmpty())
        return refusal;
    const int empty = NextEmpty(image, number);
    if (empty == 0)
        return QStringLiteral(
                   "No channel from %1 to %2 is empty: the channels below cannot "
                   "shift down")
            .arg(number)
            .arg(kChannelCount);
    if (empty == number)
        return {};
    // An empty channel left in a bank (cleared by another program) leaves it now.
    RemoveFromBanks(image, empty);
    QList<int> order = Unmoved();
    order[number - 1] = empty;
    for (int n = number + 1; n <= empty; ++n)
        order[n - 1] = n - 1;
    Rearrange(image, order);
    return {};
}

QString DeleteChannel(QByteArray& image, int number) {
    const QString refusal = CheckChannel(image, number);
    if (!refusal.isEmpty())
        return refusal;
    int end = number < kChannelCount ? NextEmpty(image, number + 1) : 0;
    end = end == 0 ? kChannelCount : end - 1;  // the slot left empty
    ClearChannel(image, number);
    QList<int> order = Unmoved();
    for (int n = number; n < end; ++n)
        order[n - 1] = n + 1;
    order[end - 1] = number;
    Rearrange(image, order);
    return {};
}

QString SortChannels(QByteArray& image, const QList<int>& numbers, ChannelField field,
                     Qt::SortOrder sortOrder) {
    const QList<int> places = Sorted(numbers);
    for (int number : places) {
        const QString refusal = CheckChannel(image, number);
        if (!refusal.isEmpty())
            return refusal;
    }
    const QList<Channel> channels = DecodeChannels(image);
    QList<int> sorted = places;
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        const Channel& x = channels[a - 1];
        const Channel& y = channels[b - 1];
        if (x.empty || y.empty)
            return !x.empty && y.empty;
        const int c = CompareBy(x, y, field);
        return sortOrder == Qt::AscendingOrder ? c < 0 : c > 0;
    });
    QList<int> order = Unmoved();
    for (qsizetype i = 0; i < places.size(); ++i)
        order[places[i] - 1] = sorted[i];
    if (order != Unmoved())
        Rearrange(image, order);
    return {};
}

QString SetFieldOnChannels(QByteArray& image, const QList<int>& numbers, ChannelField field,
                           const QString& text) {
    if (field == ChannelField::Number)
        return QStringLiteral("The channel number cannot be set on many channels");
    const QList<Channel> channels = DecodeChannels(image);
    QList<Channel> changed;
    for (int number : numbers) {
        QString refusal = CheckChannel(image, number);
        if (!refusal.isEmpty())
            return refusal;
        Channel ch = channels[number - 1];
        refusal = SetChannelField(ch, field, text);
        if (refusal.isEmpty())
            refusal = ValidateChannel(ch);
        if (!refusal.isEmpty())
            return QStringLiteral("Channel %1: %2").arg(number).arg(refusal);
        changed << ch;
    }
    for (const Channel& ch : changed)
        StoreChannel(image, ch);
    return {};
}

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
