#include "ui/channelmodel.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

#include "edit/imageedits.h"

void ChannelsModel::setChannels(const QByteArray& image) {
    beginResetModel();
    channels_ = DecodeChannels(image, list_);
    banks_ = DecodeBanks(image);
    endResetModel();
}

void ChannelsModel::updateChannels(const QByteArray& image, const QList<int>& numbers) {
    banks_ = DecodeBanks(image);
    for (int n : numbers) {
        const int row = rowOf(n);
        if (row < 0 || row >= channels_.size())
            continue;
        channels_[row] = DecodeChannelAt(image, n);
        // A PMS entry's partner shows the pair's warning too.
        const bool pair = list_ == ChannelList::Pms;
        const int first = pair ? row & ~1 : row;
        const int last = pair ? std::min(row | 1, int(channels_.size()) - 1) : row;
        emit dataChanged(index(first, 0), index(last, kColumnCount - 1));
    }
}

QString MaskedNote(int slot) {
    QString name = EntryName(slot);
    if (name.startsWith(QLatin1String("ch ")))
        name = QStringLiteral("Channel ") + name.mid(3);
    name[0] = name[0].toUpper();
    return name + QStringLiteral(
                      " is masked on the radio: hidden there, its data kept. Edit \u25B8 Unmask "
                      "shows it again.");
}

QList<int> ChannelsModel::editedWith(int number) const {
    const QList<int> selected = selected_ ? selected_() : QList<int>();
    return selected.contains(number) ? selected : QList<int>{number};
}

QString ChannelsModel::text(const Channel& ch, int column) const {
    return column == kBanksColumn ? ChannelBanksText(banks_, ch.number)
                                  : ch.text(ChannelField(column));
}

Qt::ItemFlags ChannelsModel::flags(const QModelIndex& index) const {
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (!index.isValid() || !edits_.editable())
        return flags;
    const auto field = ChannelField(index.column());
    // An empty channel comes into use with its frequency; its other fields follow.
    const bool empty = channels_[index.row()].empty;
    if (field != ChannelField::Number && (!empty || field == ChannelField::Frequency))
        flags |= Qt::ItemIsEditable;
    return flags;
}

QString ChannelsModel::pairProblem(int row) const {
    if (list_ != ChannelList::Pms || (row | 1) >= channels_.size())
        return {};
    return PmsPairProblem(channels_[row & ~1], channels_[row | 1]);
}

QVariant ChannelsModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= channels_.size())
        return {};
    const Channel& ch = channels_[index.row()];
    const QVariant greyed = QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
    if (index.column() == kBanksColumn) {
        if (role == Qt::DisplayRole || role == Qt::EditRole || role == kSortRole)
            return text(ch, kBanksColumn);
        if (ch.masked && (role == Qt::ToolTipRole || role == Qt::ForegroundRole))
            return role == Qt::ToolTipRole ? QVariant(MaskedNote(ch.number)) : greyed;
        return {};
    }
    const ChannelFieldRow& row = ChannelRow(ChannelField(index.column()));
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return ch.text(row.id);
        case Qt::TextAlignmentRole:
            return row.numeric() ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
        case Qt::ToolTipRole: {
            // A masked row says so in every cell, before any other note of the cell.
            QStringList notes;
            if (ch.masked)
                notes << MaskedNote(ch.number);
            if (row.id == ChannelField::Frequency && !pairProblem(index.row()).isEmpty())
                notes << pairProblem(index.row());
            if (row.id == ChannelField::Mode && HasForeignMode(ch))
                notes << QString::fromUtf8(kForeignModeNote);
            return notes.isEmpty() ? QVariant() : QVariant(notes.join(QLatin1Char('\n')));
        }
        case Qt::DecorationRole:
            return row.id == ChannelField::Frequency && !pairProblem(index.row()).isEmpty()
                       ? QVariant(QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning))
                       : QVariant();
        case Qt::ForegroundRole:
            // Hidden on the radio: greyed, its data shown. A tone or code the tone mode does
            // not use: greyed, kept for the CSV.
            return ch.masked || ToneFieldUnused(ch, row.id) ? greyed : QVariant();
        case kSortRole:
            if (row.parse == FieldParse::Number)
                return ch.number;
            if (row.hertz)
                return ch.*row.hertz;
            if (row.index)
                return ch.empty ? -1 : ch.*row.index;
            return ch.text(row.id);
        default:
            return {};
    }
}

bool ChannelsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || (role != Qt::EditRole && role != kBankTicksRole) ||
        index.row() >= channels_.size())
        return false;
    const Channel& ch = channels_[index.row()];
    const QString text = value.toString();
    const QList<int> numbers = editedWith(ch.number);
    if ((role == Qt::EditRole && index.column() == kBanksColumn) ||
        (role == Qt::EditRole && numbers.size() == 1 && text == this->text(ch, index.column())))
        return false;
    emit editing();
    QString refusal;
    if (role == kBankTicksRole) {
        const auto ticks = value.value<QList<QList<int>>>();
        refusal = edits_.changeBanks(numbers, ticks.value(0), ticks.value(1));
    } else {
        refusal = edits_.setFieldOn(numbers, ChannelField(index.column()), text);
    }
    if (!refusal.isEmpty())
        emit refused(refusal);
    return refusal.isEmpty();
}

QVariant ChannelsModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section == kBanksColumn)
        return QStringLiteral("Banks");
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kChannelFieldCount)
        return QString::fromLatin1(ChannelRow(ChannelField(section)).caption);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void ChannelsFilter::setFilter(const QString& text, bool showEmpty) {
    text_ = text.trimmed();
    showEmpty_ = showEmpty;
    invalidateFilter();
}

void ChannelsFilter::setBank(int bank, const QList<int>& members) {
    bank_ = bank;
    members_ = QSet<int>(members.begin(), members.end());
    invalidateFilter();
}

bool ChannelsFilter::filterAcceptsRow(int row, const QModelIndex&) const {
    const Channel& ch = static_cast<const ChannelsModel*>(sourceModel())->channel(row);
    if ((ch.empty && !showEmpty_) || (bank_ > 0 && !members_.contains(ch.number)))
        return false;
    return text_.isEmpty() || ch.name.contains(text_, Qt::CaseInsensitive) ||
           ch.text(ChannelField::Frequency).contains(text_);
}
