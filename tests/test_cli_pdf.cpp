#include <QtTest>

#include "memory/channeledit.h"
#include "print/channelpdf.h"
#include "support/channelfixture.h"
#include "support/quorlinkrun.h"

// The printable list as the command line writes it, with no display and no platform
// named, read back with pdftotext (poppler-utils, which scripts/deps.sh installs).
class PdfTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    QByteArray image_;
    QHash<QString, QString> text_;  // by layout option: the full list and the pocket card

private slots:
    void initTestCase() {
        image_ = BankFixtureImage();
        for (int n = 11; n <= 300; ++n)  // several pages
            PutChannelBytes(image_, n, ChannelBytes(image_, 1 + n % 7));
        // "A    B": a name with a run of spaces.
        PutChannel(image_, 301, 3,
                   "00 05 146520 C0 0000 0A242424240BFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000");
        PutChannelBytes(image_, 903, ChannelBytes(image_, 1));   // skip 3
        PutChannelBytes(image_, 1002, ChannelBytes(image_, 2));  // PMS U1
        FixSums(image_);
        QVERIFY(SaveImageFile(dir_.filePath("my%1file%2.img"), image_, nullptr));
        for (const QString layout : {"", "--pocket"}) {
            QuorlinkRun r{dir_.path()};
            r.run(QStringList{"channels", "--force", "--pdf", "list.pdf", "my%1file%2.img"} +
                  QStringList(layout).filter("-"));
            QVERIFY2(r.exit == 0, qPrintable(r.err));
            QProcess text;
            text.start("pdftotext", {"-layout", dir_.filePath("list.pdf"), "-"});
            QVERIFY2(text.waitForFinished(60000) && text.exitCode() == 0,
                     "pdftotext failed; scripts/deps.sh installs poppler-utils");
            text_[layout] = QString::fromUtf8(text.readAllStandardOutput());
            if (layout.isEmpty()) {  // the words' boxes, to measure a gap
                text.start("pdftotext", {"-bbox", dir_.filePath("list.pdf"), "-"});
                QVERIFY(text.waitForFinished(60000));
                text_["bbox"] = QString::fromUtf8(text.readAllStandardOutput());
            }
        }
    }

    // A pattern each layout's text holds on a line; DATE is the image file's.
    void printed_data() {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("pattern");
        auto row = [](const char* name, const char* layout, const char* pattern) {
            QTest::newRow(name) << QString(layout) << QString(pattern);
        };
        row("title", "", "^VX-8R memory channels, DATE +page 1 of [2-9]$");
        row("name as given", "", "^my%1file%2\\.img +· +299 of 900 channels in use$");
        row("simplex", "", "^ +1 SIMPLEX +146\\.520 +FM +12\\.50 +Hi 5 W +1$");
        row("repeater", "", "^ +2 RPT +145\\.230 +- +0\\.600 +Tone 100\\.0 +FM +5\\.00");
        row("6.25 kHz, split", "", "^ +6 PMR +446\\.00625 +split +440\\.00625 +DTCS 754 +FM");
        row("banks", "", "^Bank 1 Home \\(3 channels\\): 1 SIMPLEX, 2 RPT, 900$");
        row("full bank", "", "^Bank 2 FULL \\(100 channels\\): 11 RPT1, 12 PMR, ");
        row("one-channel bank", "", "^Bank 3 \\(1 channel\\): 4 FM$");
        row("skip-search memories, without banks", "",
            "^ +3 SIMPLEX +146\\.520 +FM +12\\.50 +Hi 5 W$");
        row("PMS memories", "", "^ *U1 RPT +145\\.230 +- +0\\.600 +Tone 100\\.0 +FM");
        row("settings, last page", "", "^Radio settings\n+APRS\n+Callsign ");
        row("a setting", "", "^Receive Mic-E +o(n|ff)$");
        row("a setting not proven", "", "^User symbol +\\d+ \\(not proven\\)$");
        row("pocket title", "--pocket", "^VX-8R pocket card, DATE +page 1 of [1-9]$");
        row("pocket columns", "--pocket", "^ +2 RPT +145\\.230 -0\\.600 +Tone 100\\.0 FM +\\d+ ");
    }
    void printed() {
        QFETCH(QString, layout);
        QFETCH(QString, pattern);
        const QString date =
            QFileInfo(dir_.filePath("my%1file%2.img")).lastModified().toString("yyyy-MM-dd HH:mm");
        const QRegularExpression re(pattern.replace("DATE", date),
                                    QRegularExpression::MultilineOption);
        QVERIFY2(text_[layout].contains(re), qPrintable(text_[layout].left(1500)));
    }

    // A run of spaces in a name keeps its width: "A    B" is not printed as "A B".
    void spacesKept() {
        const QRegularExpressionMatch gap =
            QRegularExpression("xMax=\"([\\d.]+)\"[^>]*>A</word>\\s*<word xMin=\"([\\d.]+)\"")
                .match(text_["bbox"]);
        QVERIFY(gap.hasMatch() && gap.captured(2).toDouble() - gap.captured(1).toDouble() > 8);
    }

    // No channel in use is lost between pages, and no empty or masked one is listed.
    void everyChannelInUse() {
        for (const Channel& ch : DecodeChannels(image_)) {
            const QString row = "^ *" + QString::number(ch.number) + " +" +
                                QRegularExpression::escape(ch.name.simplified()) + " ";
            QVERIFY2((ch.empty || ch.masked) != text_[""].contains(QRegularExpression(
                                                    row, QRegularExpression::MultilineOption)),
                     qPrintable(row));
        }
    }

    void pageSizeFromLocale() {
        QCOMPARE(PrintPageSize(QLocale("en_US")), QPageSize::Letter);
        QCOMPARE(PrintPageSize(QLocale("fr_CA")), QPageSize::Letter);
        QCOMPARE(PrintPageSize(QLocale("en_GB")), QPageSize::A4);
    }
};

QTEST_GUILESS_MAIN(PdfTest)
#include "test_cli_pdf.moc"
