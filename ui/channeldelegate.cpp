#include "ui/channeldelegate.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QValidator>
#include <algorithm>

#include "memory/channels.h"
#include "ui/channelmodel.h"

namespace {

// Takes, while typing, only what a name can hold: characters of the radio's table.
class NameValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& text, int&) const override {
        if (text.size() > ChannelLayout::kNameSize)
            return Invalid;
        for (const QChar c : text)
            if (!QLatin1StringView(ChannelLayout::kNameTable).contains(c))
                return Invalid;
        return Acceptable;
    }
};

}  // namespace

void LimitToName(QLineEdit* editor) {
    if (!editor)
        return;
    editor->setMaxLength(ChannelLayout::kNameSize);
    editor->setValidator(new NameValidator(editor));
}

QWidget* BankNameDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                        const QModelIndex& index) const {
    QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
    LimitToName(qobject_cast<QLineEdit*>(editor));
    return editor;
}

QWidget* ChannelDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                                       const QModelIndex& index) const {
    if (index.column() == kBanksColumn) {
        auto* ticks = new QListWidget(parent);
        ticks->setObjectName(QStringLiteral("lstBankTicks"));
        for (const Bank& bank : model_.banks()) {
            auto* item = new QListWidgetItem(QStringLiteral("%1  %2  (%3)")
                                                 .arg(bank.number)
                                                 .arg(bank.name)
                                                 .arg(bank.members.size()),
                                             ticks);
            item->setFlags(Qt::ItemIsUserCheckable | Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setData(Qt::UserRole, bank.number);
            item->setCheckState(Qt::Unchecked);
        }
        return ticks;
    }
    const QStringList choices = ChannelFieldChoices(ChannelField(index.column()));
    if (choices.isEmpty()) {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (ChannelField(index.column()) == ChannelField::Name)
            LimitToName(qobject_cast<QLineEdit*>(editor));
        return editor;
    }
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

void ChannelDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                           const QModelIndex& index) const {
    auto* ticks = qobject_cast<QListWidget*>(editor);
    if (!ticks)
        return QStyledItemDelegate::updateEditorGeometry(editor, option, index);
    const QRect room = editor->parentWidget()->rect();
    const int height = std::min(
        room.height(), ticks->sizeHintForRow(0) * ticks->count() + 2 * ticks->frameWidth());
    const int width = std::max(option.rect.width(), ticks->sizeHintForColumn(0) + 40);
    QRect at(option.rect.topLeft(), QSize(width, height));
    at.moveBottom(std::min(at.bottom(), room.bottom()));
    at.moveRight(std::min(at.right(), room.right()));
    editor->setGeometry(at);
}

void ChannelDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const {
    if (auto* ticks = qobject_cast<QListWidget*>(editor)) {
        // Over several channels a bank that holds some of them shows half ticked; left
        // so, their memberships of it stay as they are.
        const int number = index.siblingAtColumn(0).data(kSortRole).toInt();
        QList<int> inUse;
        for (int n : model_.editedWith(number))
            if (!model_.channel(n - 1).empty || n == number)
                inUse << n;
        for (int row = 0; row < ticks->count(); ++row) {
            QListWidgetItem* item = ticks->item(row);
            const QList<int> members = model_.banks().value(row).members;
            const auto held = std::count_if(inUse.begin(), inUse.end(),
                                            [&](int n) { return members.contains(n); });
            item->setCheckState(held == 0              ? Qt::Unchecked
                                : held == inUse.size() ? Qt::Checked
                                                       : Qt::PartiallyChecked);
        }
    } else if (auto* list = qobject_cast<QComboBox*>(editor)) {
        list->setCurrentIndex(list->findText(index.data(Qt::EditRole).toString()));
    } else {
        QStyledItemDelegate::setEditorData(editor, index);
    }
}

void ChannelDelegate::setModelData(QWidget* editor, QAbstractItemModel* model,
                                   const QModelIndex& index) const {
    if (auto* ticks = qobject_cast<QListWidget*>(editor)) {
        QList<int> join, leave;
        for (int row = 0; row < ticks->count(); ++row) {
            const int bank = ticks->item(row)->data(Qt::UserRole).toInt();
            if (ticks->item(row)->checkState() == Qt::Checked)
                join << bank;
            else if (ticks->item(row)->checkState() == Qt::Unchecked)
                leave << bank;
        }
        model->setData(index, QVariant::fromValue(QList<QList<int>>{join, leave}), kBankTicksRole);
    } else if (auto* list = qobject_cast<QComboBox*>(editor)) {
        model->setData(index, list->currentText(), Qt::EditRole);
    } else {
        QStyledItemDelegate::setModelData(editor, model, index);
    }
}

void ChannelDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                            const QModelIndex& index) const {
    QStyledItemDelegate::paint(painter, option, index);
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (view && (option.state & QStyle::State_Selected) && view->currentIndex() == index) {
        painter->save();
        painter->setPen(QPen(option.palette.color(QPalette::HighlightedText), 2));
        painter->drawRect(option.rect.adjusted(1, 1, -1, -1));
        painter->restore();
    }
}

void ChannelsView::mousePressEvent(QMouseEvent* event) {
    before_ = selectionModel() ? selectionModel()->selection() : QItemSelection();
    QTableView::mousePressEvent(event);
}

void ChannelsView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->modifiers() == Qt::NoModifier &&
        before_.contains(indexAt(event->position().toPoint())))
        selectionModel()->select(before_, QItemSelectionModel::ClearAndSelect);
    QTableView::mouseDoubleClickEvent(event);
}
