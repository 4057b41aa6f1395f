#include "memory/channelcsv.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringBuilder>
#include <array>
#include <cmath>
#include <memory>

#include <QDeadlineTimer>
#include <QFile>
#include <QStringDecoder>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include "memory/channeledit.h"

namespace {

// A channel list is some 100 kB; a larger file is something else picked by mistake.
constexpr qint64 kCsvLimit = 4 << 20;
// How long a pipe or a device may take to give its whole text.
constexpr int kPipeWaitMs = 10'000;

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

// The older layout, without RxDtcsCode, CrossMode and Power.
const QStringList kOlderColumns = {"Location", "Name",      "Frequency", "Duplex",   "Offset",
                                   "Tone",     "rToneFreq", "cToneFreq", "DtcsCode", "DtcsPolarity",
                                   "Mode",     "TStep",     "Skip",      "Comment",  "URCALL",
                                   "RPT1CALL", "RPT2CALL",  "DVCODE"};
// The columns both layouts begin with: a shorter row without a header reads the same in either.
constexpr int kCommonColumns = 10;

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
// separators, doubled quotes and line breaks; CR LF, LF or a lone CR ends a line. A quote
// still open at the end is the line it opened on in *openQuote (else 0): the rest of the
// text would otherwise vanish into one field.
QList<Record> Records(const QString& text, QChar separator, int* openQuote) {
    QList<Record> records;
    Record record{1, {}};
    QString field;
    bool quoted = false;
    int line = 1;
    *openQuote = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const bool crlf =
            c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n');
        const bool lineEnd = c == QLatin1Char('\n') || (c == QLatin1Char('\r') && !crlf);
        if (quoted) {
            if (c == QLatin1Char('"') && i + 1 < text.size() && text[i + 1] == QLatin1Char('"')) {
                field += c;
                ++i;
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else if (lineEnd) {
                ++line;
                field += QLatin1Char('\n');
            } else if (!crlf) {
                field += c;
            }
        } else if (c == QLatin1Char('"') && field.trimmed().isEmpty()) {
            quoted = true;
            *openQuote = line;
            field.clear();
        } else if (c == separator) {
            record.fields << field;
            field.clear();
        } else if (lineEnd) {
            record.fields << field;
            records << record;
            field.clear();
            record = Record{++line, {}};
        } else if (!crlf) {
            field += c;
        }
    }
    if (!quoted)
        *openQuote = 0;
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
    QString at(const Record& r, const char* name) const { return raw(r, name).trimmed(); }
    // The field as the file gives it: a name keeps its leading spaces.
    QString raw(const Record& r, const char* name) const {
        const int i = index.value(QString::fromLatin1(name).toLower(), -1);
        return i >= 0 && i < r.fields.size() ? r.fields[i] : QString();
    }
    // Whether the record reaches the column at all: a cut row does not.
    bool reaches(const Record& r, const char* name) const {
        return index.value(QString::fromLatin1(name).toLower(), r.fields.size()) < r.fields.size();
    }
    static Columns of(const QStringList& names) {
        Columns cols;
        for (int i = 0; i < names.size(); ++i)
            cols.index.insert(names[i].trimmed().toLower(), i);
        return cols;
    }
    bool has(const char* name) const { return index.contains(QString::fromLatin1(name).toLower()); }
};

QString Line(int line, const QString& text) {
    return QStringLiteral("line %1: %2").arg(line).arg(text);
}

// A value the file gave that the channel holds otherwise: "line 4: Power 2W stored as L3 2.5 W".
QString Changed(int line, const char* column, const QString& given, const QString& stored,
                const QString& why = QString()) {
    return Line(line, QStringLiteral("%1 %2 stored as %3%4")
                          .arg(QString::fromLatin1(column), EscapedControls(given), stored, why));
}

// Reads one data row into `ch`; the first refusal, or an empty string.
QString ReadRow(const Record& r, const Columns& cols, Channel& ch, QStringList& warnings) {
    auto set = [&](ChannelField field, const QString& text) {
        return text.isEmpty() ? QString() : SetChannelField(ch, field, text);
    };
    if (!cols.reaches(r, "Frequency"))
        return QStringLiteral("the row ends before its Frequency column");
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
                                     .arg(EscapedControls(polarity)));
    const QString toneMode = cols.at(r, "Tone");
    // The radio keeps one tone: the one its tone mode uses, else the transmitted one.
    const QString tone = toneMode.compare(QLatin1String("TSQL"), Qt::CaseInsensitive) == 0
                             ? cols.at(r, "cToneFreq")
                             : cols.at(r, "rToneFreq");
    const QString offset = cols.at(r, "Offset"), power = cols.at(r, "Power");
    const std::array<std::pair<ChannelField, QString>, 9> fields = {{
        {ChannelField::Name, cols.raw(r, "Name")},
        {ChannelField::Duplex, cols.at(r, "Duplex")},
        {ChannelField::Offset, offset},
        {ChannelField::ToneMode, toneMode},
        {ChannelField::Tone, tone},
        {ChannelField::Dcs, cols.at(r, "DtcsCode")},
        {ChannelField::Mode, mode},
        {ChannelField::Skip, cols.at(r, "Skip")},
        {ChannelField::Power, power},
    }};
    for (const auto& [field, text] : fields) {
        const QString refusal = set(field, text);
        if (!refusal.isEmpty())
            return refusal;
    }
    // A step the radio lacks, given in kHz, is decided once the frequency is known.
    const QString step = cols.at(r, "TStep");
    QString stepRefusal = set(ChannelField::Step, step);
    bool number = false;
    static const QRegularExpression kKhzUnit(QStringLiteral("\\s*khz$"),
                                             QRegularExpression::CaseInsensitiveOption);
    const double stepKhz = QString(step).remove(kKhzUnit).toDouble(&number);
    if (!stepRefusal.isEmpty() && (!number || stepKhz <= 0))
        return stepRefusal;
    const int givenStep = stepRefusal.isEmpty() && !step.isEmpty() ? ch.step : -1;
    // Last: without a step given, the channel takes one that reaches the frequency.
    QString refusal = SetChannelField(ch, ChannelField::Frequency, cols.at(r, "Frequency"));
    if (!refusal.isEmpty())
        return refusal;
    // Watts between the levels take the nearest; the layout's own texts are the levels.
    const double watts = PowerWatts(power);
    constexpr std::array<double, 4> kLevelWatts = {0.05, 1.0, 2.5, 5.0};
    if (watts >= 0 && std::abs(watts - kLevelWatts[ch.power]) > 1e-6 &&
        !(ch.power == 0 && std::abs(watts - 0.1) < 1e-6))
        warnings << Changed(r.line, "Power", power, ch.text(ChannelField::Power));
    // A step the radio has is kept as given, even where it does not divide the frequency:
    // radios store exactly that. A step it lacks becomes the nearest that reaches it.
    if (givenStep >= 0) {
        ch.step = givenStep;
    } else if (!step.isEmpty()) {
        // No step reaches a frequency off every raster: the step given must be the radio's.
        ch.step = NearestStep(stepKhz, ch.frequencyHz);
        if (ch.step < 0)
            return stepRefusal;
        warnings << Changed(r.line, "TStep", step, ch.text(ChannelField::Step),
                            QStringLiteral(", the nearest step the radio has that reaches %1 MHz")
                                .arg(ch.text(ChannelField::Frequency)));
    }
    refusal = ValidateChannel(ch);
    return refusal.isEmpty() ? TransmitRefusal(ch, !offset.isEmpty()) : refusal;
}

// A channel that could be written but for its mode, another program's narrow FM.
bool LeftOutForMode(const Channel& ch) {
    Channel fm = ch;
    fm.mode = 0;
    return HasForeignMode(ch) && ValidateChannel(fm).isEmpty();
}

}  // namespace

CsvImport ParseChannelsCsv(const QString& input, ChannelList list) {
    CsvImport result;
    auto refuse = [&result](const QString& why) {
        result = CsvImport();
        result.refusals << why;
        result.refusedWhole = true;
        return result;
    };
    QString text = input;
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    // The separator is the header's: the first line that holds anything.
    static const QRegularExpression kLineEnd(QStringLiteral("\r\n|\r|\n"));
    QString header;
    for (const QString& line : text.split(kLineEnd))
        if (!(header = line).trimmed().isEmpty())
            break;
    int openQuote = 0;
    const QList<Record> records = Records(text, SeparatorOf(header), &openQuote);
    if (openQuote > 0)
        return refuse(Line(openQuote, QStringLiteral("a quote opened here is never closed")));
    qsizetype first = 0;
    while (first < records.size() && records[first].blank())
        ++first;
    if (first == records.size())
        return refuse(QStringLiteral("no channel rows"));
    bool headerless = false;
    records[first].fields.value(0).trimmed().toInt(&headerless);
    // Without a header a row's layout follows from its number of fields.
    const Columns exchanged = Columns::of(kExportColumns), older = Columns::of(kOlderColumns);
    const Columns named = headerless ? exchanged : Columns::of(records[first].fields);
    for (const char* required : {"Location", "Frequency"}) {
        if (!named.has(required))
            return refuse(Line(records[first].line,
                               QStringLiteral("the header has no %1 column").arg(required) +
                                   (header.contains(QChar(0))
                                        ? QStringLiteral(": the text is UTF-16; save it as UTF-8")
                                        : QString())));
    }
    QHash<int, int> lineOf;  // location -> the line that gave it
    int rows = 0;
    for (qsizetype i = headerless ? first : first + 1; i < records.size(); ++i) {
        const Record& r = records[i];
        if (r.blank())
            continue;
        const qsizetype count = r.fields.size();
        const Columns& cols = !headerless || count == kExportColumns.size() ? named
                              : count == kOlderColumns.size()               ? older
                                                                            : exchanged;
        if (headerless && count > kCommonColumns && count != kExportColumns.size() &&
            count != kOlderColumns.size()) {
            ++rows;
            result.refusals << Line(r.line, QStringLiteral("a row without a header line has %1 "
                                                           "fields; the layouts have %2 or %3")
                                                .arg(count)
                                                .arg(kExportColumns.size())
                                                .arg(kOlderColumns.size()));
            continue;
        }
        // Another program's export starts with a channel 0 that this radio does not have.
        bool number = false;
        if (cols.at(r, "Location").toInt(&number) == 0 && number) {
            result.warnings << Line(r.line, QStringLiteral("Location 0 skipped: the radio's "
                                                           "channels are 1–900"));
            continue;
        }
        ++rows;
        Channel ch;
        QString refusal = SetChannelField(ch, ChannelField::Number, cols.at(r, "Location"));
        // The other lists' Locations are 1-100, in the list's order (PMS: 1 is L1, 2 U1).
        const int size = MemoryMap::Channels::Span(list).size;
        if (refusal.isEmpty() && ch.number > size)
            refusal = QStringLiteral("Location %1 is outside 1–%2").arg(ch.number).arg(size);
        const int location = ch.number;
        ch.number = SlotOf(list, location);
        const bool located = refusal.isEmpty();
        if (located && lineOf.contains(ch.number))
            refusal = QStringLiteral("Location %1 is given twice (also line %2)")
                          .arg(location)
                          .arg(lineOf.value(ch.number));
        else if (located)
            lineOf.insert(ch.number, r.line);
        if (refusal.isEmpty() && cols.reaches(r, "Frequency") &&
            cols.at(r, "Frequency").isEmpty()) {
            result.cleared << ch.number;
            continue;
        }
        QStringList warnings;
        if (refusal.isEmpty())
            refusal = ReadRow(r, cols, ch, warnings);
        if (!refusal.isEmpty()) {
            // The row names its channel all the same: that channel stays as it is.
            if (located)
                result.kept << ch.number;
            result.refusals << Line(r.line, refusal);
            continue;
        }
        result.warnings << warnings;
        result.channels << ch;
    }
    if (rows == 0)
        return refuse(QStringLiteral("no channel rows"));
    return result;
}

QString ChannelsCsv(const QList<Channel>& channels, bool all, QStringList* leftOut) {
    QString csv = kExportColumns.join(QLatin1Char(',')) + QLatin1Char('\n');
    csv.reserve(channels.size() * 96);
    const QString emptyRest(kExportColumns.size() - 1, QLatin1Char(','));
    int foreign = 0;
    for (const Channel& ch : channels) {
        if (ch.empty) {
            if (all)
                csv += QString::number(LocationOf(ch.number)) + emptyRest + QLatin1Char('\n');
            continue;
        }
        // A masked channel is hidden on the radio: written only when all are asked for.
        if (ch.masked && !all)
            continue;
        // A "?" breaks an import elsewhere: a channel that cannot be stored is left out. Those
        // with another program's mode are counted in one line at the end.
        const QString refusal = ValidateChannel(ch);
        if (LeftOutForMode(ch)) {
            ++foreign;
            continue;
        }
        if (!refusal.isEmpty()) {
            if (leftOut)
                *leftOut << (ch.number <= ChannelLayout::kChannelCount
                                 ? QStringLiteral("channel %1").arg(ch.number)
                                 : EntryName(ch.number)) +
                                QStringLiteral(" left out: ") + refusal;
            continue;
        }
        // The radio keeps one tone and one code for both directions.
        using F = ChannelField;
        const QString tone = ch.text(F::Tone), dcs = ch.text(F::Dcs);
        csv += QString::number(LocationOf(ch.number)) % ',' % CsvField(ch.name) % ',' %
               ch.text(F::Frequency) % ',' % ch.text(F::Duplex) % ',' % ch.text(F::Offset) % ',' %
               ch.text(F::ToneMode) % ',' % tone % ',' % tone % ',' % dcs % QStringLiteral(",NN,") %
               dcs % QStringLiteral(",Tone->Tone,") % ch.text(F::Mode) % ',' % ch.text(F::Step) %
               ',' % ch.text(F::Skip) % ',' % QLatin1String(kPowerWatts[ch.power]) %
               QLatin1String(",,,,,\n");  // Comment and the digital voice columns stay empty
    }
    if (leftOut && foreign > 0)
        *leftOut << ForeignModeSummary(foreign);
    return csv;
}

QList<int> ForeignModeChannels(const QList<Channel>& channels) {
    QList<int> numbers;
    for (const Channel& ch : channels)
        if (LeftOutForMode(ch))
            numbers << ch.number;
    return numbers;
}

QString ForeignModeSummary(int count) {
    return QStringLiteral(
               "%1 %2 left out: mode not one of FM, AM, WFM; set their mode in the editor")
        .arg(count)
        .arg(count == 1 ? QStringLiteral("channel") : QStringLiteral("channels"));
}

QString ForeignModeListing(const QList<int>& numbers) {
    QStringList runs;
    for (qsizetype i = 0; i < numbers.size();) {
        qsizetype j = i;
        while (j + 1 < numbers.size() && numbers[j + 1] == numbers[j] + 1)
            ++j;
        runs << (i == j ? QString::number(numbers[i])
                        : QString::number(numbers[i]) + '-' + QString::number(numbers[j]));
        i = j + 1;
    }
    if (runs.isEmpty())
        return {};
    const bool one = numbers.size() == 1;
    return (one ? QStringLiteral("channel ") : QStringLiteral("channels ")) +
           runs.join(QStringLiteral(", ")) + QStringLiteral(" left out: ") +
           QLatin1String(kForeignModeNote);
}

int ApplyChannelsCsv(QByteArray& image, const CsvImport& import, bool replace, ChannelList list) {
    const QList<Channel> before = DecodeChannels(image, list);
    const QSet<int> cleared(import.cleared.begin(), import.cleared.end());
    QSet<int> named = cleared;
    for (int number : import.kept)
        named.insert(number);
    for (const Channel& ch : import.channels)
        named.insert(ch.number);
    // A masked channel the CSV does not name is kept: its owner hid it on purpose.
    for (const Channel& ch : before)
        if (cleared.contains(ch.number) || (replace && !named.contains(ch.number) && !ch.masked))
            ClearChannel(image, ch.number);
    for (const Channel& ch : import.channels)
        StoreChannel(image, ch);
    int emptied = 0;
    const QList<Channel> after = DecodeChannels(image, list);
    for (int i = 0; i < before.size(); ++i)
        emptied += !before[i].empty && after[i].empty ? 1 : 0;
    return emptied;
}

QString CsvText(const QByteArray& bytes) {
    // Spreadsheets save "Unicode text" as UTF-16, with a byte-order mark or without one; in
    // CSV the first characters are ASCII, so every other byte is zero.
    const bool little = bytes.startsWith("\xFF\xFE") ||
                        (bytes.size() >= 4 && bytes[0] && !bytes[1] && bytes[2] && !bytes[3]);
    const bool big = bytes.startsWith("\xFE\xFF") ||
                     (bytes.size() >= 4 && !bytes[0] && bytes[1] && !bytes[2] && bytes[3]);
    if (!little && !big)
        return QString::fromUtf8(bytes);
    QStringDecoder decoder(little ? QStringConverter::Utf16LE : QStringConverter::Utf16BE);
    return decoder(bytes);
}

bool ReadCsvFile(const QString& path, QString* text, QString* error, const QString& kind) {
    auto fail = [error](const QString& why) {
        if (error)
            *error = why;
        return false;
    };
    // Not blocking: opening a named pipe would otherwise wait for a writer that may never come.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    const std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(st.st_mode))
        return fail(QStringLiteral("it is a folder"));
    // A pipe or a device gives what it has within a bounded time; a file at once.
    const QDeadlineTimer deadline(kPipeWaitMs);
    QByteArray bytes;
    char buffer[65536];
    while (bytes.size() <= kCsvLimit) {
        const ssize_t n = ::read(
            fd, buffer, size_t(std::min<qint64>(sizeof buffer, kCsvLimit + 1 - bytes.size())));
        if (n > 0) {
            bytes.append(buffer, n);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        const qint64 left = deadline.remainingTime();
        if (left <= 0)
            return fail(QStringLiteral("it did not end within %1 s; a pipe or device is read for "
                                       "at most that long")
                            .arg(kPipeWaitMs / 1000));
        pollfd wait{fd, POLLIN, 0};
        ::poll(&wait, 1, int(left));
    }
    if (bytes.size() > kCsvLimit)
        return fail(QStringLiteral("it is larger than 4 MiB, too large for %1").arg(kind));
    if (S_ISFIFO(st.st_mode) && bytes.isEmpty())
        return fail(QStringLiteral("it is a pipe that nothing was written to"));
    *text = CsvText(bytes);
    return true;
}
