#include "ui/channeledits.h"

#include <QFileInfo>
#include <QUndoStack>

#include "clone/channelcsv.h"
#include "clone/channeledit.h"
#include "clone/imagefile.h"
#include "core/context.h"

namespace {

// One step: the channels it changed, with their bytes before and after.
class ChannelsStep : public QUndoCommand {
public:
    ChannelsStep(ChannelEdits& edits, const QString& caption, QList<int> numbers,
                 QList<QByteArray> before, QList<QByteArray> after)
        : QUndoCommand(caption),
          edits_(edits),
          numbers_(std::move(numbers)),
          before_(std::move(before)),
          after_(std::move(after)) {}
    void redo() override { edits_.put(numbers_, after_); }
    void undo() override { edits_.put(numbers_, before_); }

private:
    ChannelEdits& edits_;
    QList<int> numbers_;
    QList<QByteArray> before_;
    QList<QByteArray> after_;
};

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
    return clone_.ImageValid ? FileImageFromClone(clone_.CloneImage) : QByteArray();
}

bool ChannelEdits::hasImage() const {
    return clone_.ImageValid;
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
    if (!clone_.ImageValid)
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

QString ChannelEdits::store(const QString& caption, const QList<Channel>& channels) {
    if (const QString refusal = refusedNow(); !refusal.isEmpty())
        return refusal;
    const QByteArray before = image();
    QByteArray after = before;
    QList<int> numbers;
    for (const Channel& ch : channels) {
        if (const QString refusal = StoreChannel(after, ch, false); !refusal.isEmpty())
            return QStringLiteral("Channel %1: %2").arg(ch.number).arg(refusal);
        numbers << ch.number;
    }
    pushChanges(caption, before, after, numbers);
    return {};
}

int ChannelEdits::importCsv(const QString& caption, const CsvImport& import) {
    if (!refusedNow().isEmpty())
        return 0;
    const QByteArray before = image();
    QByteArray after = before;
    const int cleared = ApplyChannelsCsv(after, import, false);
    pushChanges(caption, before, after);
    return cleared;
}

void ChannelEdits::pushChanges(const QString& caption, const QByteArray& before,
                               const QByteArray& after, const QList<int>& candidates) {
    QList<int> all;
    for (int n = 1; candidates.isEmpty() && n <= ChannelLayout::kChannelCount; ++n)
        all << n;
    QList<int> numbers;
    QList<QByteArray> old, now;
    for (int n : candidates.isEmpty() ? all : candidates) {
        QByteArray a = ChannelBytes(before, n), b = ChannelBytes(after, n);
        if (a == b)
            continue;
        numbers << n;
        old << std::move(a);
        now << std::move(b);
    }
    if (!numbers.isEmpty())
        stack_->push(new ChannelsStep(*this, caption, numbers, old, now));
}

void ChannelEdits::put(const QList<int>& numbers, const QList<QByteArray>& bytes) {
    QByteArray file = image();
    if (file.isEmpty())
        return;
    for (qsizetype i = 0; i < numbers.size(); ++i)
        PutChannelBytes(file, numbers[i], bytes[i], false);
    // The memory image keeps no checksum: every write and save computes it afresh.
    clone_.CloneImage = CloneImageFromFile(file);
    remember();
    emit channelsChanged(numbers);
}

QString ChannelEdits::imageName() const {
    if (!clone_.ImageValid)
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
    if (clone_.ImageValid == knownValid_ && clone_.ImagePath == knownPath_ &&
        clone_.ReadAt == knownReadAt_ && clone_.CloneImage == known_)
        return;
    stack_->clear();
    remember();
}

void ChannelEdits::remember() {
    known_ = clone_.CloneImage;
    knownValid_ = clone_.ImageValid;
    knownPath_ = clone_.ImagePath;
    knownReadAt_ = clone_.ReadAt;
}
