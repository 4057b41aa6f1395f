#pragma once

#include <QList>
#include <QWidget>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QTableView;
class ChannelEdits;
class ChannelsModel;
class ChannelsFilter;

// The channel editor: the memory channels of the image held in a sortable table, with a
// filter on name or frequency and empty channels hidden unless asked for. Cells are edited
// in place (names and frequencies typed, the other fields picked from their lists); Delete
// clears the selected channels, Ctrl+C copies them as CSV, Ctrl+V pastes CSV or
// tab-separated rows from the first selected channel on, and every change can be undone.
// A refused change says why in the status line and changes nothing. The window is modeless,
// so that it never holds up a transfer's waits, and follows every new image.
class FrmChannels : public QWidget {
    Q_OBJECT
public:
    explicit FrmChannels(ChannelEdits& edits, QWidget* parent = nullptr);
    ~FrmChannels() override;

    // Decodes the image held again; called when the image changes.
    void Reload();

    // Clear, copy and paste on the selected channels, as their shortcuts do.
    void ClearSelected();
    void CopySelected();
    void Paste();
    // The channel numbers of the selected rows, lowest first.
    QList<int> selectedNumbers() const;

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QAction* mnuCopy = nullptr;
    QAction* mnuPaste = nullptr;
    QAction* mnuClear = nullptr;
    QLineEdit* txtFilter = nullptr;
    QCheckBox* chkShowEmpty = nullptr;
    QTableView* grdChannels = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblUsed = nullptr;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    void fitColumns();
    void showCount();
    void showTitle();
    void updateActions();
    void channelsChanged(const QList<int>& numbers);
    void say(const QString& text);

    ChannelEdits& edits_;
    ChannelsModel* model_ = nullptr;
    ChannelsFilter* filter_ = nullptr;
};
