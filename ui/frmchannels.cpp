#include "ui/frmchannels.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "edit/channeledits.h"
#include "memory/bankedit.h"
#include "memory/channelcsv.h"
#include "memory/channelorder.h"
#include "memory/channels.h"
#include "ui/channeldelegate.h"
#include "ui/channelmodel.h"

namespace {
// Room around a cell's text, and for the arrow of a list's editor.
constexpr int kCellPadding = 10;
constexpr int kListArrow = 12;

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

namespace {

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
    chkShowEmpty = new QCheckBox(QStringLiteral("Show e&mpty"), this);
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
    filter_->setSortCaseSensitivity(Qt::CaseInsensitive);
    grdChannels = new ChannelsView(this);
    grdChannels->setObjectName(QStringLiteral("grdChannels"));
    grdChannels->setModel(filter_);
    grdChannels->setItemDelegate(new ChannelDelegate(*model_, grdChannels));
    model_->setSelection([this] { return selectedNumbers(); });
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

    grdBanks = new QTableWidget(ChannelLayout::kBankCount + 1, 4, this);
    grdBanks->setObjectName(QStringLiteral("grdBanks"));
    grdBanks->setHorizontalHeaderLabels({QStringLiteral("Bank"), QStringLiteral("Name"),
                                         QStringLiteral("Channels"), QStringLiteral("Members")});
    grdBanks->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdBanks->setSelectionMode(QAbstractItemView::SingleSelection);
    grdBanks->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed |
                              QAbstractItemView::AnyKeyPressed);
    grdBanks->verticalHeader()->hide();
    grdBanks->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    grdBanks->horizontalHeader()->setStretchLastSection(true);
    grdBanks->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdBanks->setWordWrap(false);
    grdBanks->setItemDelegateForColumn(1, new BankNameDelegate(grdBanks));

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
    // The banks under the channels: beside them the window would no longer fit next to the
    // main window on a common laptop screen.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(grdChannels);
    split->addWidget(grdBanks);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    layout->addWidget(split, 1);
    layout->addLayout(bottom);
    fitColumns();

    auto refilter = [this] {
        filter_->setFilter(txtFilter->text(), chkShowEmpty->isChecked());
        showCount();
    };
    connect(txtFilter, &QLineEdit::textChanged, this, refilter);
    connect(chkShowEmpty, &QCheckBox::toggled, this, refilter);
    connect(model_, &ChannelsModel::refused, this, &FrmChannels::say);
    connect(model_, &ChannelsModel::editing, lblStatus, &QLabel::clear);
    connect(grdChannels->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &FrmChannels::currentMoved);
    connect(&edits_, &ChannelEdits::channelsChanged, this, &FrmChannels::channelsChanged);
    connect(&edits_, &ChannelEdits::banksChanged, this, &FrmChannels::fillBanks);
    connect(grdBanks, &QTableWidget::itemSelectionChanged, this, &FrmChannels::bankPicked);
    connect(grdBanks, &QTableWidget::cellChanged, this, &FrmChannels::bankRenamed);
    connect(&edits_, &ChannelEdits::unsavedChanged, this, &FrmChannels::showTitle);
    connect(&edits_, &ChannelEdits::editableChanged, this, &FrmChannels::updateActions);
    QUndoStack& stack = edits_.stack();
    connect(&stack, &QUndoStack::canUndoChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::canRedoChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::undoTextChanged, this, &FrmChannels::updateActions);
    connect(&stack, &QUndoStack::redoTextChanged, this, &FrmChannels::updateActions);
    shownStep_ = stack.index();
    connect(&stack, &QUndoStack::indexChanged, this, &FrmChannels::stepped);
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
            if (edits_.editable()) {
                redoing_ = true;
                stack.redo();
                redoing_ = false;
            }
        });
    mnuEdit->addSeparator();
    mnuCopy = entry(mnuEdit, QStringLiteral("&Copy"), "mnuCopy", {QKeySequence::Copy},
                    [this] { CopySelected(); });
    mnuPaste = entry(mnuEdit, QStringLiteral("&Paste"), "mnuPaste", {QKeySequence::Paste},
                     [this] { Paste(); });
    mnuClear = entry(mnuEdit, QStringLiteral("C&lear"), "mnuClear", {QKeySequence::Delete},
                     [this] { ClearSelected(); });
    mnuEdit->addSeparator();
    mnuMoveUp = entry(mnuEdit, QStringLiteral("Mo&ve Up"), "mnuMoveUp",
                      {QKeySequence(QStringLiteral("Ctrl+Up"))}, [this] { MoveSelected(-1); });
    mnuMoveDown = entry(mnuEdit, QStringLiteral("Move &Down"), "mnuMoveDown",
                        {QKeySequence(QStringLiteral("Ctrl+Down"))}, [this] { MoveSelected(1); });
    mnuInsert = entry(mnuEdit, QStringLiteral("&Insert Empty Channel"), "mnuInsert",
                      {QKeySequence(Qt::Key_Insert)}, [this] { InsertAtSelection(); });
    mnuDeleteShift =
        entry(mnuEdit, QStringLiteral("Delete and S&hift Up"), "mnuDeleteShift",
              {QKeySequence(QStringLiteral("Ctrl+Delete"))}, [this] { DeleteShiftUp(); });
    mnuSort = entry(mnuEdit, QStringLiteral("&Sort Selected Channels..."), "mnuSort", {},
                    [this] { askSort(); });
    mnuEdit->addSeparator();
    mnuSetSelected = entry(mnuEdit, QStringLiteral("Set &for Selected..."), "mnuSetSelected", {},
                           [this] { askSetForSelected(); });
    mnuGoTo = entry(mnuEdit, QStringLiteral("&Go to Channel..."), "mnuGoTo",
                    {QKeySequence(QStringLiteral("Ctrl+G"))}, [this] { askGoTo(); });

    // The table's context menu: the entries that act on the selected channels. The menu key
    // and Shift+F10 open it at the current cell.
    mnuContext = new QMenu(this);
    mnuContext->setObjectName(QStringLiteral("mnuContext"));
    mnuContext->addActions({mnuCopy, mnuPaste, mnuClear});
    mnuContext->addSeparator();
    mnuContext->addActions({mnuMoveUp, mnuMoveDown, mnuInsert, mnuDeleteShift, mnuSort});
    mnuContext->addSeparator();
    mnuContext->addActions({mnuSetSelected, mnuGoTo});
    grdChannels->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(grdChannels, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        mnuContext->popup(grdChannels->viewport()->mapToGlobal(at));
    });
    auto* menuKey = new QAction(grdChannels);
    menuKey->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10));
    menuKey->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    grdChannels->addAction(menuKey);
    connect(menuKey, &QAction::triggered, this, [this] {
        const QRect cell = grdChannels->visualRect(grdChannels->currentIndex());
        emit grdChannels->customContextMenuRequested(cell.isValid() ? cell.center() : QPoint());
    });
}

// Every column wide enough for the widest text it can show, without measuring 900 rows:
// a list's longest entry, a frequency's ten characters, a name of eleven, three banks.
void FrmChannels::fitColumns() {
    const QFontMetrics cell = grdChannels->fontMetrics();
    const QFontMetrics header = grdChannels->horizontalHeader()->fontMetrics();
    int total = 0;
    for (int column = 0; column < kColumnCount; ++column) {
        const auto field = ChannelField(column);
        QStringList texts = column == kBanksColumn ? QStringList() : ChannelFieldChoices(field);
        const bool list = !texts.isEmpty();
        if (field == ChannelField::Number)
            texts << QStringLiteral("900");
        else if (field == ChannelField::Name)
            texts << QStringLiteral("NNNNNNNNNNN");
        else if (column == kBanksColumn)
            texts << QStringLiteral("1 12 24");
        else if (!list)
            texts << QStringLiteral("999.999999");
        const QString caption =
            model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
        int width = header.horizontalAdvance(caption) + kCellPadding;
        for (const QString& text : texts)
            width = std::max(width,
                             cell.horizontalAdvance(text) + kCellPadding + (list ? kListArrow : 0));
        grdChannels->setColumnWidth(column, width);
        total += width;
    }
    // The banks pane: a number, a name of sixteen characters, a count, then the members.
    const QFontMetrics banks = grdBanks->fontMetrics();
    const QString widest[] = {QStringLiteral("Bank"), QStringLiteral("NNNNNNNNNNNNNNNN"),
                              QStringLiteral("Channels")};
    for (int column = 0; column < 3; ++column)
        grdBanks->setColumnWidth(column, banks.horizontalAdvance(widest[column]) + kCellPadding);
    const int margins = layout()->contentsMargins().left() + layout()->contentsMargins().right();
    const int table = total + grdChannels->verticalScrollBar()->sizeHint().width() +
                      2 * grdChannels->frameWidth() + 2;
    // Never wider or taller than the screen, with room kept for a title bar.
    const QRect avail = screen()->availableGeometry();
    resize(qMin(table + margins, avail.width()), qMin(640, avail.height() - 32));
}

void FrmChannels::Reload() {
    model_->setChannels(edits_.image());
    fillBanks();
    lblStatus->clear();
    showCount();
    showTitle();
    updateActions();
}

// Every step done, undone or redone replaces what the status line said.
void FrmChannels::stepped(int index) {
    const QUndoStack& stack = edits_.stack();
    if (stack.count() > 0 && index < shownStep_)
        say(QStringLiteral("Undone: ") + stack.text(index));
    else if (stack.count() > 0 && index > shownStep_)
        say((redoing_ ? QStringLiteral("Redone: ") : QStringLiteral("Done: ")) +
            stack.text(index - 1));
    shownStep_ = index;
}

// A channel in another program's mode says, when current, what its mode is.
void FrmChannels::currentMoved(const QModelIndex& current) {
    const QString note = QString::fromUtf8(kForeignModeNote);
    const QModelIndex at = filter_->mapToSource(current);
    if (at.isValid() && HasForeignMode(model_->channel(at.row())))
        say(QStringLiteral("Channel %1: %2").arg(at.row() + 1).arg(note));
    else if (lblStatus->text().endsWith(note))
        lblStatus->clear();
}

// The channels in use that the filters hide: a move passes over them.
QList<int> FrmChannels::hiddenInUse() const {
    QList<int> hidden;
    for (int row = 0; row < model_->rowCount(); ++row)
        if (!model_->channel(row).empty && !filter_->mapFromSource(model_->index(row, 0)).isValid())
            hidden << row + 1;
    return hidden;
}

void FrmChannels::channelsChanged(const QList<int>& numbers) {
    model_->updateChannels(edits_.image(), numbers);
    showCount();
}

void FrmChannels::showCount() {
    if (!edits_.hasImage()) {
        if (QTableWidgetItem* all = grdBanks->item(0, 2)) {
            const QSignalBlocker quiet(grdBanks);
            all->setText(QString());
        }
        lblUsed->setText(QStringLiteral("No image: read the radio or open a file."));
        return;
    }
    const int used = UsedChannelCount(model_->channels());
    if (QTableWidgetItem* all = grdBanks->item(0, 2)) {
        const QSignalBlocker quiet(grdBanks);
        all->setText(QString::number(used));
    }
    lblUsed->setText(QStringLiteral("%1 of %2 used, %3 shown")
                         .arg(used)
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
    for (QAction* action : {mnuPaste, mnuClear, mnuMoveUp, mnuMoveDown, mnuInsert, mnuDeleteShift,
                            mnuSort, mnuSetSelected, mnuGoTo})
        action->setEnabled(editable);
    // A bank's name is edited in place; while a transfer runs nothing changes.
    grdBanks->setEditTriggers(editable ? QAbstractItemView::DoubleClicked |
                                             QAbstractItemView::EditKeyPressed |
                                             QAbstractItemView::AnyKeyPressed
                                       : QAbstractItemView::NoEditTriggers);
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
    say(QStringLiteral("Copied ") + plural(copied, "channel") +
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
    if (last > ChannelLayout::kChannelCount)
        return say(QStringLiteral("Paste refused: %1 from channel %2 on would run past channel %3")
                       .arg(plural(channels.size(), "row"))
                       .arg(first)
                       .arg(ChannelLayout::kChannelCount));
    const bool copiedHere = text == copiedText_ && copiedFrom_ == edits_.generation();
    QList<QList<int>> banks;
    for (qsizetype i = 0; i < channels.size(); ++i) {
        if (copiedHere)
            banks << copiedBanks_.value(channels[i].number);
        channels[i].number = first + int(i);
    }
    const QString caption = QStringLiteral("Paste ") + plural(channels.size(), "channel");
    const QString refusal = edits_.store(caption, channels, banks);
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

void FrmChannels::selectNumbers(const QList<int>& numbers) {
    QItemSelection rows;
    QModelIndex first;
    for (int n : numbers) {
        const QModelIndex shown = filter_->mapFromSource(model_->index(n - 1, 0));
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
    const QString what = QStringLiteral("Move %1 %2").arg(plural(numbers.size(), "channel"), way);
    const QList<int> hidden = hiddenInUse();
    QList<int> moved;
    if (change(
            what,
            [&](QByteArray& image) { return MoveChannels(image, numbers, delta, hidden, &moved); },
            QStringLiteral("Moved %1 %2").arg(plural(numbers.size(), "channel"), way)))
        selectNumbers(moved);
}

void FrmChannels::InsertAtSelection() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Insert: select the channel to insert at first."));
    const int at = numbers.first();
    if (model_->channel(at - 1).empty)
        return say(QStringLiteral("Insert: channel %1 is empty already.").arg(at));
    if (change(
            QStringLiteral("Insert at channel %1").arg(at),
            [at](QByteArray& image) { return InsertChannel(image, at); },
            QStringLiteral("Inserted an empty channel at %1").arg(at)))
        GoTo(at);
}

// Each selected channel is deleted from the highest down, so that the shifts of one never
// move another selected channel before its turn.
void FrmChannels::DeleteShiftUp() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Delete: select the channels to delete first."));
    const QString what = plural(numbers.size(), "channel");
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
    const QString range = rangeText(numbers) + QStringLiteral(" by ") + ChannelFieldName(field);
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
                           .arg(text)
                           .arg(ChannelLayout::kBankCount);
    } else {
        refusal = edits_.setFieldOn(numbers, field, text);
    }
    say(refusal.isEmpty()
            ? QStringLiteral("Set %1 on %2")
                  .arg(model_->headerData(int(field), Qt::Horizontal, Qt::DisplayRole).toString(),
                       plural(numbers.size(), "channel"))
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
    selectNumbers({number});
    grdChannels->scrollTo(shown(), QAbstractItemView::PositionAtCenter);
    grdChannels->setFocus();
}

void FrmChannels::askGoTo() {
    const QList<int> numbers = selectedNumbers();
    bool ok = false;
    const int number = QInputDialog::getInt(this, QStringLiteral("Go to Channel"),
                                            QStringLiteral("Channel (1-900):"), numbers.value(0, 1),
                                            1, ChannelLayout::kChannelCount, 1, &ok);
    // The box gave the focus back to no one in particular: the table takes it, so that the
    // keys act on the channel gone to.
    activateWindow();
    if (ok)
        GoTo(number);
}

namespace {

// A list of the channel's fields from the name on, each item's data its column; the banks
// last when they are offered.
QComboBox* fieldPicker(QDialog& box, bool banks) {
    auto* field = new QComboBox(&box);
    for (int column = int(ChannelField::Name); column < kChannelFieldCount; ++column)
        field->addItem(ChannelFieldName(ChannelField(column)), column);
    if (banks)
        field->addItem(QStringLiteral("Banks"), kBanksColumn);
    return field;
}

// Lays out a field box's heading and two rows above OK and Cancel, and runs it; true for OK.
bool runFieldBox(QDialog& box, QLabel* heading, const QString& firstLabel, QWidget* first,
                 const QString& secondLabel, QWidget* second) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &box);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
    heading->setObjectName(QStringLiteral("lblHeading"));
    auto* form = new QFormLayout(&box);
    form->addRow(heading);
    form->addRow(firstLabel, first);
    form->addRow(secondLabel, second);
    form->addRow(buttons);
    return box.exec() == QDialog::Accepted;
}

}  // namespace

// "channels 3-14" for a range, "11 selected channels of 3-840" for channels apart.
QString FrmChannels::rangeText(const QList<int>& numbers) {
    const int first = numbers.value(0), last = numbers.value(numbers.size() - 1);
    if (last - first + 1 == numbers.size())
        return QStringLiteral("channels %1-%2").arg(first).arg(last);
    return QStringLiteral("%1 selected channels of %2-%3").arg(numbers.size()).arg(first).arg(last);
}

// A small box: which column, which way; only the selected channels change places, among
// their own.
void FrmChannels::askSort() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.size() < 2)
        return say(QStringLiteral("Sort: select the range of channels to sort first."));
    QDialog box(this);
    box.setWindowTitle(QStringLiteral("Sort Selected Channels"));
    QComboBox* field = fieldPicker(box, false);
    auto* order = new QComboBox(&box);
    order->addItems({QStringLiteral("Ascending"), QStringLiteral("Descending")});
    const QString others = rangeText(numbers).startsWith(QLatin1String("channels"))
                               ? QString()
                               : QStringLiteral("; the channels between them stay");
    auto* heading = new QLabel(QStringLiteral("Sorts %1%2.").arg(rangeText(numbers), others), &box);
    if (runFieldBox(box, heading, QStringLiteral("Sort by:"), field, QStringLiteral("Order:"),
                    order))
        SortSelected(ChannelField(field->currentData().toInt()),
                     order->currentIndex() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// A small box: the field, then its value typed or picked from the field's list; it says how
// many of the selected channels the field will change.
void FrmChannels::askSetForSelected() {
    const QList<int> numbers = selectedNumbers();
    if (numbers.isEmpty())
        return say(QStringLiteral("Set: select the channels to change first."));
    qsizetype inUse = 0;
    for (int n : numbers)
        inUse += model_->channel(n - 1).empty ? 0 : 1;
    QDialog box(this);
    box.setWindowTitle(QStringLiteral("Set for %1").arg(plural(numbers.size(), "channel")));
    QComboBox* field = fieldPicker(box, true);
    auto* value = new QComboBox(&box);
    auto* heading = new QLabel(&box);
    auto offer = [&] {
        const int column = field->currentData().toInt();
        const QStringList choices =
            column == kBanksColumn ? QStringList() : ChannelFieldChoices(ChannelField(column));
        value->clear();
        value->setEditable(choices.isEmpty());
        value->addItems(choices);
        if (QLineEdit* line = value->lineEdit()) {  // kept from the field before
            line->setValidator(nullptr);
            line->setMaxLength(32767);
            line->setPlaceholderText(QString());
        }
        if (column == int(ChannelField::Name))
            LimitToName(value->lineEdit());
        if (column == kBanksColumn)
            value->lineEdit()->setPlaceholderText(QStringLiteral("bank numbers: 1 4"));
        // Only a frequency puts empty channels in use.
        const qsizetype changed = column == int(ChannelField::Frequency) ? numbers.size() : inUse;
        heading->setText(changed == numbers.size()
                             ? QStringLiteral("Changes %1.").arg(plural(changed, "channel"))
                             : QStringLiteral("Changes %1 of the %2 selected; the empty ones "
                                              "stay empty.")
                                   .arg(plural(changed, "channel"))
                                   .arg(numbers.size()));
    };
    offer();
    connect(field, &QComboBox::currentIndexChanged, &box, offer);
    if (runFieldBox(box, heading, QStringLiteral("Field:"), field, QStringLiteral("Value:"), value))
        SetForSelected(ChannelField(field->currentData().toInt()), value->currentText());
}

// The pane's first row shows every channel; the others are the banks, whose names are
// edited in place.
void FrmChannels::fillBanks() {
    const QList<Bank> banks = model_->banks();
    const QSignalBlocker quiet(grdBanks);
    auto put = [this](int row, int column, const QString& text, bool editable) {
        // Items are kept and rewritten: this runs inside the signal of an edited one.
        QTableWidgetItem* item = grdBanks->item(row, column);
        if (!item) {
            item = new QTableWidgetItem;
            grdBanks->setItem(row, column, item);
        }
        item->setText(text);
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled |
                       (editable ? Qt::ItemIsEditable : Qt::NoItemFlags));
        if (column == 0 || column == 2)
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    };
    put(0, 0, QString(), false);
    put(0, 1, QStringLiteral("All channels"), false);
    put(0, 2, QString(), false);  // the count of channels in use, from showCount
    put(0, 3, QString(), false);
    for (int b = 1; b <= ChannelLayout::kBankCount; ++b) {
        const Bank bank = b <= banks.size() ? banks[b - 1] : Bank{};
        put(b, 0, QString::number(b), false);
        put(b, 1, bank.name, edits_.hasImage());
        put(b, 2, edits_.hasImage() ? QString::number(bank.members.size()) : QString(), false);
        QStringList members;
        for (int n : bank.members)
            members << QString::number(n);
        put(b, 3, members.join(QLatin1Char(' ')), false);
    }
    if (grdBanks->selectedItems().isEmpty())
        grdBanks->selectRow(0);
    // The members of the bank shown may have changed.
    bankPicked();
}

void FrmChannels::bankPicked() {
    const QList<QTableWidgetItem*> picked = grdBanks->selectedItems();
    const int bank = picked.isEmpty() ? 0 : picked.first()->row();
    const QList<Bank>& banks = model_->banks();
    filter_->setBank(bank,
                     bank > 0 && bank <= banks.size() ? banks[bank - 1].members : QList<int>());
    showCount();
}

void FrmChannels::bankRenamed(int row, int column) {
    if (row < 1 || column != 1)
        return;
    const QString name = grdBanks->item(row, column)->text();
    const QString refusal =
        edits_.apply(QStringLiteral("Bank %1: Name").arg(row),
                     [&](QByteArray& image) { return RenameBank(image, row, name); });
    say(refusal);
    // A refused name goes back to the one held; an accepted one shows as stored.
    fillBanks();
}
