#include "print/channelpdf.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

#include "image/imagefile.h"
#include "memory/channels.h"
#include "memory/settings.h"

namespace {

// A frequency or offset in MHz with the decimals it needs, at least three ("146.520",
// "446.00625"); other text ("?") as it is.
QString printedMegahertz(const QString& megahertz) {
    const qsizetype dot = megahertz.indexOf(QLatin1Char('.'));
    if (dot < 0)
        return megahertz;
    qsizetype end = megahertz.size();
    while (end > dot + 4 && megahertz[end - 1] == QLatin1Char('0'))
        --end;
    return megahertz.left(end);
}

struct Column {
    QString heading;
    bool right = false;  // numbers align right
};

// The channels in use as rows of cells under the layout's columns.
struct Table {
    QList<Column> columns;
    QList<QStringList> rows;
};

Table channelTable(const QList<Channel>& channels, const QList<Bank>& banks, PrintLayout layout) {
    using F = ChannelField;
    const bool pocket = layout == PrintLayout::PocketCard;
    // The duplex prints as "Shift" (on the pocket card with the offset in it), the tone mode
    // as "Tone" with the tone or code it uses.
    const QList<F> fields =
        pocket ? QList<F>{F::Number, F::Name, F::Frequency, F::Duplex, F::ToneMode, F::Mode}
               : QList<F>{F::Number,   F::Name, F::Frequency, F::Duplex, F::Offset,
                          F::ToneMode, F::Mode, F::Step,      F::Power,  F::Skip};
    Table table;
    for (F field : fields)
        table.columns << Column{field == F::Duplex     ? QStringLiteral("Shift")
                                : field == F::ToneMode ? QStringLiteral("Tone")
                                                       : ChannelFieldName(field),
                                ChannelRow(field).numeric() || field == F::Step};
    // Only the channels have banks.
    const bool withBanks = !pocket && !banks.isEmpty();
    if (withBanks)
        table.columns << Column{"Banks"};
    // A masked channel is hidden on the radio: not printed.
    for (const Channel& ch : channels) {
        if (ch.empty || ch.masked)
            continue;
        // A simplex channel has no offset to print; a split one transmits on its own
        // frequency.
        const QString duplex = ch.text(F::Duplex);
        const QString offset = ch.duplex == 0 ? QString() : printedMegahertz(ch.text(F::Offset));
        QStringList row;
        for (F field : fields) {
            QString text = field == F::Offset ? offset : ch.text(field);
            if (field == F::Frequency)
                text = printedMegahertz(text);
            if (field == F::Duplex && pocket)
                text = ch.duplex == 3     ? duplex + QLatin1Char(' ') + offset
                       : duplex.isEmpty() ? QString()
                                          : duplex + offset;
            if (field == F::ToneMode)
                text = ch.toneMode > 0
                           ? text + QLatin1Char(' ') + ch.text(ch.toneMode == 3 ? F::Dcs : F::Tone)
                           : QString();
            row << text;
        }
        if (withBanks)
            row << ChannelBanksText(banks, ch.number);
        table.rows << row;
    }
    return table;
}

// The banks in use, one paragraph each: "Bank 1 Home (3 channels): 1 SIMPLEX, 2 RPT, 900".
QStringList bankParagraphs(const QList<Channel>& channels, const QList<Bank>& banks) {
    QStringList paragraphs;
    for (const Bank& bank : banks) {
        if (bank.members.isEmpty())
            continue;
        QStringList members;
        for (int number : bank.members) {
            const Channel& ch = channels[number - 1];
            members << (ch.empty || ch.name.isEmpty()
                            ? QString::number(number)
                            : QString::number(number) + QLatin1Char(' ') + ch.name);
        }
        paragraphs << QStringLiteral("Bank ") + QString::number(bank.number) +
                          (bank.name.isEmpty() ? QString() : QLatin1Char(' ') + bank.name) +
                          QStringLiteral(" (") + QString::number(bank.members.size()) +
                          (bank.members.size() == 1 ? QStringLiteral(" channel): ")
                                                    : QStringLiteral(" channels): ")) +
                          members.join(QStringLiteral(", "));
    }
    if (paragraphs.isEmpty())
        paragraphs << QStringLiteral("No bank is in use.");
    return paragraphs;
}

// Places text on pages from the top down. Every text is drawn as given, never through
// markup or a format string: a name keeps its spaces and its "%1". The first pass has no
// painter and only counts the pages, so that the second can head each with "page N of M".
class Sheet {
public:
    Sheet(QPdfWriter& writer, QPainter* painter, int pages, const QStringList& head, bool small)
        : writer_(writer), painter_(painter), pages_(pages), head_(head) {
        const qreal size = small ? 6.5 : 8;
        font_.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
        font_.setStyleHint(QFont::SansSerif);
        // Plain glyphs, no ligatures: the text searches and copies as it was written ("fi").
        font_.setStyleStrategy(QFont::PreferNoShaping);
        font_.setPointSizeF(size);
        bold_ = font_;
        bold_.setBold(true);
        title_ = bold_;
        title_.setPointSizeF(size + 4);
    }

    const QFont& font() const { return font_; }
    const QFont& bold() const { return bold_; }
    int page() const { return page_; }
    qreal width() const { return writer_.width(); }
    qreal bottom() const { return writer_.height(); }
    qreal lineHeight() const { return QFontMetricsF(font_, &writer_).height() * 1.25; }
    qreal textWidth(const QString& text, const QFont& font) const {
        return QFontMetricsF(font, &writer_).horizontalAdvance(text);
    }
    // The height of `text` wrapped to `width`.
    qreal wrappedHeight(const QString& text, qreal width) const {
        return QFontMetricsF(font_, &writer_)
            .boundingRect(QRectF(0, 0, width, 1e6), Qt::TextWordWrap, text)
            .height();
    }

    // Starts a new page, with the head, when `height` does not fit below `y` (or no page is
    // started); true when it did.
    bool ensureRoom(qreal height) {
        if (page_ > 0 && y + height <= bottom())
            return false;
        newPage();
        return true;
    }
    void newPage() {
        if (painter_ && page_ > 0)
            writer_.newPage();
        ++page_;
        const qreal titleHeight = QFontMetricsF(title_, &writer_).height();
        draw(QRectF(0, 0, width(), titleHeight), Qt::AlignLeft | Qt::AlignBottom, head_.value(0),
             title_);
        draw(QRectF(0, 0, width(), titleHeight), Qt::AlignRight | Qt::AlignBottom,
             QStringLiteral("page ") + QString::number(page_) + QStringLiteral(" of ") +
                 QString::number(pages_),
             font_);
        y = titleHeight;
        draw(QRectF(0, y, width(), lineHeight()), Qt::AlignLeft | Qt::AlignVCenter, head_.value(1),
             font_);
        y += lineHeight() * 1.2;
        if (painter_)
            painter_->drawLine(QPointF(0, y), QPointF(width(), y));
        y += lineHeight() * 0.5;
    }

    void draw(const QRectF& rect, int flags, const QString& text, const QFont& font) {
        if (!painter_ || text.isEmpty())
            return;
        painter_->setFont(font);
        painter_->drawText(rect, flags, text);
    }
    void shade(const QRectF& rect) {
        if (painter_)
            painter_->fillRect(rect, QColor(235, 235, 235));
    }

    qreal y = 0;

private:
    QPdfWriter& writer_;
    QPainter* painter_;
    int pages_;
    int page_ = 0;
    QStringList head_;
    QFont font_, bold_, title_;
};

// The table's column widths: each as wide as its widest text, the last taking what is left
// of `room` (its text wraps there) unless `wrapLast` is false.
QList<qreal> columnWidths(const Sheet& sheet, const Table& table, qreal gap, qreal room,
                          bool wrapLast) {
    QList<qreal> widths;
    for (qsizetype c = 0; c < table.columns.size(); ++c) {
        qreal w = sheet.textWidth(table.columns[c].heading, sheet.bold());
        for (const QStringList& row : table.rows)
            w = qMax(w, sheet.textWidth(row[c], sheet.font()));
        widths << w + gap;
    }
    if (wrapLast) {
        qreal others = 0;
        for (qsizetype c = 0; c + 1 < widths.size(); ++c)
            others += widths[c];
        widths.last() = qMax(widths.last() - gap, room - others);
    }
    return widths;
}

void drawRow(Sheet& sheet, const Table& table, const QList<qreal>& widths, qreal x, qreal gap,
             const QStringList& cells, const QFont& font, qreal height) {
    for (qsizetype c = 0; c < cells.size(); ++c) {
        const bool last = c + 1 == cells.size();
        const int align = table.columns[c].right ? Qt::AlignRight : Qt::AlignLeft;
        const qreal w = widths[c] - (table.columns[c].right ? gap : 0);
        sheet.draw(QRectF(x, sheet.y, w, height),
                   align | Qt::AlignTop | (last ? Qt::TextWordWrap : Qt::TextSingleLine), cells[c],
                   font);
        x += widths[c];
    }
}

// A table whose heading repeats on every page.
void layOutTable(Sheet& sheet, const Table& table) {
    const qreal gap = sheet.textWidth(QStringLiteral("  "), sheet.font());
    const qreal line = sheet.lineHeight();
    const QList<qreal> widths = columnWidths(sheet, table, gap, sheet.width(), true);
    QStringList headings;
    for (const Column& column : table.columns)
        headings << column.heading;
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        const qreal height = qMax(line, sheet.wrappedHeight(table.rows[r].last(), widths.last()));
        if (sheet.ensureRoom(height + line)) {
            drawRow(sheet, table, widths, 0, gap, headings, sheet.bold(), line);
            sheet.y += line;
        }
        if (r % 2 == 1)
            sheet.shade(QRectF(0, sheet.y, sheet.width(), height));
        drawRow(sheet, table, widths, 0, gap, table.rows[r], sheet.font(), height);
        sheet.y += height;
    }
}

// A section's title with room for a few lines under it.
void layOutTitle(Sheet& sheet, const QString& title) {
    const qreal line = sheet.lineHeight();
    sheet.ensureRoom(line * 3);
    sheet.y += line;
    sheet.draw(QRectF(0, sheet.y, sheet.width(), line), Qt::AlignLeft, title, sheet.bold());
    sheet.y += line * 1.25;
}

// The full list: the channels, the banks, then the skip-search and PMS memories when the
// radio holds any.
void layOutFullList(Sheet& sheet, const QByteArray& image, const Table& table,
                    const QStringList& banks) {
    const qreal line = sheet.lineHeight();
    layOutTable(sheet, table);
    layOutTitle(sheet, QStringLiteral("Banks"));
    for (const QString& paragraph : banks) {
        const qreal height = sheet.wrappedHeight(paragraph, sheet.width());
        sheet.ensureRoom(height);
        sheet.draw(QRectF(0, sheet.y, sheet.width(), height), Qt::AlignLeft | Qt::TextWordWrap,
                   paragraph, sheet.font());
        sheet.y += height + line * 0.4;
    }
    for (const auto& [list, title] : {std::pair{ChannelList::Skip, "Skip-search memories"},
                                      std::pair{ChannelList::Pms, "PMS memories"}}) {
        const Table entries = channelTable(DecodeChannels(image, list), {}, PrintLayout::FullList);
        if (entries.rows.isEmpty())
            continue;
        layOutTitle(sheet, QLatin1String(title));
        layOutTable(sheet, entries);
    }
}

// The last pages of the full list: the radio settings by group, each with its value; one
// whose place or meaning is not proven is marked so, as the settings file leaves it a comment.
void layOutSettings(Sheet& sheet, const QByteArray& image) {
    const std::optional<MemoryMap::Model> model = MemoryMap::ModelOf(image);
    if (!model)
        return;
    const qreal line = sheet.lineHeight();
    sheet.newPage();
    sheet.draw(QRectF(0, sheet.y, sheet.width(), line), Qt::AlignLeft,
               QStringLiteral("Radio settings"), sheet.bold());
    QString group;
    for (const SettingRow& row : SettingRows(*model)) {
        if (row.group != group) {
            group = row.group;
            sheet.y += line * 1.5;
            sheet.ensureRoom(line * 2);
            sheet.draw(QRectF(0, sheet.y, sheet.width(), line), Qt::AlignLeft,
                       SettingGroupCaption(group), sheet.bold());
        }
        sheet.y += line;
        sheet.ensureRoom(line);
        sheet.draw(QRectF(0, sheet.y, sheet.width() * 0.35, line), Qt::AlignLeft, row.caption,
                   sheet.font());
        sheet.draw(QRectF(sheet.width() * 0.35, sheet.y, sheet.width() * 0.65, line),
                   Qt::AlignLeft | Qt::TextSingleLine,
                   SettingText(image, row) +
                       (row.unproven.isEmpty() ? QString() : QStringLiteral(" (not proven)")),
                   sheet.font());
    }
}

// The pocket card: the table in narrow columns side by side, each headed, filled top down.
void layOutPocketCard(Sheet& sheet, const Table& table) {
    const qreal gap = sheet.textWidth(QStringLiteral("  "), sheet.font());
    const qreal line = sheet.lineHeight() * 0.9;
    const QList<qreal> widths = columnWidths(sheet, table, gap, 0, false);
    qreal slotWidth = 0;
    for (qreal w : widths)
        slotWidth += w;
    const qreal between = gap * 2;
    const int across = qMax(1, int((sheet.width() + between) / (slotWidth + between)));
    QStringList headings;
    for (const Column& column : table.columns)
        headings << column.heading;
    sheet.ensureRoom(0);
    qreal top = sheet.y;
    int slot = -1;
    for (qsizetype r = 0; r < table.rows.size(); ++r) {
        if (slot < 0 || sheet.y + line > sheet.bottom()) {
            if (++slot == across) {
                sheet.newPage();
                top = sheet.y;
                slot = 0;
            }
            sheet.y = top;
            drawRow(sheet, table, widths, slot * (slotWidth + between), gap, headings, sheet.bold(),
                    line);
            sheet.y += line;
        }
        const qreal x = slot * (slotWidth + between);
        if (r % 2 == 1)
            sheet.shade(QRectF(x, sheet.y, slotWidth, line));
        drawRow(sheet, table, widths, x, gap, table.rows[r], sheet.font(), line);
        sheet.y += line;
    }
}

// Lays out the whole list; returns the number of pages.
int layOut(Sheet& sheet, const QByteArray& image, PrintLayout layout) {
    const QList<Channel> channels = DecodeChannels(image);
    const QList<Bank> banks = DecodeBanks(image);
    const Table table = channelTable(channels, banks, layout);
    if (layout == PrintLayout::PocketCard)
        layOutPocketCard(sheet, table);
    else {
        layOutFullList(sheet, image, table, bankParagraphs(channels, banks));
        layOutSettings(sheet, image);
    }
    return sheet.page();
}

}  // namespace

QPageSize::PageSizeId PrintPageSize(const QLocale& locale) {
    static const QList<QLocale::Territory> kLetter = {
        QLocale::UnitedStates,      QLocale::Canada,    QLocale::Mexico,      QLocale::Chile,
        QLocale::Colombia,          QLocale::CostaRica, QLocale::Guatemala,   QLocale::Panama,
        QLocale::PuertoRico,        QLocale::Venezuela, QLocale::Philippines, QLocale::ElSalvador,
        QLocale::DominicanRepublic, QLocale::Nicaragua};
    return kLetter.contains(locale.territory()) ? QPageSize::Letter : QPageSize::A4;
}

QString WriteChannelsPdf(const QByteArray& image, const QString& path, const QString& name,
                         const QDateTime& date, QPageSize::PageSizeId pageSize,
                         PrintLayout layout) {
    // The writer's fonts come from the platform, which only a QGuiApplication starts.
    if (!QCoreApplication::instance() || !QCoreApplication::instance()->inherits("QGuiApplication"))
        return QStringLiteral("Cannot save \"") + path +
               QStringLiteral("\": printing needs the graphical part of Qt, which was not started");
    // The title names the model and the date; the line under it the image and its use.
    const bool pocket = layout == PrintLayout::PocketCard;
    const QString kind = pocket ? QStringLiteral("pocket card") : QStringLiteral("memory channels");
    const QString model = ShortModelName(image);
    QString title = (model.isEmpty() ? QStringLiteral("VX-8") : model) + ' ' + kind;
    if (date.isValid())
        title += QStringLiteral(", ") + date.toString(QStringLiteral("yyyy-MM-dd HH:mm"));
    const QList<Channel> channels = DecodeChannels(image);
    const QStringList head = {title, name + QStringLiteral("  ·  ") +
                                         QString::number(UsedChannelCount(channels)) +
                                         QStringLiteral(" of ") + QString::number(channels.size()) +
                                         QStringLiteral(" channels in use")};
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(pageSize));
        writer.setPageMargins(pocket ? QMarginsF(10, 10, 10, 10) : QMarginsF(15, 12, 15, 12),
                              QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("Quorlink"));
        writer.setTitle(title);
        Sheet count(writer, nullptr, 0, head, pocket);
        const int pages = layOut(count, image, layout);
        QPainter painter;
        if (!painter.begin(&writer))
            return QStringLiteral("Cannot save \"") + path +
                   QStringLiteral("\": the PDF writer did not start");
        painter.setPen(QPen(Qt::black, 2));
        Sheet sheet(writer, &painter, pages, head, pocket);
        layOut(sheet, image, layout);
        painter.end();
    }
    QString error;
    if (!SaveFileAtomically(path, pdf.data(), &error))
        return error;
    return {};
}
