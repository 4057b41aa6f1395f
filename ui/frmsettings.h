#pragma once

#include <QHash>
#include <QList>
#include <QWidget>
#include <optional>

#include "image/memorymap.h"

class QAction;
class QComboBox;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QStackedWidget;
class ImageEdits;
struct EditNotice;
struct SettingRow;

// The radio settings of the image held: the groups on the left, on the right a form with a
// control per setting (a list, a spin box with the setting's range and unit, or a line
// edit), each named by its caption and tipped with what it takes and its key. A setting
// whose encoding is not proven is shown disabled, and its page says what that means.
// A control shows only what the image holds: when Enter, Tab or a click leaves it (or a
// menu or shortcut is used, or the window closes) its text is stored, or refused with the
// reason in the status line and the stored value shown again; Escape gives the stored value
// back while typing. Every change is one step on the image's one undo stack, shared with
// the channel editor; the form follows every step done, undone or redone, and every new
// image. The File and Radio entries are the main window's own, handed in (Form1).
class FrmSettings : public QWidget {
    Q_OBJECT
public:
    explicit FrmSettings(ImageEdits& edits, QWidget* parent = nullptr);

    // Builds the form again for the image held (its model decides the settings shown).
    void Reload();
    // Stores the text of the control being typed in, as leaving it would; false when it was
    // refused.
    bool commitPending();

    QMenuBar* menuBar = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuEdit = nullptr;
    QAction* mnuUndo = nullptr;
    QAction* mnuRedo = nullptr;
    QListWidget* lstGroups = nullptr;
    QStackedWidget* stkGroups = nullptr;
    QLabel* lblStatus = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    struct Control {
        const SettingRow* row = nullptr;
        QWidget* widget = nullptr;
        QString tip;    // caption and forms; refresh adds what the image holds, then the key
        QString shown;  // the text the control was given, to know when it is typed over
    };
    void buildMenus();
    QWidget* controlFor(const SettingRow& row);
    static QComboBox* narrow(QComboBox* combo);
    // Shows the values the image holds now, in every control or in one.
    void refresh();
    void showValue(Control& control, const QByteArray& image);
    // The text typed into a control, and whether it differs from what the image holds.
    QString typed(const Control& control) const;
    bool dirty(const Control& control) const;
    bool commit(const SettingRow& row, const QString& text);
    void stepped(int index);
    void updateActions();
    void say(const QString& text, bool refusal = false);
    void showTitle();
    Control* controlOf(QObject* object);

    ImageEdits& edits_;
    std::optional<MemoryMap::Model> model_;
    QList<Control> controls_;
    bool filling_ = false;
    // The undo stack's index the status line last spoke of, whether a redo runs and whether
    // the step being pushed or taken back changed settings.
    int shownStep_ = 0;
    bool redoing_ = false;
    bool settingsStep_ = false;
    bool refusalShown_ = false;
};
