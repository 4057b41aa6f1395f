#include "ui/frmsettings.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <algorithm>

#include "edit/imageedits.h"
#include "memory/channeledit.h"
#include "memory/settings.h"
#include "ui/editmenu.h"

namespace {

// A list this long is also typed into ("+09:00"), with completion from its values.
constexpr int kTypedListLength = 10;

// A spin box that lets any text be typed, so that a number outside the range reaches the
// window, which refuses it with the reason, instead of keys that silently do nothing.
class SettingSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    QValidator::State validate(QString& input, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(input, pos);
        return state == QValidator::Invalid ? QValidator::Intermediate : state;
    }
};

// What a page with greyed settings says of them; each one's tip gives its own reason.
QString greyedNote(MemoryMap::Model model) {
    return QStringLiteral("Where the %1 keeps these is not proven: shown, not changed")
        .arg(MemoryMap::ModelName(model));
}

}  // namespace

FrmSettings::FrmSettings(ImageEdits& edits, QWidget* parent)
    : QWidget(parent, Qt::Window), edits_(edits) {
    setObjectName(QStringLiteral("frmSettings"));
    lstGroups = new QListWidget(this);
    lstGroups->setObjectName(QStringLiteral("lstGroups"));
    lstGroups->setMaximumWidth(170);
    stkGroups = new QStackedWidget(this);
    lblStatus = new QLabel(this);
    lblStatus->setObjectName(QStringLiteral("lblStatus"));
    lblStatus->setWordWrap(true);
    lblStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);
    buildMenus();
    auto* panes = new QHBoxLayout;
    panes->addWidget(lstGroups);
    panes->addWidget(stkGroups, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(menuBar);
    layout->addLayout(panes, 1);
    layout->addWidget(lblStatus);
    connect(lstGroups, &QListWidget::currentRowChanged, this, [this](int page) {
        stkGroups->setCurrentIndex(page);
        if (!refusalShown_)
            lblStatus->clear();
    });
    connect(&edits, &ImageEdits::changed, this, [this](const EditNotice& notice) {
        settingsStep_ = notice.settings;
        if (notice.settings)
            refresh();
    });
    connect(&edits, &ImageEdits::unsavedChanged, this, [this] { showTitle(); });
    connect(&edits, &ImageEdits::editableChanged, this, &FrmSettings::updateActions);
    QUndoStack& stack = edits.stack();
    connect(&stack, &QUndoStack::canUndoChanged, this, &FrmSettings::updateActions);
    connect(&stack, &QUndoStack::canRedoChanged, this, &FrmSettings::updateActions);
    connect(&stack, &QUndoStack::undoTextChanged, this, &FrmSettings::updateActions);
    connect(&stack, &QUndoStack::redoTextChanged, this, &FrmSettings::updateActions);
    shownStep_ = stack.index();
    connect(&stack, &QUndoStack::indexChanged, this, &FrmSettings::stepped);
    resize(620, 560);
    Reload();
}

void FrmSettings::buildMenus() {
    menuBar = new QMenuBar(this);
    auto entry = [this](QMenu* menu, const QString& caption, const char* name,
                        const QList<QKeySequence>& keys, auto handler) {
        return AddEntry(this, menu, caption, name, keys, handler);
    };
    mnuFile = menuBar->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuSettingsFile"));
    mnuClose = entry(mnuFile, QStringLiteral("&Close"), "mnuClose", {}, [this] { close(); });
    mnuEdit = menuBar->addMenu(QStringLiteral("&Edit"));
    mnuEdit->setObjectName(QStringLiteral("mnuSettingsEdit"));
    // The one stack, whichever window made the step, with the Channels window's keys.
    const UndoRedo undoRedo = AddUndoRedo(this, mnuEdit, edits_, redoing_);
    mnuUndo = undoRedo.undo;
    mnuRedo = undoRedo.redo;
    // A menu opened while a value is typed takes the value first, as leaving the field does.
    menuBar->installEventFilter(this);
}

void FrmSettings::Reload() {
    const std::optional<MemoryMap::Model> model = MemoryMap::ModelOf(edits_.image());
    if (model != model_ || controls_.isEmpty()) {
        model_ = model;
        controls_.clear();
        lstGroups->clear();
        while (stkGroups->count() > 0) {
            QWidget* page = stkGroups->widget(0);
            stkGroups->removeWidget(page);
            delete page;
        }
        for (const QString& group : SettingGroups()) {
            auto* form = new QWidget;
            auto* layout = new QFormLayout(form);
            bool greyed = false;
            for (const SettingRow& row : model ? SettingRows(*model) : QList<SettingRow>()) {
                if (row.group != group)
                    continue;
                QWidget* control = controlFor(row);
                control->setObjectName(row.key);
                control->setEnabled(row.unproven.isEmpty());
                QStringList tip{row.caption, SettingForms(row)};
                if (!row.unproven.isEmpty()) {
                    greyed = true;
                    tip << QStringLiteral("Greyed: %1; shown, not changed").arg(row.unproven);
                }
                layout->addRow(row.caption, control);
                controls_.append({&row, control, tip.join(QLatin1Char('\n')), {}});
            }
            if (layout->rowCount() == 0) {
                delete form;
                continue;
            }
            if (greyed) {
                auto* note = new QLabel(greyedNote(*model));
                note->setObjectName(QStringLiteral("lblGreyed"));
                note->setWordWrap(true);
                layout->insertRow(0, note);
            }
            auto* scroll = new QScrollArea;
            scroll->setWidgetResizable(true);
            scroll->setWidget(form);
            scroll->setFocusPolicy(Qt::NoFocus);
            stkGroups->addWidget(scroll);
            lstGroups->addItem(SettingGroupCaption(group));
        }
        for (Control& c : controls_) {
            c.widget->installEventFilter(this);
            if (auto* spin = qobject_cast<QAbstractSpinBox*>(c.widget))
                spin->findChild<QLineEdit*>()->installEventFilter(this);
            else if (auto* combo = qobject_cast<QComboBox*>(c.widget); combo && combo->lineEdit())
                combo->lineEdit()->installEventFilter(this);
        }
        lstGroups->setCurrentRow(0);
    }
    refusalShown_ = false;
    lblStatus->setText(model ? QString()
                             : QStringLiteral("There is no image: read the radio or open a file."));
    shownStep_ = edits_.stack().index();
    refresh();
    showTitle();
    updateActions();
}

QWidget* FrmSettings::controlFor(const SettingRow& row) {
    if (const QStringList notes = SettingValueNotes(row); !notes.isEmpty()) {
        // Numbers with a common meaning: picked from the list that explains them.
        auto* combo = narrow(new QComboBox);
        for (int n = row.low; n <= row.high; ++n)
            combo->addItem(notes.value(n - row.low).isEmpty()
                               ? QString::number(n)
                               : QStringLiteral("%1 (%2)").arg(n).arg(notes[n - row.low]),
                           n);
        combo->setProperty("offered", combo->count());
        connect(combo, &QComboBox::activated, this,
                [this, &row, combo](int i) { commit(row, combo->itemData(i).toString()); });
        return combo;
    }
    if (row.kind == SettingKind::List) {
        auto* combo = narrow(new QComboBox);
        for (const QString& label : row.labels)
            if (!label.isEmpty())
                combo->addItem(label);
        if (combo->count() > kTypedListLength) {
            combo->setEditable(true);
            combo->setInsertPolicy(QComboBox::NoInsert);
        }
        // The offered values; an "index N" the image holds follows them while it does.
        combo->setProperty("offered", combo->count());
        connect(combo, &QComboBox::activated, this,
                [this, &row, combo](int i) { commit(row, combo->itemText(i)); });
        return combo;
    }
    if (row.kind == SettingKind::Number) {
        auto* spin = new SettingSpinBox;
        spin->setRange(row.low, row.high);
        spin->setKeyboardTracking(false);
        connect(spin, &QSpinBox::valueChanged, this,
                [this, &row](int value) { commit(row, QString::number(value)); });
        return spin;
    }
    return new QLineEdit;
}

// A list as wide as the form gives it, however long its longest value: the page never
// scrolls sideways.
QComboBox* FrmSettings::narrow(QComboBox* combo) {
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(12);
    return combo;
}

void FrmSettings::refresh() {
    const QByteArray image = edits_.image();
    if (!model_ || MemoryMap::ModelOf(image) != model_)
        return;
    filling_ = true;
    for (Control& control : controls_)
        showValue(control, image);
    filling_ = false;
}

void FrmSettings::showValue(Control& c, const QByteArray& image) {
    const QString text = SettingText(image, *c.row);
    QString held;  // what the image holds that the control cannot show as it is
    if (auto* combo = qobject_cast<QComboBox*>(c.widget)) {
        const bool numbers = !SettingValueNotes(*c.row).isEmpty();
        while (combo->count() > combo->property("offered").toInt())
            combo->removeItem(combo->count() - 1);
        int at = numbers ? combo->findData(text.toInt()) : combo->findText(text);
        if (at < 0) {
            combo->addItem(text, text.toInt());
            at = combo->count() - 1;
        }
        combo->setCurrentIndex(at);
        if (combo->isEditable())
            combo->setEditText(text);
        c.shown = combo->currentText();
    } else if (auto* spin = qobject_cast<QSpinBox*>(c.widget)) {
        // A stored number outside the range is shown as it is and named in the tip; the box
        // reaches it, and anything outside the range is refused when stored.
        const QString unit = SettingUnit(image, *c.row);
        spin->setSuffix(unit.isEmpty()                ? QString()
                        : unit == QStringLiteral("°") ? unit
                                                      : QLatin1Char(' ') + unit);
        const int value = text.toInt();
        spin->setRange(std::min(c.row->low, value), std::max(c.row->high, value));
        spin->setValue(value);
        spin->setValue(value);  // the text again too, where the value was the same
        if (value < c.row->low || value > c.row->high)
            held = QStringLiteral("The radio holds %1, outside this range").arg(text);
        c.shown = spin->cleanText();
    } else if (auto* edit = qobject_cast<QLineEdit*>(c.widget)) {
        edit->setText(text);
        edit->setCursorPosition(0);
        c.shown = text;
    }
    c.widget->setToolTip(c.tip + (held.isEmpty() ? QString() : QLatin1Char('\n') + held) +
                         QStringLiteral("\nCommand line: ") + c.row->key);
}

QString FrmSettings::typed(const Control& c) const {
    if (auto* spin = qobject_cast<QSpinBox*>(c.widget))
        return spin->cleanText();
    if (auto* combo = qobject_cast<QComboBox*>(c.widget))
        return combo->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(c.widget))
        return edit->text();
    return {};
}

bool FrmSettings::dirty(const Control& c) const {
    return c.widget->isEnabled() && typed(c) != c.shown;
}

bool FrmSettings::commit(const SettingRow& row, const QString& text) {
    if (filling_ || !model_)
        return true;
    const QByteArray before = edits_.image();
    // The step names the setting and the value it takes: "Volume, band A: 9".
    QByteArray probe = before;
    const QString step = SetSetting(probe, row, text).isEmpty()
                             ? row.caption + QStringLiteral(": ") + SettingText(probe, row)
                             : row.caption;
    const QString refusal = edits_.apply(step, [&](QByteArray& image) {
        const QString refused = SetSetting(image, row, text);
        return refused.isEmpty() ? SettingConflict(before, image, *model_) : refused;
    });
    if (refusal.isEmpty()) {
        if (refusalShown_)
            say(QString());
    } else {
        // The reason names a setting by its key where another one conflicts; the owner knows
        // it by its caption, and the value typed is named once.
        const QString value = QLatin1Char('"') + EscapedControls(text) + QLatin1Char('"');
        QString reason = refusal;
        for (const Control& other : std::as_const(controls_)) {
            if (!reason.startsWith(other.row->key + QStringLiteral(": ")))
                continue;
            reason = reason.mid(other.row->key.size() + 2);
            if (other.row != &row)
                reason = other.row->caption + QStringLiteral(": ") + reason;
            else if (reason.startsWith(text.trimmed() + QLatin1Char(' ')))
                reason = value + reason.mid(text.trimmed().size());  // "5" is not below ...
            break;
        }
        say(reason.startsWith(value)
                ? row.caption + QStringLiteral(": ") + reason
                : QStringLiteral("%1: %2 refused: %3").arg(row.caption, value, reason),
            true);
    }
    // The controls show what the image holds: the stored value again after a refusal, the
    // value as stored ("KK7DS") after a change, what was there when nothing changed.
    refresh();
    return refusal.isEmpty();
}

bool FrmSettings::commitPending() {
    Control* c = controlOf(focusWidget());
    return !c || !dirty(*c) || commit(*c->row, typed(*c));
}

FrmSettings::Control* FrmSettings::controlOf(QObject* object) {
    for (QObject* o = object; o && o != this; o = o->parent())
        for (Control& c : controls_)
            if (c.widget == o)
                return &c;
    return nullptr;
}

bool FrmSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == menuBar) {
        if (event->type() == QEvent::MouseButtonPress)
            commitPending();
        return QWidget::eventFilter(watched, event);
    }
    Control* c = controlOf(watched);
    if (!c)
        return QWidget::eventFilter(watched, event);
    const bool typedInto =
        !qobject_cast<QComboBox*>(c->widget) || static_cast<QComboBox*>(c->widget)->isEditable();
    if (event->type() == QEvent::KeyPress && typedInto) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            commit(*c->row, typed(*c));
            return true;
        }
        if (key == Qt::Key_Escape && dirty(*c)) {
            // As in a cell of the Channels window: the typing is dropped, the window stays.
            refresh();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut && dirty(*c)) {
        // A menu's popup leaves the field as a click elsewhere does; the field's own popups
        // (its list, completion and context menu) do not.
        bool leaves = static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason;
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            leaves = true;
            for (QObject* o = menu; o; o = o->parent())
                leaves = leaves && o != c->widget;
        }
        if (leaves)
            commit(*c->row, typed(*c));
    } else if (event->type() == QEvent::ShortcutOverride) {
        // A shortcut of this window's menus takes the value typed first; Undo and Redo go to
        // the window's steps unless there is typing to take back.
        const QKeySequence keys(static_cast<QKeyEvent*>(event)->keyCombination());
        for (QAction* menu : menuBar->actions())
            for (QAction* action : menu->menu() ? menu->menu()->actions() : QList<QAction*>())
                if (action->isEnabled() && action->shortcuts().contains(keys)) {
                    if ((action == mnuUndo || action == mnuRedo) && dirty(*c))
                        return false;
                    commitPending();
                    return true;  // not accepted: the shortcut runs
                }
    }
    return QWidget::eventFilter(watched, event);
}

void FrmSettings::closeEvent(QCloseEvent* event) {
    commitPending();
    QWidget::closeEvent(event);
}

// Every step done, undone or redone on the settings says so; a step on the channels does
// not concern this window.
void FrmSettings::stepped(int index) {
    const QUndoStack& stack = edits_.stack();
    if (settingsStep_ && stack.count() > 0 && index < shownStep_)
        say(QStringLiteral("Undone: ") + stack.text(index));
    else if (settingsStep_ && stack.count() > 0 && index > shownStep_)
        say((redoing_ ? QStringLiteral("Redone: ") : QStringLiteral("Done: ")) +
            stack.text(index - 1));
    settingsStep_ = false;
    shownStep_ = index;
}

void FrmSettings::updateActions() {
    const bool editable = edits_.editable();
    UpdateUndoRedo({mnuUndo, mnuRedo}, edits_);
    // While a transfer runs nothing changes.
    stkGroups->setEnabled(editable);
}

void FrmSettings::say(const QString& text, bool refusal) {
    lblStatus->setText(text);
    refusalShown_ = refusal;
}

void FrmSettings::showTitle() {
    setWindowTitle(QStringLiteral("Radio Settings - ") + edits_.imageName() +
                   QStringLiteral("[*]"));
    setWindowModified(edits_.unsaved());
}
