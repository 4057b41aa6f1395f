#pragma once

#include <QHash>
#include <QList>
#include <QWidget>
#include <functional>

#include "memory/channels.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QModelIndex;
class QTableView;
class QTableWidget;
class ImageEdits;
struct EditNotice;
class ChannelsModel;
class ChannelsFilter;

// The channel editor: the memory channels of the image held in a sortable table (or, picked
// above it, the skip-search or PMS memories, without banks; masked entries greyed), with a
// filter on name or frequency and empty channels hidden unless asked for, and beside it the
// 24 banks with their names and member counts (picking one shows only its members). Cells
// are edited in place (names and frequencies typed, a name only as far as the radio can
// hold it, the other fields picked from their lists, the banks ticked); with several rows
// selected an edit, begun by F2, typing or a double-click, sets the field on all of them
// (ticking a bank changes that bank only). Delete clears the selected channels, Ctrl+C
// copies them as CSV, Ctrl+V pastes CSV or tab-separated rows from the first selected
// channel on (with their banks when they were copied from the image held); the Edit menu
// also moves, inserts, deletes (shifting up) and sorts channels, each carrying its banks.
// Only the channels selected, which are always shown ones, take part in a sort, a move or a
// bulk edit. Every change can be undone, and every change, undo and redo replaces what the
// status line says; a refused change says why there and changes nothing. The window is
// modeless, so that it never holds up a transfer's waits, and follows every new image.
// The table's model and filter are in channelmodel.h, its cell editors in channeldelegate.h,
// the Edit menu's actions in channelactions.cpp and their boxes in channelboxes.h.
class FrmChannels : public QWidget {
    Q_OBJECT
public:
    explicit FrmChannels(ImageEdits& edits, QWidget* parent = nullptr);
    ~FrmChannels() override;

    // Decodes the image held again; called when the image changes.
    void Reload();

    // Clear, copy and paste on the selected channels, as their shortcuts do.
    void ClearSelected();
    // Makes the selected masked channels used again, their data as kept.
    void UnmaskSelected();
    void CopySelected();
    void Paste();
    // The channel numbers of the selected rows, lowest first.
    QList<int> selectedNumbers() const;
    // Selects the rows of `numbers` (shown ones), the first one current and in sight.
    void selectNumbers(const QList<int>& numbers);

    // The order of the channels, each one step; the selection follows the channels moved. A
    // move passes over the channels the filters hide; a sort rearranges the selected
    // channels among their own places.
    void MoveSelected(int delta);
    void InsertAtSelection();
    void DeleteShiftUp();
    void SortSelected(ChannelField field, Qt::SortOrder order);
    // Sets one field to `text` on every selected channel, as one step; the field after the
    // last, ChannelField(kChannelFieldCount), sets the banks from their numbers ("1 4").
    void SetForSelected(ChannelField field, const QString& text);
    // Selects location `number` of the list shown and brings it into sight, showing empty channels,
    // or dropping the filters, when they hide it.
    void GoTo(int number);

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuClear = nullptr;
    QAction* mnuUnmask = nullptr;
    QAction* mnuMoveUp = nullptr;
    QAction* mnuMoveDown = nullptr;
    QAction* mnuInsert = nullptr;
    QAction* mnuDeleteShift = nullptr;
    QAction* mnuSort = nullptr;
    QAction* mnuSetSelected = nullptr;
    QAction* mnuGoTo = nullptr;
    // The table's context menu (its key, Shift+F10 or a right click).
    QMenu* mnuContext = nullptr;
    QTableWidget* grdBanks = nullptr;
    // The list shown: Channels, Skip search, PMS.
    QComboBox* cboList = nullptr;
    QLineEdit* txtFilter = nullptr;
    QCheckBox* chkShowEmpty = nullptr;
    QTableView* grdChannels = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblUsed = nullptr;

private:
    void buildMenus();
    void fitColumns();
    void fillBanks();
    void bankPicked();
    void bankRenamed(int row, int column);
    void askSort();
    void askSetForSelected();
    void askGoTo();
    // Runs an order change as one step; says the refusal, or `done`.
    bool change(const QString& caption, const std::function<QString(QByteArray&)>& what,
                const QString& done);
    void showCount();
    void showTitle();
    void updateActions();
    void edited(const EditNotice& notice);
    void stepped(int index);
    void currentMoved(const QModelIndex& current);
    QList<int> hiddenInUse() const;
    void say(const QString& text);
    void showList(int list);
    const Channel& entry(int slot) const;

    ImageEdits& edits_;
    ChannelsModel* model_ = nullptr;
    ChannelsFilter* filter_ = nullptr;
    // The undo stack's index the status line last spoke of, and whether a redo runs.
    int shownStep_ = 0;
    bool redoing_ = false;
    // What Copy last put on the clipboard, the image it came from and each row's banks.
    QString copiedText_;
    int copiedFrom_ = -1;
    QHash<int, QList<int>> copiedBanks_;
};
