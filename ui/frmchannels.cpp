#include "ui/frmchannels.h"

#include <QAbstractTableModel>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

#include "clone/channels.h"

namespace {
// Sorting uses numbers for the numbered columns, the text elsewhere.
constexpr int kSortRole = Qt::UserRole;
}  // namespace

class ChannelsModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    void setChannels(QList<Channel> channels) {
        beginResetModel();
        channels_ = std::move(channels);
        endResetModel();
    }
    const Channel& channel(int row) const { return channels_[row]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(channels_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kChannelFieldCount;
    }
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= channels_.size())
            return {};
        const Channel& ch = channels_[index.row()];
        const auto field = ChannelField(index.column());
        const bool numeric = field == ChannelField::Number || field == ChannelField::Frequency ||
                             field == ChannelField::Offset;
        switch (role) {
            case Qt::DisplayRole:
                return ch.text(field);
            case Qt::TextAlignmentRole:
                return numeric ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
            case kSortRole:
                if (field == ChannelField::Number)
                    return ch.number;
                if (field == ChannelField::Frequency)
                    return ch.frequencyHz;
                if (field == ChannelField::Offset)
                    return ch.offsetHz;
                return ch.text(field);
            default:
                return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < kChannelFieldCount)
            return ChannelFieldName(ChannelField(section));
        return QAbstractTableModel::headerData(section, orientation, role);
    }

private:
    QList<Channel> channels_;
};

// Keeps the channels whose name or frequency holds the filter text; empty channels only
// when asked for.
class ChannelsFilter : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

    void setFilter(const QString& text, bool showEmpty) {
        text_ = text.trimmed();
        showEmpty_ = showEmpty;
        invalidateFilter();
    }

protected:
    bool filterAcceptsRow(int row, const QModelIndex&) const override {
        const Channel& ch = static_cast<const ChannelsModel*>(sourceModel())->channel(row);
        if (ch.empty && !showEmpty_)
            return false;
        return text_.isEmpty() || ch.name.contains(text_, Qt::CaseInsensitive) ||
               ch.text(ChannelField::Frequency).contains(text_);
    }

private:
    QString text_;
    bool showEmpty_ = false;
};

FrmChannels::FrmChannels(std::function<QByteArray()> image, QWidget* parent)
    : QWidget(parent, Qt::Window), image_(std::move(image)) {
    setObjectName(QStringLiteral("frmChannels"));
    setWindowTitle(QStringLiteral("Channels"));

    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(QStringLiteral("Filter by name or frequency"));
    txtFilter->setClearButtonEnabled(true);
    chkShowEmpty = new QCheckBox(QStringLiteral("Show &empty"), this);
    chkShowEmpty->setObjectName(QStringLiteral("chkShowEmpty"));
    lblUsed = new QLabel(this);
    lblUsed->setObjectName(QStringLiteral("lblUsed"));

    model_ = new ChannelsModel(this);
    filter_ = new ChannelsFilter(this);
    filter_->setSourceModel(model_);
    filter_->setSortRole(kSortRole);
    grdChannels = new QTableView(this);
    grdChannels->setObjectName(QStringLiteral("grdChannels"));
    grdChannels->setModel(filter_);
    grdChannels->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdChannels->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdChannels->setSortingEnabled(true);
    grdChannels->sortByColumn(int(ChannelField::Number), Qt::AscendingOrder);
    grdChannels->verticalHeader()->hide();
    grdChannels->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    grdChannels->horizontalHeader()->setStretchLastSection(true);

    auto* top = new QHBoxLayout;
    top->addWidget(txtFilter, 1);
    top->addWidget(chkShowEmpty);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(grdChannels, 1);
    layout->addWidget(lblUsed);
    // Small enough to fit a 1024 x 768 screen at 150 %.
    resize(640, 420);

    auto refilter = [this] { filter_->setFilter(txtFilter->text(), chkShowEmpty->isChecked()); };
    connect(txtFilter, &QLineEdit::textChanged, this, refilter);
    connect(chkShowEmpty, &QCheckBox::toggled, this, refilter);
    Reload();
}

FrmChannels::~FrmChannels() = default;

void FrmChannels::Reload() {
    const QByteArray image = image_();
    QList<Channel> channels = DecodeChannels(image);
    lblUsed->setText(image.isEmpty() ? QStringLiteral("No image: read the radio or open a file.")
                                     : QStringLiteral("%1 of %2 channels used")
                                           .arg(UsedChannelCount(channels))
                                           .arg(channels.size()));
    model_->setChannels(std::move(channels));
    grdChannels->resizeColumnsToContents();
}
