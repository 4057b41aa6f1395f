#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QSet>
#include <QSortFilterProxyModel>
#include <functional>

#include "memory/channels.h"

class ImageEdits;

// Sorting uses numbers for the numbered columns, the list's order for the fields picked from
// a list, the text elsewhere.
constexpr int kSortRole = Qt::UserRole;
// The banks ticked (first list) and unticked (second) in the banks' list of a cell.
constexpr int kBankTicksRole = Qt::UserRole + 1;
// After the channel's own fields, the banks it is in: "1 4".
constexpr int kBanksColumn = kChannelFieldCount;
constexpr int kColumnCount = kChannelFieldCount + 1;

// What a masked entry's cells and the status line say of it: "Channel 20 is masked on the
// radio: hidden there, its data kept. Edit ▸ Unmask shows it again."
QString MaskedNote(int slot);

// One row per entry of the list shown (channels, skip search or PMS), row n for its
// location n + 1 whatever the view shows, and a channel's banks in the last column. Edits go to
// ImageEdits as steps (to every selected row when the edited one is among several selected); the
// rows change only when it says which channels changed.
class ChannelsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ChannelsModel(ImageEdits& edits, QObject* parent)
        : QAbstractTableModel(parent), edits_(edits) {}

    void setChannels(const QByteArray& image);
    // Shows another list of the image.
    void setList(ChannelList list, const QByteArray& image) {
        list_ = list;
        setChannels(image);
    }
    ChannelList list() const { return list_; }
    // The row of a slot of the list shown (outside it: -1 or past the end), and back.
    int rowOf(int slot) const { return slot - MemoryMap::Channels::Span(list_).first; }
    int slotOf(int row) const { return row + MemoryMap::Channels::Span(list_).first; }
    // Decodes the named channels again: one row told per channel.
    void updateChannels(const QByteArray& image, const QList<int>& numbers);
    // The rows a cell's edit applies to when it is one of them.
    void setSelection(std::function<QList<int>()> selected) { selected_ = std::move(selected); }
    const QList<Channel>& channels() const { return channels_; }
    const QList<Bank>& banks() const { return banks_; }
    // The channels an edit of channel `number` changes: the selected ones when it is among
    // them.
    QList<int> editedWith(int number) const;
    QString text(const Channel& ch, int column) const;
    const Channel& channel(int row) const { return channels_[row]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(channels_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kColumnCount;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

signals:
    // An edit is about to be made: what the status line said before no longer holds.
    void editing();
    void refused(const QString& reason);

private:
    // Why a PMS row's pair cannot scan; empty for the other rows.
    QString pairProblem(int row) const;

    ImageEdits& edits_;
    ChannelList list_ = ChannelList::Channels;
    QList<Channel> channels_;
    QList<Bank> banks_;
    std::function<QList<int>()> selected_;
};

// Keeps the channels whose name or frequency holds the filter text; empty channels only
// when asked for; with a bank picked, only its members.
class ChannelsFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setFilter(const QString& text, bool showEmpty);
    // The members of the bank picked, or all channels when `bank` is 0.
    void setBank(int bank, const QList<int>& members);
    int bank() const { return bank_; }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override;

private:
    QString text_;
    bool showEmpty_ = false;
    int bank_ = 0;
    QSet<int> members_;
};
