#include "edit/imageedits.h"

#include <QFileInfo>
#include <QSet>
#include <QUndoStack>
#include <algorithm>

#include "image/memorymap.h"
#include "memory/bankedit.h"
#include "memory/channelcsv.h"
#include "memory/channeledit.h"

namespace {

using namespace ChannelLayout;

// One step: every byte range of the image it altered, before and after, and its notice.
class ImageStep : public QUndoCommand {
public:
    ImageStep(ImageEdits& edits, const QString& caption, ImageChange change, EditNotice notice)
        : QUndoCommand(caption),
          edits_(edits),
          change_(std::move(change)),
          notice_(std::move(notice)) {}
    void redo() override { edits_.put(change_, true, notice_); }
    void undo() override { edits_.put(change_, false, notice_); }

private:
    ImageEdits& edits_;
    ImageChange change_;
    EditNotice notice_;
};

// Adds to `into` the numbers (from 1) of the `count` elements of `size` bytes from `from`
// on whose bytes `range` changes; returns how many of its bytes the elements take.
qsizetype Cover(const ImageChange::Range& range, qsizetype from, qsizetype size, int count,
                QSet<int>& into) {
    const qsizetype first = std::max(range.offset, from);
    const qsizetype end = std::min(range.offset + range.before.size(), from + size * count);
    for (qsizetype at = first, next = 0; at < end; at = next) {
        next = std::min(end, at + size - (at - from) % size);
        const auto part = [&](const QByteArray& b) {
            return QByteArrayView(b).sliced(at - range.offset, next - at);
        };
        if (part(range.before) != part(range.after))
            into.insert(int((at - from) / size) + 1);
    }
    return std::max<qsizetype>(end - first, 0);
}

QList<int> Ascending(const QSet<int>& numbers) {
    QList<int> sorted(numbers.begin(), numbers.end());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

// What a change shows on: the channels whose flag byte or record it touched and those that
// joined or left a bank, the banks whose bytes it touched, and whether it touched anything
// else (the final checksum aside, which every change moves).
EditNotice NoticeOf(const QByteArray& before, const QByteArray& after, const ImageChange& change) {
    QSet<int> channels, banks, sum;
    EditNotice notice;
    for (const ImageChange::Range& range : change.ranges) {
        const qsizetype known =
            Cover(range, kFlagsOffset, 1, kSlotCount, channels) +
            Cover(range, kChannelsOffset, kChannelSize, kSlotCount, channels) +
            Cover(range, kBankInUseOffset, 2, kBankCount, banks) +
            Cover(range, kBankNamesOffset, kBankNameSize, kBankCount, banks) +
            Cover(range, kBankMembersOffset, kBankMembersSize, kBankCount, banks) +
            Cover(range, MemoryMap::kTotalSumAt, 1, 1, sum);
        notice.settings = notice.settings || known < range.before.size();
    }
    for (int b : banks) {
        const QList<int> was = DecodeBank(before, b).members;
        const QList<int> now = DecodeBank(after, b).members;
        for (int n : was + now)
            if (was.contains(n) != now.contains(n))
                channels.insert(n);
    }
    notice.channels = Ascending(channels);
    notice.banks = Ascending(banks);
    return notice;
}

}  // namespace

ImageEdits::ImageEdits(CloneState& clone, QObject* parent)
    : QObject(parent), clone_(clone), stack_(new QUndoStack(this)) {
    connect(stack_, &QUndoStack::cleanChanged, this,
            [this](bool clean) { emit unsavedChanged(!clean); });
    remember();
}

ImageEdits::~ImageEdits() {
    // The stack's last signals would reach windows that still hold this half-gone object.
    stack_->blockSignals(true);
}

QByteArray ImageEdits::image() const {
    return clone_.image.bytes();
}

bool ImageEdits::hasImage() const {
    return clone_.image.isValid();
}

Channel ImageEdits::channel(int number) const {
    return DecodeChannelAt(image(), number);
}

void ImageEdits::setEditable(bool editable) {
    if (editable_ == editable)
        return;
    editable_ = editable;
    emit editableChanged(editable);
}

QString ImageEdits::refusedNow() const {
    if (!clone_.image.isValid())
        return QStringLiteral("There is no image: read the radio or open a file.");
    if (!editable_)
        return QStringLiteral("The channels cannot change while a transfer runs.");
    return {};
}

QString ImageEdits::setField(int number, ChannelField field, const QString& text) {
    if (const QString refusal = refusedNow(); !refusal.isEmpty())
        return refusal;
    Channel ch = channel(number);
    if (const QString refusal = SetChannelField(ch, field, text); !refusal.isEmpty())
        return QStringLiteral("Channel %1: %2").arg(number).arg(refusal);
    return store(QStringLiteral("Channel %1: %2").arg(number).arg(ChannelFieldName(field)), {ch});
}

QString ImageEdits::setFieldOn(const QList<int>& numbers, ChannelField field, const QString& text) {
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

QString ImageEdits::setBanks(const QList<int>& numbers, const QList<int>& banks) {
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

QString ImageEdits::changeBanks(const QList<int>& numbers, const QList<int>& join,
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
            if (const QString refusal = StoreBank(image, bank); !refusal.isEmpty())
                return numbers.size() == 1
                           ? QStringLiteral("Channel %1: %2").arg(numbers.first()).arg(refusal)
                           : refusal;
        }
        return QString();
    });
}

QString ImageEdits::maskedRefusal(const QList<int>& numbers) const {
    QList<int> masked;
    const QByteArray bytes = image();
    for (int n : numbers)
        if (DecodeChannelAt(bytes, n).masked)
            masked << n;
    if (masked.isEmpty() || !askMasked_ || askMasked_(masked))
        return {};
    return QStringLiteral("Nothing stored: the masked entries keep their data.");
}

QString ImageEdits::store(const QString& caption, const QList<Channel>& channels,
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
            QString refusal = StoreChannel(image, ch);
            if (refusal.isEmpty() && i < banks.size() && !ch.empty)
                refusal = SetChannelBanks(image, ch.number, banks[i]);
            if (!refusal.isEmpty())
                return QStringLiteral("Channel %1: %2").arg(ch.number).arg(refusal);
        }
        return QString();
    });
}

int ImageEdits::importCsv(const QString& caption, const CsvImport& import, int bank) {
    QList<int> stored;
    for (const Channel& ch : import.channels)
        stored << ch.number;
    if (!maskedRefusal(stored).isEmpty())
        return -1;
    int cleared = 0;
    apply(caption, [&](QByteArray& image) {
        cleared = ApplyChannelsCsv(image, import, false, shownList_, bank);
        return QString();
    });
    return cleared;
}

QString ImageEdits::unmask(const QList<int>& numbers) {
    int done = 0;
    const QString refusal =
        apply(QStringLiteral("Unmask ") + (numbers.size() == 1
                                               ? EntryName(numbers.first())
                                               : QStringLiteral("%1 entries").arg(numbers.size())),
              [&](QByteArray& image) {
                  for (int n : numbers)
                      done += UnmaskChannel(image, n) ? 1 : 0;
                  return QString();
              });
    if (!refusal.isEmpty())
        return refusal;
    return done ? QString() : QStringLiteral("Nothing to unmask: select masked entries.");
}

QString ImageEdits::apply(const QString& caption,
                          const std::function<QString(QByteArray&)>& change) {
    if (const QString refusal = refusedNow(); !refusal.isEmpty())
        return refusal;
    const QByteArray before = image();
    QByteArray after = before;
    if (const QString refusal = change(after); !refusal.isEmpty())
        return refusal;
    MemoryMap::RefreshSumsFor(before, after, clone_.image.sumsKeptStale());
    ImageChange step = ImageChange::between(before, after);
    if (!step.isEmpty()) {
        EditNotice notice = NoticeOf(before, after, step);
        stack_->push(new ImageStep(*this, caption, std::move(step), std::move(notice)));
    }
    return {};
}

void ImageEdits::put(const ImageChange& change, bool forward, const EditNotice& notice) {
    QByteArray file = image();
    if (file.isEmpty())
        return;
    if (forward)
        change.redo(file);
    else
        change.undo(file);
    clone_.image = clone_.image.edited(std::move(file));
    remember();
    emit changed(notice);
}

QString ImageEdits::imageName() const {
    if (!clone_.image.isValid())
        return {};
    if (!clone_.ImagePath.isEmpty())
        return QFileInfo(clone_.ImagePath).fileName();
    if (clone_.ReadAt.isValid())
        return QStringLiteral("read from radio ") + clone_.ReadAt.toString(QStringLiteral("HH:mm"));
    return QStringLiteral("untitled");
}

bool ImageEdits::unsaved() const {
    return !stack_->isClean();
}

void ImageEdits::markSaved() {
    stack_->setClean();
    remember();
    emit unsavedChanged(false);  // the name may have changed too
}

void ImageEdits::markDiffersFromFile() {
    // No step leads back to the file's bytes: only a save makes the stack clean again.
    stack_->resetClean();
}

void ImageEdits::imageReplaced() {
    if (clone_.image == known_ && clone_.ImagePath == knownPath_ && clone_.ReadAt == knownReadAt_)
        return;
    stack_->clear();
    ++generation_;
    remember();
}

void ImageEdits::remember() {
    known_ = clone_.image;
    knownPath_ = clone_.ImagePath;
    knownReadAt_ = clone_.ReadAt;
}
