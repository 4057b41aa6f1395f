#include "ui/frmchannels.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSortFilterProxyModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "clone/channelcsv.h"
#include "clone/channels.h"
#include "ui/channeledits.h"

namespace {
// Sorting uses numbers for the numbered columns, the text elsewhere.
constexpr int kSortRole = Qt::UserRole;
// Room around a cell's text, and for the arrow of a list's editor.
constexpr int kCellPadding = 10;
constexpr int kListArrow = 12;
}  // namespace

// One row per channel, row n - 1 for channel n, whatever the view shows. Edits go to
// ChannelEdits as steps; the rows change only when it says which channels changed.
class ChannelsModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit ChannelsModel(ChannelEdits& edits, QObject* parent)
        : QAbstractTableModel(parent), edits_(edits) {}

    void setChannels(QList<Channel> channels) {
        beginResetModel();
        channels_ = std::move(channels);
        endResetModel();
    }
    // Decodes the named channels again: one row told per channel.
    void updateChannels(const QByteArray& image, const QList<int>& numbers) {
        for (int n : numbers) {
            if (n < 1 || n > channels_.size())
                continue;
            channels_[n - 1] = DecodeChannelAt(image, n);
            emit dataChanged(index(n - 1, 0), index(n - 1, kChannelFieldCount - 1));
        }
    }
    const QList<Channel>& channels() const { return channels_; }
    const Channel& channel(int row) const { return channels_[row]; }

    int rowCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : int(channels_.size());
    }
    int columnCount(const QModelIndex& parent = {}) const override {
        return parent.isValid() ? 0 : kChannelFieldCount;
    }
    Qt::ItemFlags flags(const QModelIndex& index) const override {
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
    QVariant data(const QModelIndex& index, int role) const override {
        if (!index.isValid() || index.row() >= channels_.size())
            return {};
        const Channel& ch = channels_[index.row()];
        const auto field = ChannelField(index.column());
        const bool numeric = field == ChannelField::Number || field == ChannelField::Frequency ||
                             field == ChannelField::Offset;
        switch (role) {
            case Qt::DisplayRole:
            case Qt::EditRole:
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
    bool setData(const QModelIndex& index, const QVariant& value, int role) override {
        if (!index.isValid() || role != Qt::EditRole || index.row() >= channels_.size())
            return false;
        const Channel& ch = channels_[index.row()];
        const auto field = ChannelField(index.column());
        const QString text = value.toString();
        if (text == ch.text(field))
            return false;
        const QString refusal = edits_.setField(ch.number, field, text);
        if (!refusal.isEmpty())
            emit refused(refusal);
        return refusal.isEmpty();
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < kChannelFieldCount)
            return ChannelFieldName(ChannelField(section));
        return QAbstractTableModel::headerData(section, orientation, role);
    }

signals:
    void refused(const QString& reason);

private:
    ChannelEdits& edits_;
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

namespace {

// Line editors for the name, the frequency and the offset (the model refuses what
// validation refuses); lists for every field that has one, taking effect when picked.
class ChannelDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        const QStringList choices = ChannelFieldChoices(ChannelField(index.column()));
        if (choices.isEmpty())
            return QStyledItemDelegate::createEditor(parent, option, index);
        auto* list = new QComboBox(parent);
        list->addItems(choices);
        list->setMaxVisibleItems(16);
        auto* self = const_cast<ChannelDelegate*>(this);
        connect(list, &QComboBox::activated, self, [self, list] {
            emit self->commitData(list);
            emit self->closeEditor(list);
        });
        return list;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        if (auto* list = qobject_cast<QComboBox*>(editor))
            list->setCurrentIndex(list->findText(index.data(Qt::EditRole).toString()));
        else
            QStyledItemDelegate::setEditorData(editor, index);
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model,
                      const QModelIndex& index) const override {
        if (auto* list = qobject_cast<QComboBox*>(editor))
            model->setData(index, list->currentText(), Qt::EditRole);
        else
            QStyledItemDelegate::setModelData(editor, model, index);
    }
};

QString plural(qsizetype count, const char* one) {
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(one))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

}  // namespace

FrmChannels::FrmChannels(ChannelEdits& edits, QWidget* parent)
    : QWidget(parent, Qt::Window), edits_(edits) {
    setObjectName(QStringLiteral("frmChannels"));

    txtFilter = new QLineEdit(this);
    txtFilter->setObjectName(QStringLiteral("txtFilter"));
    txtFilter->setPlaceholderText(QStringLiteral("Filter by name or frequency"));
    txtFilter->setClearButtonEnabled(true);
    chkShowEmpty = new QCheckBox(QStringLiteral("Show &empty"), this);
    chkShowEmpty->setObjectName(QStringLiteral("chkShowEmpty"));
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lblUsed = new QLabel(this);
    lblUsed->setObjectName(QStringLiteral("lblUsed"));

    model_ = new ChannelsModel(edits_, this);
    filter_ = new ChannelsFilter(this);
    filter_->setSourceModel(model_);
    filter_->setSortRole(kSortRole);
    grdChannels = new QTableView(this);
    grdChannels->setObjectName(QStringLiteral("grdChannels"));
    grdChannels->setModel(filter_);
    grdChannels->setItemDelegate(new ChannelDelegate(grdChannels));
    grdChannels->setEditTriggers(QAbstractItemView::DoubleClicked |
                                 QAbstractItemView::EditKeyPressed |
                                 QAbstractItemView::AnyKeyPressed);
    grdChannels->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdChannels->setSelectionMode(QAbstractItemView::ExtendedSelection);
    grdChannels->setSortingEnabled(true);
    grdChannels->sortByColumn(int(ChannelField::Number), Qt::AscendingOrder);
    grdChannels->verticalHeader()->hide();
    grdChannels->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    grdChannels->horizontalHeader()->setStretchLastSection(true);

    buildMenus();
    auto* top = new QHBoxLayout;
    top->addWidget(txtFilter, 1);
    top->addWidget(chkShowEmpty);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(lblStatus, 1);
    bottom->addWidget(lblUsed);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(top);
    layout->addWidget(grdChannels, 1);
    layout->addLayout(bottom);
    fitColumns();

    auto refilter = [this] {
        filter_->setFilter(txtFilter->text(), chkShowEmpty->isChecked());
        showCount();
    };
    connect(txtFilter, &QLineEdit::textChanged, this, refilter);
    connect(chkShowEmpty, &QCheckBox::toggled, this, refilter);
    connect(model_, &ChannelsModel::refused, this, &FrmChannels::say);
    connect(&edits_, &ChannelEdits::channelsChanged, this, &FrmChannels::channelsChanged);
    connect(&edits_, &ChannelEdits::unsavedChanged, this, &FrmChannels::showTitle);
    connect(&edits_, &ChannelEdits::editableChanged, this, &FrmChannels::updateActions);
    QUndoStack& stack = edits_.stack();
    connect(&stack, &QUndoStack::canUndoChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::canRedoChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::undoTextChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::redoTextChanged, this, &FrmChannels::updateActions);
    Reload();
}

FrmChannels::~FrmChannels() = default;

void FrmChannels::buildMenus() {
    menuBar = new QMenuBar(this);
    auto entry = [this](QMenu* menu, const QString& caption, const char* name,
                        const QList<QKeySequence>& keys, auto handler) {
        QAction* action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcuts(keys);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };
    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuChannelsFile"));
    mnuClose = entry(mnuFile, QStringLiteral("&Close"), "mnuClose", {}, [this] { close(); });

    mnuEdit = menuBar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    QUndoStack& stack = edits_.stack();
    mnuUndo =
        entry(mnuEdit, QStringLiteral("&Undo"), "mnuUndo", {QKeySequence::Undo}, [this, &stack] {
            if (edits_.editable())
                stack.undo();
        });
    mnuRedo = entry(
        mnuEdit, QStringLiteral("&Redo"), "mnuRedo",
        {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))},
        [this, &stack] {
            if (edits_.editable())
                stack.redo();
        });
    mnuEdit->addSeparator();
    mnuCopy = entry(mnuEdit, QStringLiteral("&Copy"), "mnuCopy", {QKeySequence::Copy},
                    [this] { CopySelected(); });
    mnuPaste = entry(mnuEdit, QStringLiteral("&Paste"), "mnuPaste", {QKeySequence::Paste},
                     [this] { Paste(); });
    mnuClear = entry(mnuEdit, QStringLiteral("C&lear"), "mnuClear", {QKeySequence::Delete},
                     [this] { ClearSelected(); });
}

// Every column wide enough for the widest text it can show, without measuring 900 rows:
// a list's longest entry, a frequency's ten characters, a name of eleven.
void FrmChannels::fitColumns() {
    const QFontMetrics cell = grdChannels->fontMetrics();
    const QFontMetrics header = grdChannels->horizontalHeader()->fontMetrics();
    int total = 0;
    for (int column = 0; column < kChannelFieldCount; ++column) {
        const auto field = ChannelField(column);
        QStringList texts = ChannelFieldChoices(field);
        const bool list = !texts.isEmpty();
        if (field == ChannelField::Number)
            texts << QStringLiteral("900");
        else if (field == ChannelField::Name)
            texts << QStringLiteral("NNNNNNNNNNN");
        else if (!list)
            texts << QStringLiteral("999.999999");
        int width = header.horizontalAdvance(ChannelFieldName(field)) + kCellPadding;
        for (const QString& text : texts)
            width = std::max(width,
                             cell.horizontalAdvance(text) + kCellPadding + (list ? kListArrow : 0));
        grdChannels->setColumnWidth(column, width);
        total += width;
    }
    const int margins = layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const int table = total + grdChannels->verticalScrollBar()->sizeHint().width() +
                      2 * grdChannels->frameWidth() + 2;
    // Never wider or taller than the screen, with room kept for a title bar.
    const QRect avail = screen()->availableGeometry();
    resize(qMin(table + margins, avail.width()), qMin(460, avail.height() - 32));
}

void FrmChannels::Reload() {
    model_->setChannels(DecodeChannels(edits_.image()));
    lblStatus->clear();
    showCount();
    showTitle();
    updateActions();
}

void FrmChannels::channelsChanged(const QList<int>& numbers) {
    model_->updateChannels(edits_.image(), numbers);
    showCount();
}

void FrmChannels::showCount() {
    if (!edits_.hasImage()) {
        lblUsed->setText(QStringLiteral("No image: read the radio or open a file."));
        return;
    }
    lblUsed->setText(QStringLiteral("%1 of %2 used, %3 shown")
                         .arg(UsedChannelCount(model_->channels()))
                         .arg(ChannelLayout::kChannelCount)
                         .arg(filter_->rowCount()));
}

void FrmChannels::showTitle() {
    const QString name = edits_.imageName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Channels")
                                  : QStringLiteral("Channels - ") + name + QStringLiteral("[*]"));
    setWindowModified(edits_.unsaved());
}

void FrmChannels::updateActions() {
    const QUndoStack& stack = edits_.stack();
    const bool editable = edits_.editable();
    mnuUndo->setEnabled(editable && stack.canUndo());
    mnuUndo->setText(stack.canUndo() ? QStringLiteral("&Undo ") + stack.undoText()
                                     : QStringLiteral("&Undo"));
    mnuRedo->setEnabled(editable && stack.canRedo());
    mnuRedo->setText(stack.canRedo() ? QStringLiteral("&Redo ") + stack.redoText()
                                     : QStringLiteral("&Redo"));
    mnuPaste->setEnabled(editable);
    mnuClear->setEnabled(editable);
}

void FrmChannels::say(const QString& text) {
    lblStatus->setText(text);
}

QList<int> FrmChannels::selectedNumbers() const {
    QList<int> numbers;
    for (const QModelIndex& index : grdChannels->selectionModel()->selectedRows())
        numbers << filter_->mapToSource(index).row() + 1;
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

void FrmChannels::ClearSelected() {
    const QList<int> numbers = selectedNumbers();
    QList<Channel> cleared;
    for (int n : numbers) {
        if (!model_->channel(n - 1).empty) {
            Channel empty;
            empty.number = n;
            cleared << empty;
        }
    }
    if (cleared.isEmpty())
        return say(QStringLiteral("Nothing to clear: select channels in use."));
    const QString caption = QStringLiteral("Clear ") + plural(cleared.size(), "channel");
    const QString refusal = edits_.store(caption, cleared);
    say(refusal.isEmpty() ? QStringLiteral("Cleared ") + plural(cleared.size(), "channel")
                          : refusal);
}

void FrmChannels::CopySelected() {
    QList<Channel> channels;
    for (int n : selectedNumbers())
        channels << model_->channel(n - 1);
    if (channels.isEmpty())
        return say(QStringLiteral("Nothing to copy: select channels first."));
    QStringList leftOut;
    QApplication::clipboard()->setText(ChannelsCsv(channels, true, &leftOut));
    say(QStringLiteral("Copied ") + plural(channels.size() - leftOut.size(), "channel") +
        (leftOut.isEmpty() ? QString()
                           : QStringLiteral("; ") + leftOut.join(QStringLiteral("; "))));
}

// The rows go to consecutive channels from the first selected one, in the order of their
// Locations; a row that only names its Location clears its channel.
void FrmChannels::Paste() {
    const QList<int> selected = selectedNumbers();
    if (selected.isEmpty())
        return say(QStringLiteral("Paste: select the channel to paste at first."));
    const CsvImport rows = ParseChannelsCsv(QApplication::clipboard()->text());
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
    if (last > ChannelLayout::kChannelCount)
        return say(QStringLiteral("Paste refused: %1 from channel %2 on would run past channel %3")
                       .arg(plural(channels.size(), "row"))
                       .arg(first)
                       .arg(ChannelLayout::kChannelCount));
    for (qsizetype i = 0; i < channels.size(); ++i)
        channels[i].number = first + int(i);
    const QString caption = QStringLiteral("Paste ") + plural(channels.size(), "channel");
    const QString refusal = edits_.store(caption, channels);
    if (!refusal.isEmpty())
        return say(QStringLiteral("Paste refused: ") + refusal);
    say(QStringLiteral("Pasted %1 at %2-%3")
            .arg(plural(channels.size(), "channel"))
            .arg(first)
            .arg(last) +
        (rows.warnings.isEmpty()
             ? QString()
             : QStringLiteral("; ") + rows.warnings.join(QStringLiteral("; "))));
}

void FrmChannels::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

#include "frmchannels.moc"
