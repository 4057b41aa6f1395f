#include <QUndoStack>
#include <QtTest>

#include "edit/imageedits.h"
#include "memory/channelcsv.h"
#include "support/channelfixture.h"

// Every kind of change through the one commit path, done, undone and redone: the sums it
// touched are brought up to date (or, in an image kept stale, stay off by as much as they
// were), nothing else moves, and the notice names what changed.
class CommitTest : public QObject {
    Q_OBJECT

    // How far each of the nine sums (the eight records', then the total) is off.
    static QList<int> offBy(const QByteArray& image) {
        QList<int> off;
        for (const MemoryMap::SumPlace& p : MemoryMap::SumPlaces())
            off << quint8(quint8(image[p.at]) - MemoryMap::SumOf(image, p.first, p.last));
        return off;
    }

    static QString change(ImageEdits& edits, const QString& kind) {
        const QString row = "\n12,NEW,146.55,,0,,88.5,88.5,023,NN,023,Tone->Tone,FM,5.00,,5.0W";
        if (kind == "import")
            return edits.importCsv("Import", ParseChannelsCsv(kCsvHeader + row)), QString();
        if (kind == "vfo")  // the volume's byte, raw
            return edits.apply("VFO A", [](QByteArray& i) { return i[0x06B5] ^= 1, QString(); });
        return kind == "cell" ? edits.setField(3, ChannelField::Name, "TOWER")
               : kind == "banks"
                   ? edits.changeBanks({4}, {1}, {3})
                   : edits.apply("Move", [](QByteArray& i) { return MoveChannels(i, {2}, 1); });
    }

private slots:
    void commit_data() {
        QTest::addColumn<QList<int>>("allowed");  // offset, size, ...: what may change
        QTest::addColumn<EditNotice>("notice");
        for (bool stale : {false, true}) {
            auto row = [&](const char* kind, const QList<int>& allowed, const EditNotice& notice) {
                QTest::addRow("%s%s", kind, stale ? ", kept stale" : "") << allowed << notice;
            };
            row("cell", {0x32D2, 16}, {{3}, {}});
            row("banks", {0x054A, 6, 0x198A, 200, 0x1B1A, 200}, {{4}, {1, 3}});
            row("move", {0x054A, 2, 0x198A, 200, 0x2C4B, 2, 0x32AA, 64}, {{2, 3}, {1}});
            row("import", {0x2C55, 1, 0x33EA, 32}, {{12}, {}});
            row("vfo", {0x06B5, 1, 0x06C9, 1, 0x0735, 1, 0x0749, 1}, {{}, {}, true});
        }
    }
    void commit() {
        const QString tag = QTest::currentDataTag();
        const bool stale = tag.endsWith("kept stale");
        QFETCH(QList<int>, allowed);
        QFETCH(EditNotice, notice);
        // VFO A's backup equal to its master, every sum right; kept stale, its sum is off by 3.
        QByteArray start = BankFixtureImage();
        start.replace(0x06CA, 128, start.mid(0x064A, 128));
        FixSums(start);
        start[0x06C9] = char(start[0x06C9] + (stale ? 3 : 0));
        CloneState clone{stale ? CloneImage::asStored(start) : CloneImage(start), {}, {}};
        ImageEdits edits(clone);
        QList<EditNotice> notices;
        connect(&edits, &ImageEdits::changed, [&](const EditNotice& n) { notices << n; });
        QCOMPARE(change(edits, tag.section(',', 0, 0)), QString());
        const QByteArray after = clone.image.bytes();
        QByteArray rest = after;  // with what may change put back as it was
        for (int i = 0; i < allowed.size(); i += 2)
            rest.replace(allowed[i], allowed[i + 1], start.mid(allowed[i], allowed[i + 1]));
        QVERIFY(rest.first(65226) == start.first(65226));
        QVERIFY(stale || after.mid(0x06CA, 128) == after.mid(0x064A, 128));
        for (int step = 0; step < 3; ++step) {  // done, undone, redone
            if (step > 0)
                step == 1 ? edits.stack().undo() : edits.stack().redo();
            QCOMPARE(offBy(clone.image.bytes()), offBy(start));
            QVERIFY(clone.image.bytes() == (step == 1 ? start : after) &&
                    clone.image.sumsKeptStale() == stale);
            QVERIFY(notices.size() == step + 1 && notices.last() == notice);
        }
    }
};

QTEST_GUILESS_MAIN(CommitTest)
#include "test_edit_commit.moc"
