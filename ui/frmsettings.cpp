#include "ui/frmsettings.h"

#include <QAction>
#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QValidator>

#include "edit/channeledits.h"
#include "memory/settings.h"

namespace {

// Takes what the setting takes. A text that no more typing can make right (too long, a
// character the field cannot hold) is refused at once; a latitude or a path half typed
// waits for the rest.
class SettingValidator : public QValidator {
public:
    SettingValidator(ChannelEdits& edits, const SettingRow& row, QObject* parent)
        : QValidator(parent), edits_(edits), row_(row) {}
    State validate(QString& input, int&) const override {
        QByteArray image = edits_.image();
        if (SetSetting(image, row_, input).isEmpty())
            return Acceptable;
        return row_.kind == SettingKind::Text ? Invalid : Intermediate;
    }

private:
    ChannelEdits& edits_;
    const SettingRow& row_;
};

}  // namespace

FrmSettings::FrmSettings(ChannelEdits& edits, QWidget* parent)
    : QWidget(parent, Qt::Window), edits_(edits) {
    setObjectName(QStringLiteral("frmSettings"));
    lstGroups = new QListWidget(this);
    lstGroups->setMaximumWidth(170);
    stkGroups = new QStackedWidget(this);
    lblStatus = new QLabel(this);
    lblStatus->setWordWrap(true);
    auto* panes = new QHBoxLayout;
    panes->addWidget(lstGroups);
    panes->addWidget(stkGroups, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(panes, 1);
    layout->addWidget(lblStatus);
    connect(lstGroups, &QListWidget::currentRowChanged, stkGroups,
            &QStackedWidget::setCurrentIndex);
    // Ctrl+Z and Ctrl+Shift+Z here too: the one stack, whichever window made the step.
    QAction* undo = edits.stack().createUndoAction(this);
    QAction* redo = edits.stack().createRedoAction(this);
    undo->setShortcut(QKeySequence::Undo);
    redo->setShortcut(QKeySequence::Redo);
    addActions({undo, redo});
    connect(&edits, &ChannelEdits::changed, this, [this](const EditNotice& notice) {
        if (notice.settings)
            refresh();
    });
    connect(&edits, &ChannelEdits::unsavedChanged, this, [this] { showTitle(); });
    resize(620, 560);
    Reload();
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
            for (const SettingRow& row : model ? SettingRows(*model) : QList<SettingRow>()) {
                if (row.group != group)
                    continue;
                QWidget* control = controlFor(row);
                control->setObjectName(row.key);
                control->setToolTip(row.unproven.isEmpty()
                                        ? row.key
                                        : row.key + QStringLiteral(": ") + row.unproven);
                control->setEnabled(row.unproven.isEmpty());
                layout->addRow(row.caption, control);
                controls_.append({&row, control});
            }
            if (layout->rowCount() == 0) {
                delete form;
                continue;
            }
            auto* scroll = new QScrollArea;
            scroll->setWidgetResizable(true);
            scroll->setWidget(form);
            stkGroups->addWidget(scroll);
            lstGroups->addItem(SettingGroupCaption(group));
        }
        lstGroups->setCurrentRow(0);
    }
    lblStatus->setText(model ? QString()
                             : QStringLiteral("There is no image: read the radio or open a file."));
    refresh();
    showTitle();
}

QWidget* FrmSettings::controlFor(const SettingRow& row) {
    if (row.kind == SettingKind::List) {
        auto* combo = new QComboBox;
        for (const QString& label : row.labels)
            if (!label.isEmpty())
                combo->addItem(label);
        // The offered values; an "index N" the image holds follows them while it does.
        combo->setProperty("offered", combo->count());
        connect(combo, &QComboBox::activated, this,
                [this, &row, combo](int i) { commit(row, combo->itemText(i)); });
        return combo;
    }
    if (row.kind == SettingKind::Number) {
        auto* spin = new QSpinBox;
        spin->setRange(row.low, row.high);
        spin->setKeyboardTracking(false);
        connect(spin, &QSpinBox::valueChanged, this,
                [this, &row](int value) { commit(row, QString::number(value)); });
        return spin;
    }
    auto* edit = new QLineEdit;
    edit->setValidator(new SettingValidator(edits_, row, edit));
    connect(edit, &QLineEdit::editingFinished, this,
            [this, &row, edit] { commit(row, edit->text()); });
    return edit;
}

void FrmSettings::refresh() {
    const QByteArray image = edits_.image();
    if (!model_ || MemoryMap::ModelOf(image) != model_)
        return;
    filling_ = true;
    for (const auto& [row, control] : controls_) {
        const QString text = SettingText(image, *row);
        if (auto* combo = qobject_cast<QComboBox*>(control)) {
            while (combo->count() > combo->property("offered").toInt())
                combo->removeItem(combo->count() - 1);
            if (combo->findText(text) < 0)
                combo->addItem(text);
            combo->setCurrentIndex(combo->findText(text));
        } else if (auto* spin = qobject_cast<QSpinBox*>(control)) {
            // A stored number outside the range is named in the tip; the box shows the nearest.
            spin->setValue(text.toInt());
            const bool outside = text.toInt() < row->low || text.toInt() > row->high;
            spin->setToolTip(row->key + (outside ? QStringLiteral(": the radio holds ") + text +
                                                       QStringLiteral(", outside its range")
                                                 : QString()));
        } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
            // Shown whole even where the validator would not take it (bytes that are no text).
            const QValidator* validator = edit->validator();
            edit->setValidator(nullptr);
            edit->setText(text);
            edit->setValidator(validator);
        }
    }
    filling_ = false;
}

void FrmSettings::commit(const SettingRow& row, const QString& text) {
    if (filling_ || !model_)
        return;
    const QByteArray before = edits_.image();
    const QString refusal = edits_.apply(row.key, [&](QByteArray& image) {
        const QString refused = SetSetting(image, row, text);
        return refused.isEmpty() ? SettingConflict(before, image, *model_) : refused;
    });
    lblStatus->setText(refusal.isEmpty() ? QString() : row.key + QStringLiteral(": ") + refusal);
    if (!refusal.isEmpty())
        refresh();  // the control shows what the image holds again
}

void FrmSettings::showTitle() {
    setWindowTitle(QStringLiteral("Radio Settings - ") + edits_.imageName() +
                   QStringLiteral("[*]"));
    setWindowModified(edits_.unsaved());
}
