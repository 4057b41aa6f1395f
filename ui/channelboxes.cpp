#include "ui/channelboxes.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>

#include "ui/channeldelegate.h"
#include "ui/channelmodel.h"

namespace {

// A list of the channel's fields from the name on, each item's data its column; the banks
// last when they are offered.
QComboBox* fieldPicker(QDialog& box, bool banks) {
    auto* field = new QComboBox(&box);
    for (const ChannelFieldRow& row : ChannelRows().subspan(1))
        field->addItem(QString::fromLatin1(row.caption), int(row.id));
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

QString Plural(qsizetype count, const char* one) {
    return QStringLiteral("%1 %2%3")
        .arg(count)
        .arg(QLatin1String(one))
        .arg(count == 1 ? QString() : QStringLiteral("s"));
}

QString RangeText(const QList<int>& numbers) {
    const int first = numbers.value(0), last = numbers.value(numbers.size() - 1);
    if (last - first + 1 == numbers.size())
        return QStringLiteral("channels %1-%2").arg(first).arg(last);
    return QStringLiteral("%1 selected channels of %2-%3").arg(numbers.size()).arg(first).arg(last);
}

bool AskSort(QWidget* parent, const QList<int>& numbers, ChannelField* chosen, Qt::SortOrder* way) {
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("Sort Selected Channels"));
    QComboBox* field = fieldPicker(box, false);
    auto* order = new QComboBox(&box);
    order->addItems({QStringLiteral("Ascending"), QStringLiteral("Descending")});
    const QString others = RangeText(numbers).startsWith(QLatin1String("channels"))
                               ? QString()
                               : QStringLiteral("; the channels between them stay");
    auto* heading = new QLabel(QStringLiteral("Sorts %1%2.").arg(RangeText(numbers), others), &box);
    if (!runFieldBox(box, heading, QStringLiteral("Sort by:"), field, QStringLiteral("Order:"),
                     order))
        return false;
    *chosen = ChannelField(field->currentData().toInt());
    *way = order->currentIndex() == 0 ? Qt::AscendingOrder : Qt::DescendingOrder;
    return true;
}

bool AskSetForSelected(QWidget* parent, qsizetype count, qsizetype inUse, ChannelField* chosen,
                       QString* text) {
    QDialog box(parent);
    box.setWindowTitle(QStringLiteral("Set for %1").arg(Plural(count, "channel")));
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
        const qsizetype changed = column == int(ChannelField::Frequency) ? count : inUse;
        heading->setText(changed == count
                             ? QStringLiteral("Changes %1.").arg(Plural(changed, "channel"))
                             : QStringLiteral("Changes %1 of the %2 selected; the empty ones "
                                              "stay empty.")
                                   .arg(Plural(changed, "channel"))
                                   .arg(count));
    };
    offer();
    QObject::connect(field, &QComboBox::currentIndexChanged, &box, offer);
    if (!runFieldBox(box, heading, QStringLiteral("Field:"), field, QStringLiteral("Value:"),
                     value))
        return false;
    *chosen = ChannelField(field->currentData().toInt());
    *text = value->currentText();
    return true;
}
