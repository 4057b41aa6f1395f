#include <QRegularExpression>
#include <QtTest>

#include "image/memorymap.h"

using namespace MemoryMap;

// docs/memory.md describes every field of the memory map; it is read against the map itself
// (the header's Field constants and settings, the places per model), so that a field added
// or moved in the map without its description fails here.
class ImageDocsTest : public QObject {
    Q_OBJECT
    static QString source(const QString& path) {
        QFile file(QStringLiteral(QUORLINK_SOURCE_DIR "/") + path);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
    static QString hex(int value, int digits) {
        return "0x" + QString::number(value, 16).toUpper().rightJustified(digits, '0');
    }
    // The document's table row that names `what`, or empty.
    static QString row(const QString& doc, const QString& what) {
        for (const QString& line : doc.split('\n'))
            if (line.startsWith('|') && line.contains(what))
                return line;
        return {};
    }
    static bool holds(const QString& line, const QString& place) {
        return line.contains(
            QRegularExpression(QRegularExpression::escape(place) + "(?![0-9A-F])"));
    }

private slots:
    void everyFieldOfTheMapIsDescribed() {
        const QString header = source("image/memorymap.h"), doc = source("docs/memory.md");
        QStringList missing, names, settings;
        QString space;
        for (const QString& line : header.split('\n')) {
            const auto ns = QRegularExpression("^namespace (\\w+) \\{").match(line);
            const auto field = QRegularExpression("^inline constexpr Field (k\\w+)\\{").match(line);
            if (ns.hasMatch())
                space = ns.captured(1);
            else if (field.hasMatch())
                names << space + "::" + field.captured(1);
        }
        const QString enumBody = header.section("enum class Setting {", 1).section("};", 0, 0);
        for (const auto& m : QRegularExpression("^\\s*(\\w+),", QRegularExpression::MultilineOption)
                                 .globalMatch(enumBody))
            settings << m.captured(1);
        QVERIFY2(names.size() >= 24 && settings.size() >= 78, qPrintable(names.join(' ')));
        for (const QString& name : names)
            if (!doc.contains('`' + name + '`'))
                missing << name;
        // Each setting's row gives its place in every model that has it, from B2 where the
        // model's second APRS block moves it.
        for (int s = 0; s < settings.size(); ++s) {
            const QString line = row(doc, "`Setting::" + settings[s] + '`');
            for (const RadioModel& r : kRadioModels)
                if (const Model m = r.model; const auto f = SettingField(m, Setting(s))) {
                    if (!holds(line, hex(f->offset, 4)) &&
                        !holds(line, "B2+" + hex(f->offset - SecondAprsBlock(m), 2)))
                        missing << settings[s] + " in " + ModelName(m) + " at " + hex(f->offset, 4);
                    // And, for a field of bits, which bits: "5–0", or "7" for one.
                    const QString bits =
                        f->width == 1 ? QString::number(f->bit)
                                      : QString("%1–%2").arg(f->bit + f->width - 1).arg(f->bit);
                    if ((f->codec == Codec::Bits || f->codec == Codec::Index) &&
                        !line.contains("| " + bits + " |"))
                        missing << settings[s] + "'s bits " + bits;
                }
        }
        // Each model's row gives its identity and its second APRS block.
        for (const RadioModel& r : kRadioModels) {
            const QString line = row(doc, QString("| `%1` |").arg(r.identity));
            if (!line.contains(ModelName(r.model)) || !holds(line, hex(r.secondAprsBlock, 4)))
                missing << ModelName(r.model) + "'s identity and second APRS block";
        }
        for (const RecordPair& p : kRecordPairs) {
            const QString line = row(doc, QString("| %1 |").arg(p.name));
            if (!holds(line, hex(p.master, 4)) || !holds(line, hex(p.backup, 4)))
                missing << QString("the %1 records").arg(p.name);
        }
        if (!holds(row(doc, "`kTotalSumAt`"), hex(kTotalSumAt, 4)))
            missing << "the final checksum";
        QVERIFY2(missing.isEmpty(), qPrintable("docs/memory.md lacks: " + missing.join(", ")));
    }
};

QTEST_GUILESS_MAIN(ImageDocsTest)
#include "test_image_docs.moc"
