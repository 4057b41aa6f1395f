#include "edit/channeledits.h"

#include <QFileInfo>
#include <QSet>
#include <QUndoStack>
#include <algorithm>

#include "memory/bankedit.h"
#include "memory/channelcsv.h"
#include "memory/channeledit.h"

namespace {

using namespace ChannelLayout;

// One step: every byte range of the image it altered, before and after, with the channels
// whose rows show a change and whether a bank changed.
class ImageStep : public QUndoCommand {
public:
    ImageStep(ChannelEdits& edits, const QString& caption, ImageChange change, QList<int> numbers,
              bool banks)
        : QUndoCommand(caption),
          edits_(edits),
          change_(std::move(change)),
          numbers_(std::move(numbers)),
          banks_(banks) {}
    void redo() override { edits_.put(change_, true, numbers_, banks_); }
    void undo() override { edits_.put(change_, false, numbers_, banks_); }

private:
    ChannelEdits& edits_;
    ImageChange change_;
    QList<int> numbers_;
    bool banks_;
};

bool Overlaps(const ImageChange::Range& range, qsizetype from, qsizetype size) {
    return range.offset < from + size && from < range.offset + range.before.size();
}

// The channels a change shows on: those whose flag byte or record it touched, and those
// that joined or left a bank. `banks` says whether a bank's bytes changed.
QList<int> TouchedChannels(const QByteArray& before, const QByteArray& after,
                           const ImageChange& change, bool* banks) {
    QSet<int> numbers;
    *banks = false;
    for (const ImageChange::Range& range : change.ranges) {
        const qsizetype end = range.offset + range.before.size();
        // Channel n's flag byte and record: the numbers whose bytes the range covers.
        auto cover = [&](qsizetype from, qsizetype size) {
            const qsizetype first = std::max<qsizetype>(range.offset, from);
            const qsizetype last = std::min<qsizetype>(end, from + size * kSlotCount) - 1;
            for (qsizetype at = first; at <= last; at += size)
                numbers.insert(int((at - from) / size) + 1);
            if (first <= last)
                numbers.insert(int((last - from) / size) + 1);
        };
        cover(kFlagsOffset, 1);
        cover(kChannelsOffset, kChannelSize);
        *banks = *banks || Overlaps(range, kBankInUseOffset, 2 * kBankCount) ||
                 Overlaps(range, kBankNamesOffset, kBankNameSize * kBankCount) ||
                 Overlaps(range, kBankMembersOffset, kBankMembersSize * kBankCount);
    }
    if (*banks) {
        for (int b = 1; b <= kBankCount; ++b) {
            const QList<int> was = DecodeBank(before, b).members;
            const QList<int> now = DecodeBank(after, b).members;
            for (int n : was)
                if (!now.contains(n))
                    numbers.insert(n);
            for (int n : now)
                if (!was.contains(n))
                    numbers.insert(n);
        }
    }
    QList<int> sorted(numbers.begin(), numbers.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

}  // namespace

ChannelEdits::ChannelEdits(CloneState& clone, QObject* parent)
    : QObject(parent), clone_(clone), stack_(new QUndoStack(this)) {
    connect(stack_, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit unsavedChanged(!clean); });
    remember();
}

ChannelEdits::~ChannelEdits() {
    // The stack's last signals would reach windows that still hold this half-gone object.
    stack_->blockSignals(true);
}

QByteArray ChannelEdits::image() const {
    return clone_.image.bytes();
}

bool ChannelEdits::hasImage() const {
    return clone_.image.isValid();
}

Channel ChannelEdits::channel(int number) const {
    return DecodeChannelAt(image(), number);
}

void ChannelEdits::setEditable(bool editable) {
    if (editable_ == editable)
        return;
    editable_ = editable;
    emit editableChanged(editable);
}

QString ChannelEdits::refusedNow() const {
    if (!clone_.image.isValid())
        return QStringLiteral("There is no image: read the radio or open a file.");
    if (!editable_)
        return QStringLiteral("The channels cannot change while a transfer runs.");
    return {};
}

QString ChannelEdits::setField(int number, ChannelField field, const QString& text) {
    if (const QString refusal = refusedNow(); !refusal.isEmpty())
        return refusal;
    Channel ch = channel(number);
    if (const QString refusal = SetChannelField(ch, field, text); !refusal.isEmpty())
        return QStringLiteral("Channel %1: %2").arg(number).arg(refusal);
    return store(QStringLiteral("Channel %1: %2").arg(number).arg(ChannelFieldName(field)), {ch});
}

QString ChannelEdits::setFieldOn(const QList<int>& numbers, ChannelField field,
                                 const QString& text) {
    if (numbers.size() == 1)
        return setField(numbers.first(), field, text);
    if (const QString refusal = maskedRefusal(numbers); !refusal.isEmpty())
        return refusal;
    const QString caption =
        QStringLiteral("Set %1 on %2 channels").arg(ChannelFieldName(field)).arg(numbers.size());
    return apply(caption, [&](QByteArray& image) {
        return SetFieldOnChannels(image, numbers, field, text);
    });
}

QString ChannelEdits::setBanks(const QList<int>& numbers, const QList<int>& banks) {
    const QString caption = numbers.size() == 1
                                ? QStringLiteral("Channel %1: Banks").arg(numbers.first())
                                : QStringLiteral("Set Banks on %1 channels").arg(numbers.size());
    return apply(caption, [&](QByteArray& image) {
        for (int n : numbers) {
            if (numbers.size() > 1 && DecodeChannelAt(image, n).empty)
                continue;
            if (const QString refusal = SetChannelBanks(image, n, banks); !refusal.isEmpty())
                return QStringLiteral("Channel %1: %2").arg(n).arg(refusal);
        }
        return QString();
    });
}

QString ChannelEdits::changeBanks(const QList<int>& numbers, const QList<int>& join,
                                  const QList<int>& leave) {
    const QString caption = numbers.size() == 1
                                ? QStringLiteral("Channel %1: Banks").arg(numbers.first())
                                : QStringLiteral("Set Banks on %1 channels").arg(numbers.size());
    return apply(caption, [&](QByteArray& image) {
        QList<int> inUse;
        for (int n : numbers)  // a masked channel joins no bank, as an empty one
            if (const Channel ch = DecodeChannelAt(image, n); !ch.empty && !ch.masked)
                inUse << n;
        // One write per bank: each bank gains or loses the channels at once.
        for (int b = 1; b <= kBankCount; ++b) {
            if (!join.contains(b) && !leave.contains(b))
                continue;
            Bank bank = DecodeBank(image, b);
            for (int n : inUse) {
                bank.members.removeAll(n);
                if (join.contains(b))
                    bank.members << n;
            }
            if (const QString refusal = StoreBank(image, bank, false); !refusal.isEmpty())
                return numbers.size() == 1
                           ? QStringLiteral("Channel %1: %2").arg(numbers.first()).arg(refusal)
                           : refusal;
        }
        UpdateFinalChecksum(image);
        return QString();
    });
}

QString ChannelEdits::maskedRefusal(const QList<int>& numbers) const {
    QList<int> masked;
    const QByteArray bytes = image();
    for (int n : numbers)
        if (DecodeChannelAt(bytes, n).masked)
            masked << n;
    if (masked.isEmpty() || !askMasked_ || askMasked_(masked))
        return {};
    return QStringLiteral("Nothing stored: the masked entries keep their data.");
}

QString ChannelEdits::store(const QString& caption, const QList<Channel>& channels,
                            const QList<QList<int>>& banks) {
    QList<int> stored;
    for (const Channel& ch : channels)
        if (!ch.empty)
            stored << ch.number;
    if (const QString refusal = maskedRefusal(stored); !refusal.isEmpty())
        return refusal;
    return apply(caption, [&](QByteArray& image) {
        for (qsizetype i = 0; i < channels.size(); ++i) {
            const Channel& ch = channels[i];
            QString refusal = StoreChannel(image, ch, false);
            if (refusal.isEmpty() && i < banks.size() && !ch.empty)
                refusal = SetChannelBanks(image, ch.number, banks[i]);
            if (!refusal.isEmpty())
                return QStringLiteral("Channel %1: %2").arg(ch.number).arg(refusal);
        }
        UpdateFinalChecksum(image);
        return QString();
    });
}

int ChannelEdits::importCsv(const QString& caption, const CsvImport& import) {
    QList<int> stored;
    for (const Channel& ch : import.channels)
        stored << ch.number;
    if (!maskedRefusal(stored).isEmpty())
        return -1;
    int cleared = 0;
    apply(caption, [&](QByteArray& image) {
        cleared = ApplyChannelsCsv(image, import, false, shownList_);
        return QString();
    });
    return cleared;
}

QString ChannelEdits::unmask(const QList<int>& numbers) {
    int done = 0;
    const QString refusal =
        apply(QStringLiteral("Unmask ") + (numbers.size() == 1
                                               ? EntryName(numbers.first())
                                               : QStringLiteral("%1 entries").arg(numbers.size())),
              [&](QByteArray& image) {
                  for (int n : numbers)
                      done += UnmaskChannel(image, n) ? 1 : 0;
                  UpdateFinalChecksum(image);
                  return QString();
              });
    if (!refusal.isEmpty())
        return refusal;
    return done ? QString() : QStringLiteral("Nothing to unmask: select masked entries.");
}

QString ChannelEdits::apply(const QString& caption,
                            const std::function<QString(QByteArray&)>& change) {
    if (const QString refusal = refusedNow(); !refusal.isEmpty())
        return refusal;
    const QByteArray before = image();
    QByteArray after = before;
    if (const QString refusal = change(after); !refusal.isEmpty())
        return refusal;
    pushChanges(caption, before, after);
    return {};
}

void ChannelEdits::pushChanges(const QString& caption, const QByteArray& before,
                               const QByteArray& after) {
    ImageChange change = ImageChange::between(before, after);
    if (change.isEmpty())
        return;
    bool banks = false;
    QList<int> numbers = TouchedChannels(before, after, change, &banks);
    stack_->push(new ImageStep(*this, caption, std::move(change), std::move(numbers), banks));
}

void ChannelEdits::put(const ImageChange& change, bool forward, const QList<int>& numbers,
                       bool banks) {
    QByteArray file = image();
    if (file.isEmpty())
        return;
    if (forward)
        change.redo(file);
    else
        change.undo(file);
    clone_.image = clone_.image.edited(std::move(file));  // the checksum moves with the data
    remember();
    emit channelsChanged(numbers);
    if (banks)
        emit banksChanged();
}

QString ChannelEdits::imageName() const {
    if (!clone_.image.isValid())
        return {};
    if (!clone_.ImagePath.isEmpty())
        return QFileInfo(clone_.ImagePath).fileName();
    if (clone_.ReadAt.isValid())
        return QStringLiteral("read from radio ") + clone_.ReadAt.toString(QStringLiteral("HH:mm"));
    return QStringLiteral("untitled");
}

bool ChannelEdits::unsaved() const {
    return !stack_->isClean();
}

void ChannelEdits::markSaved() {
    stack_->setClean();
    remember();
    emit unsavedChanged(false);  // the name may have changed too
}

void ChannelEdits::imageReplaced() {
    if (clone_.image == known_ && clone_.ImagePath == knownPath_ && clone_.ReadAt == knownReadAt_)
        return;
    stack_->clear();
    ++generation_;
    remember();
}

void ChannelEdits::remember() {
    known_ = clone_.image;
    knownPath_ = clone_.ImagePath;
    knownReadAt_ = clone_.ReadAt;
}
