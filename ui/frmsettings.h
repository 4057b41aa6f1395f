#pragma once

#include <QList>
#include <QWidget>
#include <optional>

#include "image/memorymap.h"

class QLabel;
class QListWidget;
class QStackedWidget;
class ChannelEdits;
struct SettingRow;

// The radio settings of the image held: the groups on the left, on the right a form with a
// control per setting (a list, a spin box with the setting's range, or a line edit that
// takes only what the setting can hold), each named and tipped by the setting's key. A
// setting whose encoding is not proven is shown disabled, with the reason in its tip.
// Every change is one step on the image's one undo stack, shared with the channel editor;
// the form follows every step done, undone or redone, and every new image.
class FrmSettings : public QWidget {
    Q_OBJECT
public:
    explicit FrmSettings(ChannelEdits& edits, QWidget* parent = nullptr);

    // Builds the form again for the image held (its model decides the settings shown).
    void Reload();

    QListWidget* lstGroups = nullptr;
    QStackedWidget* stkGroups = nullptr;
    QLabel* lblStatus = nullptr;

private:
    QWidget* controlFor(const SettingRow& row);
    // Shows the values the image holds now.
    void refresh();
    void commit(const SettingRow& row, const QString& text);
    void showTitle();

    ChannelEdits& edits_;
    std::optional<MemoryMap::Model> model_;
    QList<std::pair<const SettingRow*, QWidget*>> controls_;
    bool filling_ = false;
};
