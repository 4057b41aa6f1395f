#include "memory/channelorder.h"

#include <QHash>
#include <QSet>
#include <algorithm>

#include "memory/bankedit.h"
#include "memory/channeledit.h"

namespace {

using namespace ChannelLayout;

namespace M = MemoryMap::Channels;

bool HoldsChannels(const QByteArray& image) {
    return image.size() > kChannelsOffset + kSlotCount * kChannelSize;
}

QString CheckChannel(const QByteArray& image, int number) {
    if (number < 1 || number > kSlotCount)
        return QStringLiteral("Channel %1 is outside 1–%2").arg(number).arg(kChannelCount);
    if (!HoldsChannels(image))
        return QStringLiteral("The image is too short to hold the channels");
    return {};
}

// An entry as a refusal names it: "Channel 12", "Skip 3", "PMS L2".
QString Entry(int slot) {
    if (M::ListOf(slot) == ChannelList::Channels)
        return QStringLiteral("Channel %1").arg(slot);
    QString name = EntryName(slot);
    name[0] = name[0].toUpper();
    return name;
}

// A slot that holds data, in use or masked: it moves with its neighbours, and no shift
// takes it for an empty one.
bool HoldsEntry(const QByteArray& image, int number) {
    return M::Holds(uchar(image[kFlagsOffset + number - 1]));
}

// The channel numbers, ascending, each once.
QList<int> Sorted(QList<int> numbers) {
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

// The identity order: slot n holds channel n.
QList<int> Unmoved() {
    QList<int> order(kSlotCount);
    for (int n = 1; n <= kSlotCount; ++n)
        order[n - 1] = n;
    return order;
}

// Puts channel order[n - 1] of the image as it was into slot n, for every slot whose
// channel changes, and renumbers the banks' members to follow.
void Rearrange(QByteArray& image, const QList<int>& order) {
    const QByteArray was = image;
    QList<int> newNumber(kSlotCount);
    for (int slot = 1; slot <= kSlotCount; ++slot) {
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

// The first empty slot from `from` to the end of its list, or 0.
int NextEmpty(const QByteArray& image, int from) {
    for (int n = from; n <= M::Span(M::ListOf(from)).last(); ++n)
        if (!HoldsEntry(image, n))
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
    const M::ListSpan span = M::Span(M::ListOf(selected.first()));
    if (!span.holds(selected.last()))
        return QStringLiteral("Entries of different lists cannot move together");
    // The places the selection moves among, and where in them each selected channel is.
    const QSet<int> fixed(kept.begin(), kept.end());
    QList<int> places;
    QList<qsizetype> at;
    for (int n = span.first; n <= span.last(); ++n) {
        const bool chosen = std::binary_search(selected.begin(), selected.end(), n);
        if (chosen)
            at << places.size();
        if (chosen || !fixed.contains(n))
            places << n;
    }
    if (delta < 0 ? at.first() == 0 : at.last() == places.size() - 1) {
        const int edge = delta < 0 ? selected.first() : selected.last();
        return QStringLiteral("%1 is the %2 %3%4: the selection cannot move %5")
            .arg(Entry(edge))
            .arg(delta < 0 ? QStringLiteral("first") : QStringLiteral("last"))
            .arg(span.first == 1 ? QStringLiteral("channel") : QStringLiteral("entry"))
            .arg(edge == span.first || edge == span.last() ? QString() : QStringLiteral(" shown"))
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
        return QStringLiteral("No %1 from %2 to %3 is empty: the %4 below cannot shift down")
            .arg(number <= kChannelCount ? QStringLiteral("channel") : QStringLiteral("entry"),
                 LocationLabel(number), LocationLabel(M::Span(M::ListOf(number)).last()),
                 number <= kChannelCount ? QStringLiteral("channels") : QStringLiteral("entries"));
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
    const int last = M::Span(M::ListOf(number)).last();
    int end = number < last ? NextEmpty(image, number + 1) : 0;
    end = end == 0 ? last : end - 1;  // the slot left empty
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
    if (!places.isEmpty() && !M::Span(M::ListOf(places.first())).holds(places.last()))
        return QStringLiteral("Entries of different lists cannot be sorted together");
    QHash<int, Channel> channels;
    for (int number : places)
        channels.insert(number, DecodeChannelAt(image, number));
    QList<int> sorted = places;
    std::stable_sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        const Channel& x = channels[a];
        const Channel& y = channels[b];
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
    QList<Channel> changed;
    for (int number : numbers) {
        QString refusal = CheckChannel(image, number);
        if (!refusal.isEmpty())
            return refusal;
        Channel ch = DecodeChannelAt(image, number);
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
