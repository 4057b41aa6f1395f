#include "clone/channelcsv.h"

#include <QHash>
#include <QSet>
#include <array>

#include "clone/channeledit.h"

namespace {

const QStringList kExportColumns = {
    "Location",  "Name",     "Frequency",    "Duplex",     "Offset",    "Tone",     "rToneFreq",
    "cToneFreq", "DtcsCode", "DtcsPolarity", "RxDtcsCode", "CrossMode", "Mode",     "TStep",
    "Skip",      "Power",    "Comment",      "URCALL",     "RPT1CALL",  "RPT2CALL", "DVCODE"};

// The power levels as the exchanged layout writes them, by index.
const std::array<const char*, 4> kPowerWatts = {"0.1W", "1.0W", "2.5W", "5.0W"};

// A field, quoted when it holds the separator, a quote or a line break.
QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

// One record of the text: its fields and the line it starts on.
struct Record {
    int line = 0;
    QStringList fields;
    bool blank() const {
        for (const QString& f : fields)
            if (!f.trimmed().isEmpty())
                return false;
        return true;
    }
};

// Splits the text into records: fields separated by `separator`, quoted fields holding
// separators, doubled quotes and line breaks; CR LF or LF ends a record.
QList<Record> Records(const QString& text, QChar separator) {
    QList<Record> records;
    Record record{1, {}};
    QString field;
    bool quoted = false;
    int line = 1;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                if (c == QLatin1Char('\n'))
                    ++line;
                if (c != QLatin1Char('\r'))
                    field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty()) {
            quoted = true;
            field.clear();
        } else if (c == separator) {
            record.fields << field;
            field.clear();
        } else if (c == QLatin1Char('\n')) {
            record.fields << field;
            records << record;
            field.clear();
            record = Record{++line, {}};
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    if (!field.isEmpty() || !record.fields.isEmpty()) {
        record.fields << field;
        records << record;
    }
    return records;
}

QChar SeparatorOf(const QString& header) {
    if (header.contains(QLatin1Char('\t')))
        return QLatin1Char('\t');
    return header.count(QLatin1Char(';')) > header.count(QLatin1Char(',')) ? QLatin1Char(';')
                                                                           : QLatin1Char(',');
}

// The column index of each known column name (any case), -1 when absent.
struct Columns {
    QHash<QString, int> index;
    QString at(const Record& r, const char* name) const {
        const int i = index.value(QString::fromLatin1(name).toLower(), -1);
        return i >= 0 && i < r.fields.size() ? r.fields[i].trimmed() : QString();
    }
    bool has(const char* name) const { return index.contains(QString::fromLatin1(name).toLower()); }
};

QString Line(int line, const QString& text) {
    return QStringLiteral("line %1: %2").arg(line).arg(text);
}

// Reads one data row into `ch`; the first refusal, or an empty string.
QString ReadRow(const Record& r, const Columns& cols, Channel& ch, QStringList& warnings) {
    auto set = [&](ChannelField field, const QString& text) {
        return text.isEmpty() ? QString() : SetChannelField(ch, field, text);
    };
    QString mode = cols.at(r, "Mode");
    if (mode.compare(QLatin1String("NFM"), Qt::CaseInsensitive) == 0) {
        warnings << Line(r.line, QStringLiteral("Mode NFM stored as FM: narrow deviation is one "
                                                "setting for the whole radio"));
        mode = QStringLiteral("FM");
    }
    const QString polarity = cols.at(r, "DtcsPolarity");
    if (!polarity.isEmpty() && polarity.compare(QLatin1String("NN"), Qt::CaseInsensitive) != 0)
        warnings << Line(r.line, QStringLiteral("DtcsPolarity %1 stored as NN: the radio keeps "
                                                "no polarity per channel")
                                     .arg(polarity));
    const QString toneMode = cols.at(r, "Tone");
    // The radio keeps one tone: the one its tone mode uses, else the transmitted one.
    const QString tone = toneMode.compare(QLatin1String("TSQL"), Qt::CaseInsensitive) == 0
                             ? cols.at(r, "cToneFreq")
                             : cols.at(r, "rToneFreq");
    const std::array<std::pair<ChannelField, QString>, 10> fields = {{
        {ChannelField::Name, cols.at(r, "Name")},
        {ChannelField::Duplex, cols.at(r, "Duplex")},
        {ChannelField::Offset, cols.at(r, "Offset")},
        {ChannelField::ToneMode, toneMode},
        {ChannelField::Tone, tone},
        {ChannelField::Dcs, cols.at(r, "DtcsCode")},
        {ChannelField::Mode, mode},
        {ChannelField::Step, cols.at(r, "TStep")},
        {ChannelField::Skip, cols.at(r, "Skip")},
        {ChannelField::Power, cols.at(r, "Power")},
    }};
    for (const auto& [field, text] : fields) {
        const QString refusal = set(field, text);
        if (!refusal.isEmpty())
            return refusal;
    }
    // Last, so that a step that cannot reach the frequency gives way to one that can.
    const QString refusal = SetChannelField(ch, ChannelField::Frequency, cols.at(r, "Frequency"));
    return refusal.isEmpty() ? ValidateChannel(ch) : refusal;
}

}  // namespace

CsvImport ParseChannelsCsv(const QString& input) {
    CsvImport result;
    QString text = input;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // The separator is the header's: the first line that holds anything.
    QString header;
    for (qsizetype start = 0; start < text.size() && header.trimmed().isEmpty();) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        end = end < 0 ? text.size() : end;
        header = text.mid(start, end - start);
        start = end + 1;
    }
    const QList<Record> records = Records(text, SeparatorOf(header));
    qsizetype first = 0;
    while (first < records.size() && records[first].blank())
        ++first;
    if (first == records.size())
        return result;
    Columns cols;
    bool headerless = false;
    records[first].fields.value(0).trimmed().toInt(&headerless);
    const QStringList names = headerless ? kExportColumns : records[first].fields;
    for (int i = 0; i < names.size(); ++i)
        cols.index.insert(names[i].trimmed().toLower(), i);
    for (const char* required : {"Location", "Frequency"}) {
        if (!cols.has(required)) {
            result.refusals << Line(records[first].line,
                                    QStringLiteral("the header has no %1 column").arg(required));
            return result;
        }
    }
    QHash<int, int> lineOf;  // location -> the line that gave it
    for (qsizetype i = headerless ? first : first + 1; i < records.size(); ++i) {
        const Record& r = records[i];
        if (r.blank())
            continue;
        Channel ch;
        QString refusal = SetChannelField(ch, ChannelField::Number, cols.at(r, "Location"));
        if (refusal.isEmpty() && lineOf.contains(ch.number))
            refusal = QStringLiteral("Location %1 is given twice (also line %2)")
                          .arg(ch.number)
                          .arg(lineOf.value(ch.number));
        else if (refusal.isEmpty())
            lineOf.insert(ch.number, r.line);
        if (refusal.isEmpty() && cols.at(r, "Frequency").isEmpty()) {
            result.cleared << ch.number;
            continue;
        }
        QStringList warnings;
        if (refusal.isEmpty())
            refusal = ReadRow(r, cols, ch, warnings);
        if (!refusal.isEmpty()) {
            result.refusals << Line(r.line, refusal);
            continue;
        }
        result.warnings << warnings;
        result.channels << ch;
    }
    return result;
}

QString ChannelsCsv(const QList<Channel>& channels, bool all, QStringList* leftOut) {
    QString csv = kExportColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    csv.reserve(channels.size() * 96);
    const QString emptyRest(kExportColumns.size() - 1, QLatin1Char(','));
    for (const Channel& ch : channels) {
        if (ch.empty) {
            if (all)
                csv += QString::number(ch.number) + emptyRest + QLatin1Char('\n');
            continue;
        }
        // A "?" breaks an import elsewhere: a channel that cannot be stored is left out.
        const QString refusal = ValidateChannel(ch);
        if (!refusal.isEmpty()) {
            if (leftOut)
                *leftOut << QStringLiteral("channel %1 left out: %2").arg(ch.number).arg(refusal);
            continue;
        }
        // The radio keeps one tone and one code for both directions.
        const QString tone = ch.text(ChannelField::Tone), dcs = ch.text(ChannelField::Dcs);
        const QStringList fields = {ch.text(ChannelField::Number),
                                    CsvField(ch.name),
                                    ch.text(ChannelField::Frequency),
                                    ch.text(ChannelField::Duplex),
                                    ch.text(ChannelField::Offset),
                                    ch.text(ChannelField::ToneMode),
                                    tone,
                                    tone,
                                    dcs,
                                    QStringLiteral("NN"),
                                    dcs,
                                    QStringLiteral("Tone->Tone"),
                                    ch.text(ChannelField::Mode),
                                    ch.text(ChannelField::Step),
                                    ch.text(ChannelField::Skip),
                                    QString::fromLatin1(kPowerWatts[ch.power]),
                                    {},
                                    {},
                                    {},
                                    {},
                                    {}};
        csv += fields.join(QLatin1Char(',')) + QLatin1Char('\n');
    }
    return csv;
}

int ApplyChannelsCsv(QByteArray& image, const CsvImport& import, bool replace) {
    const QList<Channel> before = DecodeChannels(image);
    const QSet<int> cleared(import.cleared.begin(), import.cleared.end());
    QSet<int> named = cleared;
    for (const Channel& ch : import.channels)
        named.insert(ch.number);
    for (int number = 1; number <= ChannelLayout::kChannelCount; ++number)
        if (cleared.contains(number) || (replace && !named.contains(number)))
            ClearChannel(image, number, false);
    for (const Channel& ch : import.channels)
        StoreChannel(image, ch, false);
    UpdateFinalChecksum(image);
    int emptied = 0;
    const QList<Channel> after = DecodeChannels(image);
    for (int i = 0; i < before.size(); ++i)
        emptied += !before[i].empty && after[i].empty ? 1 : 0;
    return emptied;
}
