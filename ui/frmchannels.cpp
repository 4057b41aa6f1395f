#include "ui/frmchannels.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTableWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "edit/imageedits.h"
#include "memory/bankedit.h"
#include "memory/channels.h"
#include "ui/channeldelegate.h"
#include "ui/channelmodel.h"
#include "ui/editmenu.h"

namespace {
// Room around a cell's text, and for the arrow of a list's editor.
constexpr int kCellPadding = 10;
constexpr int kListArrow = 12;
}  // namespace

FrmChannels::FrmChannels(ImageEdits& edits, QWidget* parent)
    : QWidget(parent, Qt::Window), edits_(edits) {
    setObjectName(QStringLiteral("frmChannels"));

    cboList = new QComboBox(this);
    cboList->setObjectName(QStringLiteral("cboList"));
    for (const MemoryListRow& row : kMemoryLists)
        cboList->addItem(QString::fromLatin1(row.caption));
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
    top->addWidget(cboList);
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
    connect(cboList, &QComboBox::currentIndexChanged, this, &FrmChannels::showList);
    connect(chkShowEmpty, &QCheckBox::toggled, this, refilter);
    connect(model_, &ChannelsModel::refused, this, &FrmChannels::say);
    connect(model_, &ChannelsModel::editing, lblStatus, &QLabel::clear);
    connect(grdChannels->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            &FrmChannels::currentMoved);
    connect(&edits_, &ImageEdits::changed, this, &FrmChannels::edited);
    connect(grdBanks, &QTableWidget::itemSelectionChanged, this, &FrmChannels::bankPicked);
    connect(grdBanks, &QTableWidget::cellChanged, this, &FrmChannels::bankRenamed);
    connect(&edits_, &ImageEdits::unsavedChanged, this, &FrmChannels::showTitle);
    connect(&edits_, &ImageEdits::editableChanged, this, &FrmChannels::updateActions);
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
        return AddEntry(this, menu, caption, name, keys, handler);
    };
    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuChannelsFile"));
    mnuClose = entry(mnuFile, QStringLiteral("&Close"), "mnuClose", {}, [this] { close(); });

    mnuEdit = menuBar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuEdit"));
    const UndoRedo undoRedo = AddUndoRedo(this, mnuEdit, edits_, redoing_);
    mnuUndo = undoRedo.undo;
    mnuRedo = undoRedo.redo;
    mnuEdit->addSeparator();
    mnuCopy = entry(mnuEdit, QStringLiteral("&Copy"), "mnuCopy", {QKeySequence::Copy},
                    [this] { CopySelected(); });
    mnuPaste = entry(mnuEdit, QStringLiteral("&Paste"), "mnuPaste", {QKeySequence::Paste},
                     [this] { Paste(); });
    mnuClear = entry(mnuEdit, QStringLiteral("C&lear"), "mnuClear", {QKeySequence::Delete},
                     [this] { ClearSelected(); });
    mnuUnmask =
        entry(mnuEdit, QStringLiteral("U&nmask"), "mnuUnmask", {}, [this] { UnmaskSelected(); });
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
    mnuContext->addActions({mnuCopy, mnuPaste, mnuClear, mnuUnmask});
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

// A masked entry, or a channel in another program's mode, says what it is when current.
void FrmChannels::currentMoved(const QModelIndex& current) {
    const QString foreign = QString::fromUtf8(kForeignModeNote);
    const QModelIndex at = filter_->mapToSource(current);
    const Channel* ch = at.isValid() ? &model_->channel(at.row()) : nullptr;
    if (ch && ch->masked)
        say(MaskedNote(ch->number));
    else if (ch && HasForeignMode(*ch))
        say(QStringLiteral("Channel %1: %2").arg(ch->text(ChannelField::Number), foreign));
    else if (lblStatus->text().endsWith(foreign) ||
             lblStatus->text().endsWith(MaskedNote(1).section(QLatin1Char(':'), 1)))
        lblStatus->clear();
}

// The rows first: the banks' pane reads the banks the model holds.
void FrmChannels::edited(const EditNotice& notice) {
    model_->updateChannels(edits_.image(), notice.channels);
    if (!notice.banks.isEmpty())
        fillBanks();
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
    const int masked = MaskedChannelCount(model_->channels());
    if (QTableWidgetItem* all = grdBanks->item(0, 2)) {
        const QSignalBlocker quiet(grdBanks);
        all->setText(QString::number(used));
    }
    const int count = model_->rowCount();
    lblUsed->setText(
        (masked ? QStringLiteral("%1 used, %2 masked of %3").arg(used).arg(masked).arg(count)
                : QStringLiteral("%1 of %2 used").arg(used).arg(count)) +
        QStringLiteral(", %1 shown").arg(filter_->rowCount()));
}

void FrmChannels::showTitle() {
    const QString name = edits_.imageName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Channels")
                                  : QStringLiteral("Channels - ") + name + QStringLiteral("[*]"));
    setWindowModified(edits_.unsaved());
}

void FrmChannels::updateActions() {
    const bool editable = edits_.editable();
    UpdateUndoRedo({mnuUndo, mnuRedo}, edits_);
    for (QAction* action : {mnuPaste, mnuClear, mnuUnmask, mnuMoveUp, mnuMoveDown, mnuInsert,
                            mnuDeleteShift, mnuSort, mnuSetSelected, mnuGoTo})
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

const Channel& FrmChannels::entry(int slot) const {
    return model_->channel(model_->rowOf(slot));
}

// Another list in the same table: the banks belong to the channels alone.
void FrmChannels::showList(int list) {
    const auto shown = ChannelList(list);
    const bool channels = shown == ChannelList::Channels;
    edits_.setShownList(shown);
    grdBanks->selectRow(0);
    grdBanks->setVisible(channels);
    grdChannels->setColumnHidden(kBanksColumn, !channels);
    model_->setList(shown, edits_.image());
    showCount();
}

QList<int> FrmChannels::selectedNumbers() const {
    QList<int> numbers;
    for (const QModelIndex& index : grdChannels->selectionModel()->selectedRows())
        numbers << model_->slotOf(filter_->mapToSource(index).row());
    std::sort(numbers.begin(), numbers.end());
    return numbers;
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
