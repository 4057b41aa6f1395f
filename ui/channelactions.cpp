// The channel editor's actions on the selected channels: clear, copy and paste, the order
// changes, setting a field on all of them, and going to a channel.
#include "ui/frmchannels.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTableView>
#include <QTableWidget>
#include <algorithm>

#include "edit/imageedits.h"
#include "memory/channelcsv.h"
#include "memory/channelname.h"
#include "memory/channelorder.h"
#include "memory/channels.h"
#include "ui/channelboxes.h"
#include "ui/channelmodel.h"

namespace {

// "1 4" as bank numbers; an empty list for a word that is no bank number.
QList<int> BankNumbers(const QString& text, bool* ok) {
    QList<int> banks;
    *ok = true;
    for (const QString& word :
         text.split(QRegularExpression(QStringLiteral("[\\s,]+")), Qt::SkipEmptyParts)) {
        const int bank = word.toInt(ok);
        if (!*ok || bank < 1 || bank > ChannelLayout::kBankCount) {
            *ok = false;
            return {};
        }
        banks << bank;
    }
    return banks;
}

}  // namespace

// The channels in use that the filters hide: a move passes over them.
QList<int> FrmChannels::hiddenInUse() const {
    QList<int> hidden;
    for (int row = 0; row < model_->rowCount(); ++row)
        if (!model_->channel(row).empty && !filter_->mapFromSource(model_->index(row, 0)).isValid())
            hidden << model_->slotOf(row);
    return hidden;
}

void FrmChannels::ClearSelected() {
    const QList<int> numbers = selectedNumbers();
    QList<Channel> cleared;
    for (int n : numbers) {
        if (!entry(n).empty) {
            Channel empty;
            empty.number = n;
            cleared << empty;
        }
    }
    if (cleared.isEmpty())
        return say(QStringLiteral("Nothing to clear: select channels in use."));
    const QString caption = QStringLiteral("Clear ") + Plural(cleared.size(), "channel");
    const QString refusal = edits_.store(caption, cleared);
    say(refusal.isEmpty() ? QStringLiteral("Cleared ") + Plural(cleared.size(), "channel")
                          : refusal);
}

void FrmChannels::UnmaskSelected() {
    const QString refusal = edits_.unmask(selectedNumbers());
    say(refusal.isEmpty() ? QStringLiteral("Unmasked: the radio shows them again") : refusal);
}

void FrmChannels::CopySelected() {
    QList<Channel> channels;
    for (int n : selectedNumbers())
        channels << entry(n);
    if (channels.isEmpty())
        return say(QStringLiteral("Nothing to copy: select channels first."));
    QStringList leftOut;
    copiedText_ = ChannelsCsv(channels, true, &leftOut);
    QApplication::clipboard()->setText(copiedText_);
    // Pasted back into this image, the rows keep their banks.
    copiedFrom_ = edits_.generation();
    copiedBanks_.clear();
    for (const Channel& ch : channels)
        for (const Bank& bank : model_->banks())
            if (bank.members.contains(ch.number))
                copiedBanks_[ch.number] << bank.number;
    const int copied = int(copiedText_.count(QLatin1Char('\n'))) - 1;
    say(QStringLiteral("Copied ") + Plural(copied, "channel") +
        (leftOut.isEmpty() ? QString()
                           : QStringLiteral("; ") + leftOut.join(QStringLiteral("; "))));
}

// The rows go to consecutive channels from the first selected one, in the order of their
// Locations; a row that only names its Location clears its channel.
void FrmChannels::Paste() {
    const QList<int> selected = selectedNumbers();
    if (selected.isEmpty())
        return say(QStringLiteral("Paste: select the channel to paste at first."));
    const QString text = QApplication::clipboard()->text();
    const CsvImport rows = ParseChannelsCsv(text);
    if (!rows.refusals.isEmpty())
        return say(QStringLiteral("Paste refused: ") + rows.refusals.join(QStringLiteral("; ")));
    QList<Channel> channels = rows.channels;
    for (int location : rows.cleared) {
        Channel empty;
        empty.number = location;
        channels << empty;
    }
    if (channels.isEmpty())
        return say(QStringLiteral("Paste: the clipboard holds no channels."));
    std::sort(channels.begin(), channels.end(),
              [](const Channel& a, const Channel& b) { return a.number < b.number; });
    const int first = selected.first();
    const qsizetype last = first + channels.size() - 1;
    const int end = model_->slotOf(model_->rowCount() - 1);
    if (last > end)
        return say(
            QStringLiteral("Paste refused: %1 from channel %2 on would run past channel %3")
                .arg(Plural(channels.size(), "row"), LocationLabel(first), LocationLabel(end)));
    // Only the channels have banks.
    const bool copiedHere = text == copiedText_ && copiedFrom_ == edits_.generation() &&
                            model_->list() == ChannelList::Channels;
    QList<QList<int>> banks;
    for (qsizetype i = 0; i < channels.size(); ++i) {
        if (copiedHere)
            banks << copiedBanks_.value(channels[i].number);
        channels[i].number = first + int(i);
    }
    const QString caption = QStringLiteral("Paste ") + Plural(channels.size(), "channel");
    const QString refusal = edits_.store(caption, channels, banks);
    if (!refusal.isEmpty())
        return say(QStringLiteral("Paste refused: ") + refusal);
    say(QStringLiteral("Pasted %1 at %2-%3")
            .arg(Plural(channels.size(), "channel"), LocationLabel(first),
                 LocationLabel(int(last))) +
        (rows.warnings.isEmpty()
             ? QString()
             : QStringLiteral("; ") + rows.warnings.join(QStringLiteral("; "))));
}

void FrmChannels::selectNumbers(const QList<int>& numbers) {
    QItemSelection rows;
    QModelIndex first;
    for (int n : numbers) {
        const QModelIndex shown = filter_->mapFromSource(model_->index(model_->rowOf(n), 0));
        if (!shown.isValid())
            continue;
        rows.select(shown, shown.siblingAtColumn(kColumnCount - 1));
        if (!first.isValid())
            first = shown;
    }
    if (!first.isValid())
        return;
    grdChannels->setCurrentIndex(first);
    grdChannels->selectionModel()->select(rows, QItemSelectionModel::ClearAndSelect);
    grdChannels->scrollTo(first);
}

bool FrmChannels::change(const QString& caption, const std::function<QString(QByteArray&)>& what,
                         const QString& done) {
    const QString refusal = edits_.apply(caption, what);
    say(refusal.isEmpty() ? done : refusal);
    return refusal.isEmpty();
}

void FrmChannels::MoveSelected(int delta) {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Move: select the channels to move first."));
    const QString way = delta < 0 ? QStringLiteral("up") : QStringLiteral("down");
    const QString what = QStringLiteral("Move %1 %2").arg(Plural(numbers.size(), "channel"), way);
    const QList<int> hidden = hiddenInUse();
    QList<int> moved;
    if (change(
            what,
            [&](QByteArray& image) { return MoveChannels(image, numbers, delta, hidden, &moved); },
            QStringLiteral("Moved %1 %2").arg(Plural(numbers.size(), "channel"), way)))
        selectNumbers(moved);
}

void FrmChannels::InsertAtSelection() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Insert: select the channel to insert at first."));
    const int at = numbers.first();
    if (entry(at).empty)
        return say(QStringLiteral("Insert: channel %1 is empty already.").arg(LocationLabel(at)));
    if (change(
            QStringLiteral("Insert at channel %1").arg(LocationLabel(at)),
            [at](QByteArray& image) { return InsertChannel(image, at); },
            QStringLiteral("Inserted an empty channel at %1").arg(LocationLabel(at))))
        GoTo(LocationOf(at));
}

// Each selected channel is deleted from the highest down, so that the shifts of one never
// move another selected channel before its turn.
void FrmChannels::DeleteShiftUp() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Delete: select the channels to delete first."));
    const QString what = Plural(numbers.size(), "channel");
    if (change(
            QStringLiteral("Delete %1 and shift up").arg(what),
            [&](QByteArray& image) {
                for (auto n = numbers.crbegin(); n != numbers.crend(); ++n)
                    if (const QString refusal = DeleteChannel(image, *n); !refusal.isEmpty())
                        return refusal;
                return QString();
            },
            QStringLiteral("Deleted %1 and shifted the channels below up").arg(what)))
        selectNumbers({numbers.first()});
}

void FrmChannels::SortSelected(ChannelField field, Qt::SortOrder order) {
    const QList<int> numbers = selectedNumbers();
    if (numbers.size() < 2)
        return say(QStringLiteral("Sort: select the range of channels to sort first."));
    const QString range = RangeText(numbers) + QStringLiteral(" by ") + ChannelFieldName(field);
    if (change(
            QStringLiteral("Sort ") + range,
            [&](QByteArray& image) { return SortChannels(image, numbers, field, order); },
            QStringLiteral("Sorted ") + range))
        selectNumbers(numbers);
}

void FrmChannels::SetForSelected(ChannelField field, const QString& text) {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Set: select the channels to change first."));
    QString refusal;
    if (int(field) == kBanksColumn) {
        bool ok = false;
        const QList<int> banks = BankNumbers(text, &ok);
        refusal = ok ? edits_.setBanks(numbers, banks)
                     : QStringLiteral("Banks \"%1\" are not bank numbers 1–%2")
                           .arg(EscapedControls(text))
                           .arg(ChannelLayout::kBankCount);
    } else {
        refusal = edits_.setFieldOn(numbers, field, text);
    }
    say(refusal.isEmpty()
            ? QStringLiteral("Set %1 on %2")
                  .arg(model_->headerData(int(field), Qt::Horizontal, Qt::DisplayRole).toString(),
                       Plural(numbers.size(), "channel"))
            : refusal);
}

void FrmChannels::GoTo(int number) {
    if (!edits_.hasImage())
        return say(QStringLiteral("Go to: there is no image; read the radio or open a file."));
    if (number < 1 || number > model_->rowCount())
        return say(QStringLiteral("Go to: there is no channel %1.").arg(number));
    auto shown = [&] { return filter_->mapFromSource(model_->index(number - 1, 0)); };
    if (!shown().isValid() && model_->channel(number - 1).empty)
        chkShowEmpty->setChecked(true);
    if (!shown().isValid()) {
        txtFilter->clear();
        grdBanks->selectRow(0);
    }
    selectNumbers({model_->slotOf(number - 1)});
    grdChannels->scrollTo(shown(), QAbstractItemView::PositionAtCenter);
    grdChannels->setFocus();
}

void FrmChannels::askGoTo() {
    const QList<int> numbers = selectedNumbers();
    bool ok = false;
    const int count = model_->rowCount();
    const int number = QInputDialog::getInt(
        this, QStringLiteral("Go to Channel"), QStringLiteral("Channel (1-%1):").arg(count),
        numbers.isEmpty() ? 1 : LocationOf(numbers.first()), 1, count, 1, &ok);
    // The box gave the focus back to no one in particular: the table takes it, so that the
    // keys act on the channel gone to.
    activateWindow();
    if (ok)
        GoTo(number);
}

void FrmChannels::askSort() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.size() < 2)
        return say(QStringLiteral("Sort: select the range of channels to sort first."));
    ChannelField field;
    Qt::SortOrder order;
    if (AskSort(this, numbers, &field, &order))
        SortSelected(field, order);
}

void FrmChannels::askSetForSelected() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Set: select the channels to change first."));
    qsizetype inUse = 0;
    for (int n : numbers)
        inUse += entry(n).empty ? 0 : 1;
    ChannelField field;
    QString value;
    if (AskSetForSelected(this, numbers.size(), inUse, &field, &value))
        SetForSelected(field, value);
}
