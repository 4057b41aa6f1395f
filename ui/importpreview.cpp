#include "ui/importpreview.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "memory/channelimport.h"
#include "memory/channels.h"

namespace {
// A preview names this many skipped rows, then counts the rest.
constexpr int kSkippedShown = 200;
}  // namespace

ImportPreview::ImportPreview(QWidget* parent, const QByteArray& image,
                             QList<DirectoryEntry> entries,
                             std::optional<std::pair<double, double>> position)
    : QDialog(parent), image_(image), entries_(std::move(entries)) {
    setWindowTitle(QStringLiteral("Import Repeater Directory"));
    auto* choices = new QWidget(this);
    auto* form = new QFormLayout(choices);
    form->setContentsMargins(0, 0, 0, 0);
    txtNear = new QLineEdit(choices);
    txtNear->setObjectName(QStringLiteral("txtNear"));
    txtNear->setPlaceholderText(QStringLiteral("40.7128,-74.0060 (empty: the file's order)"));
    if (position)
        txtNear->setText(QStringLiteral("%1,%2")
                             .arg(position->first, 0, 'f', 4)
                             .arg(position->second, 0, 'f', 4));
    txtWithin = new QLineEdit(choices);
    txtWithin->setObjectName(QStringLiteral("txtWithin"));
    txtWithin->setPlaceholderText(QStringLiteral("40 km, or 25mi (empty: any distance)"));
    form->addRow(QStringLiteral("Near (latitude, longitude):"), txtNear);
    form->addRow(QStringLiteral("Within:"), txtWithin);
    build(choices);
    connect(txtNear, &QLineEdit::textChanged, this, &ImportPreview::refresh);
    connect(txtWithin, &QLineEdit::textChanged, this, &ImportPreview::refresh);
    refresh();
}

ImportPreview::ImportPreview(QWidget* parent, const QByteArray& image, const QByteArray& other)
    : QDialog(parent), image_(image), other_(other) {
    setWindowTitle(QStringLiteral("Import Channels from Another Image"));
    auto* choices = new QWidget(this);
    auto* box = new QVBoxLayout(choices);
    box->setContentsMargins(0, 0, 0, 0);
    lstChannels = new QListWidget(choices);
    lstChannels->setObjectName(QStringLiteral("lstChannels"));
    for (const Channel& ch : DecodeChannels(other)) {
        if (ch.empty || ch.masked)
            continue;
        auto* item = new QListWidgetItem(QStringLiteral("%1  %2  %3")
                                             .arg(ch.number, 3)
                                             .arg(ch.text(ChannelField::Frequency))
                                             .arg(ch.name),
                                         lstChannels);
        item->setData(Qt::UserRole, ch.number);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    auto* selectAll = new QPushButton(QStringLiteral("Select &All"), choices);
    selectAll->setObjectName(QStringLiteral("cmdSelectAll"));
    connect(selectAll, &QPushButton::clicked, this, [this] {
        for (int i = 0; i < lstChannels->count(); ++i)
            lstChannels->item(i)->setCheckState(Qt::Checked);
    });
    box->addWidget(lstChannels);
    box->addWidget(selectAll);
    build(choices);
    connect(lstChannels, &QListWidget::itemChanged, this, &ImportPreview::refresh);
    refresh();
}

void ImportPreview::build(QWidget* choices) {
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choices);
    auto* placing = new QFormLayout;
    spnFirst = new QSpinBox(this);
    spnFirst->setObjectName(QStringLiteral("spnFirst"));
    spnFirst->setRange(1, ChannelLayout::kChannelCount);
    cboBank = new QComboBox(this);
    cboBank->setObjectName(QStringLiteral("cboBank"));
    cboBank->addItem(QStringLiteral("none"));
    for (const Bank& bank : DecodeBanks(image_))
        cboBank->addItem(bank.name.isEmpty()
                             ? QString::number(bank.number)
                             : QStringLiteral("%1 %2").arg(bank.number).arg(bank.name));
    placing->addRow(QStringLiteral("From channel:"), spnFirst);
    placing->addRow(QStringLiteral("Join bank:"), cboBank);
    layout->addLayout(placing);
    txtPreview = new QPlainTextEdit(this);
    txtPreview->setObjectName(QStringLiteral("txtPreview"));
    txtPreview->setReadOnly(true);
    txtPreview->setLineWrapMode(QPlainTextEdit::NoWrap);
    layout->addWidget(txtPreview, 1);
    lblFree = new QLabel(this);
    lblFree->setObjectName(QStringLiteral("lblFree"));
    layout->addWidget(lblFree);
    buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Import"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(spnFirst, &QSpinBox::valueChanged, this, &ImportPreview::refresh);
    resize(640, 560);
}

int ImportPreview::bank() const {
    return cboBank ? cboBank->currentIndex() : 0;
}

void ImportPreview::refresh() {
    QStringList problems;
    CsvImport import;
    if (lstChannels) {
        QStringList ticked;
        for (int i = 0; i < lstChannels->count(); ++i)
            if (lstChannels->item(i)->checkState() == Qt::Checked)
                ticked << EntryName(lstChannels->item(i)->data(Qt::UserRole).toInt());
        const CsvImport all = ImageChannels(other_, ChannelList::Channels, false, false);
        import = all;
        import.channels.clear();
        import.origins.clear();
        import.distancesKm.clear();
        import.banks.clear();
        for (qsizetype i = 0; i < all.channels.size(); ++i) {
            if (!ticked.contains(all.origins[i]))
                continue;
            import.channels << all.channels[i];
            import.origins << all.origins[i];
            import.distancesKm << -1;
            import.banks << QList<int>();
        }
    } else {
        DirectoryFilter filter;
        double lat = 0, lon = 0;
        if (ParsePoint(txtNear->text(), &lat, &lon))
            filter.near = std::make_pair(lat, lon);
        else if (!txtNear->text().trimmed().isEmpty())
            problems << QStringLiteral(
                "The point is a latitude and a longitude in decimal "
                "degrees: 40.7128,-74.0060");
        if (!txtWithin->text().trimmed().isEmpty()) {
            filter.withinKm = ParseDistanceKm(txtWithin->text());
            if (filter.withinKm < 0)
                problems << QStringLiteral(
                    "The distance is kilometres, or miles with \"mi\": "
                    "40, 25mi");
            else if (!filter.near)
                problems << QStringLiteral("A distance needs a point to measure from");
        }
        if (problems.isEmpty())
            import = DirectoryChannels(entries_, filter);
    }
    PlaceImport(image_, import, ChannelList::Channels, spnFirst->value(), true);
    plan_ = problems.isEmpty() ? import : CsvImport();
    QStringList lines = problems;
    for (qsizetype i = 0; i < plan_.channels.size(); ++i) {
        const Channel& ch = plan_.channels[i];
        QString line = QStringLiteral("ch %1  %2  %3  %4")
                           .arg(ch.number, 3)
                           .arg(ch.text(ChannelField::Frequency))
                           .arg(ch.name, -16)
                           .arg(plan_.origins.value(i));
        if (plan_.distancesKm.value(i, -1) >= 0)
            line += QStringLiteral("  %1 km").arg(plan_.distancesKm[i], 0, 'f', 1);
        lines << line;
    }
    const QStringList skipped = plan_.skipped + plan_.refusals;
    for (qsizetype i = 0; i < skipped.size() && i < kSkippedShown; ++i)
        lines << QStringLiteral("skipped: ") + skipped[i];
    if (skipped.size() > kSkippedShown)
        lines << QStringLiteral("... and %1 more skipped").arg(skipped.size() - kSkippedShown);
    txtPreview->setPlainText(lines.join(QLatin1Char('\n')));
    const int free =
        FreeSlots(image_, ChannelList::Channels, spnFirst->value()) - int(plan_.channels.size());
    lblFree->setText(QStringLiteral("%1 to store, %2 skipped; %3 free channels left from %4 on")
                         .arg(plan_.channels.size())
                         .arg(skipped.size())
                         .arg(free)
                         .arg(spnFirst->value()));
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!plan_.channels.isEmpty());
}
