#include "clone/channelpdf.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QPainter>
#include <QPdfWriter>
#include <QTextDocument>

#include "clone/channels.h"
#include "clone/imagefile.h"

namespace {

QString Escaped(const QString& text) {
    return text.toHtmlEscaped();
}

QString Cell(const QString& text, bool right = false) {
    return QStringLiteral("<td%1>%2</td>")
        .arg(right ? QStringLiteral(" align=\"right\"") : QString(), Escaped(text));
}

// The channels in use as one table whose heading repeats on every page, then the banks.
QString BodyHtml(const QByteArray& image) {
    const QList<Channel> channels = DecodeChannels(image);
    const QList<Bank> banks = DecodeBanks(image);
    QString html = QStringLiteral("<p>%1 of %2 channels used</p>")
                       .arg(UsedChannelCount(channels))
                       .arg(channels.size());
    html += QStringLiteral("<table cellspacing=\"0\" cellpadding=\"3\" width=\"100%\"><thead><tr>");
    const QList<ChannelField> fields = {
        ChannelField::Number, ChannelField::Name,   ChannelField::Frequency,
        ChannelField::Duplex, ChannelField::Offset, ChannelField::Mode,
        ChannelField::Step,   ChannelField::Power,  ChannelField::Skip};
    auto numeric = [](ChannelField field) {
        return field == ChannelField::Number || field == ChannelField::Frequency ||
               field == ChannelField::Offset;
    };
    for (ChannelField field : fields) {
        html += QStringLiteral("<th align=\"%1\">%2</th>")
                    .arg(numeric(field) ? QStringLiteral("right") : QStringLiteral("left"),
                         Escaped(ChannelFieldName(field)));
        if (field == ChannelField::Offset)
            html += QStringLiteral("<th align=\"left\">Tone</th>");
    }
    html += QStringLiteral("<th align=\"left\">Banks</th></tr></thead>");
    for (const Channel& ch : channels) {
        if (ch.empty)
            continue;
        html += QStringLiteral("<tr>");
        for (ChannelField field : fields) {
            html += Cell(ch.text(field), numeric(field));
            if (field != ChannelField::Offset)
                continue;
            const ChannelField tone = ch.toneMode == 3 ? ChannelField::Dcs : ChannelField::Tone;
            html += Cell(ch.toneMode > 0 ? ch.text(ChannelField::ToneMode) + ' ' + ch.text(tone)
                                         : QString());
        }
        html += Cell(ChannelBanksText(banks, ch.number)) + QStringLiteral("</tr>");
    }
    html += QStringLiteral("</table><h3>Banks</h3>");
    int inUse = 0;
    for (const Bank& bank : banks) {
        if (bank.members.isEmpty())
            continue;
        ++inUse;
        QStringList members;
        for (int number : bank.members) {
            const Channel& ch = channels[number - 1];
            members << (ch.empty || ch.name.isEmpty()
                            ? QString::number(number)
                            : QStringLiteral("%1 %2").arg(number).arg(ch.name));
        }
        html += QStringLiteral("<p><b>Bank %1 %2</b> (%3 %4): %5</p>")
                    .arg(bank.number)
                    .arg(Escaped(bank.name))
                    .arg(bank.members.size())
                    .arg(bank.members.size() == 1 ? QStringLiteral("channel")
                                                  : QStringLiteral("channels"))
                    .arg(Escaped(members.join(QStringLiteral(", "))));
    }
    if (inUse == 0)
        html += QStringLiteral("<p>No bank is in use.</p>");
    return html;
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
                         const QDateTime& date, QPageSize::PageSizeId pageSize) {
    // The writer's fonts come from the platform, which only a QGuiApplication starts.
    if (!QCoreApplication::instance() || !QCoreApplication::instance()->inherits("QGuiApplication"))
        return QStringLiteral(
                   "Cannot save \"%1\": printing needs the graphical part of Qt, "
                   "which was not started")
            .arg(path);
    QBuffer pdf;
    pdf.open(QIODevice::WriteOnly);
    {
        QPdfWriter writer(&pdf);
        writer.setPageSize(QPageSize(pageSize));
        writer.setPageMargins(QMarginsF(15, 12, 15, 12), QPageLayout::Millimeter);
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("Quorlink"));
        writer.setTitle(name);
        // A fixed-width face: the columns read like the command line's table, and it has no
        // ligatures, so that the text searches and copies as it was written ("fi", not "ﬁ").
        const QString css = QStringLiteral(
            "* { font-family: \"DejaVu Sans Mono\", monospace; } body { font-size: 8pt; } "
            "th { border-bottom: 1px solid black; } h3 { font-size: 10pt; }");
        auto document = [&](QTextDocument& doc, const QString& html) {
            doc.documentLayout()->setPaintDevice(&writer);
            doc.setDefaultStyleSheet(css);
            doc.setDocumentMargin(0);
            doc.setHtml(QStringLiteral("<html><body>%1</body></html>").arg(html));
            doc.setTextWidth(writer.width());
        };
        auto header = [&](int page, int pages) {
            return QStringLiteral("<p><b>%1</b> &nbsp; %2 &nbsp; %3 &nbsp; page %4 of %5</p><hr>")
                .arg(Escaped(name), Escaped(date.toString(QStringLiteral("yyyy-MM-dd HH:mm"))),
                     Escaped(ModelName(image)))
                .arg(page)
                .arg(pages);
        };
        QTextDocument head;
        document(head, header(1, 1));
        const qreal headHeight = head.size().height() * 1.2;
        QTextDocument body;
        document(body, BodyHtml(image));
        const QSizeF page(writer.width(), writer.height() - headHeight);
        body.setPageSize(page);
        const int pages = body.pageCount();
        QPainter painter;
        if (!painter.begin(&writer))
            return QStringLiteral("Cannot save \"%1\": the PDF writer did not start").arg(path);
        for (int p = 0; p < pages; ++p) {
            if (p > 0)
                writer.newPage();
            document(head, header(p + 1, pages));
            head.drawContents(&painter);
            painter.save();
            painter.translate(0, headHeight - p * page.height());
            body.drawContents(&painter, QRectF(QPointF(0, p * page.height()), page));
            painter.restore();
        }
        painter.end();
    }
    QString error;
    if (!SaveFileAtomically(path, pdf.data(), &error))
        return error;
    return {};
}
