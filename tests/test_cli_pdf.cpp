#include <QtTest>

#include "clone/channeledit.h"
#include "clone/channelpdf.h"
#include "support/channelfixture.h"
#include "support/quorlinkrun.h"

// The printable list as the command line writes it, with no display and no platform
// named, read back with pdftotext (poppler-utils, which scripts/deps.sh installs).
class PdfTest : public QObject {
    Q_OBJECT
private slots:
    void listsChannelsAndBanks() {
        QTemporaryDir dir;
        QByteArray image = BankFixtureImage();
        for (int n = 11; n <= 300; ++n)  // several pages
            PutChannelBytes(image, n, ChannelBytes(image, 1 + n % 7));
        QVERIFY(SaveImageFile(dir.filePath("fixture.img"), image, nullptr));
        QuorlinkRun r{dir.path()};
        r.run({"channels", "--pdf", "list.pdf", "fixture.img"});
        QVERIFY2(r.exit == 0, qPrintable(r.err));
        QProcess text;
        text.start("pdftotext", {"-layout", dir.filePath("list.pdf"), "-"});
        QVERIFY2(text.waitForFinished(60000) && text.exitCode() == 0,
                 "pdftotext failed; scripts/deps.sh installs poppler-utils");
        const QString out = QString::fromUtf8(text.readAllStandardOutput());
        const QString date =
            QFileInfo(dir.filePath("fixture.img")).lastModified().toString("yyyy-MM-dd HH:mm");
        QVERIFY2(out.contains(QRegularExpression("fixture.img +" + date)),
                 qPrintable(out.left(200)));
        for (const Channel& ch : DecodeChannels(image)) {
            const QString row =
                QString("^ *%1 +%2 +%3 ")
                    .arg(ch.number)
                    .arg(QRegularExpression::escape(ch.name),
                         QRegularExpression::escape(ch.text(ChannelField::Frequency)));
            QVERIFY2(ch.empty !=
                         out.contains(QRegularExpression(row, QRegularExpression::MultilineOption)),
                     qPrintable(row));
        }
        for (const char* bank :
             {"Bank 1 Home (3 channels): 1 SIMPLEX, 2 RPT, 900",
              "Bank 2 FULL (100 channels): 11 RPT1, 12 PMR", "Bank 3 (1 channel): 4 FM"})
            QVERIFY2(out.contains(bank), bank);
    }

    void pageSizeFromLocale() {
        QCOMPARE(PrintPageSize(QLocale("en_US")), QPageSize::Letter);
        QCOMPARE(PrintPageSize(QLocale("fr_CA")), QPageSize::Letter);
        QCOMPARE(PrintPageSize(QLocale("en_GB")), QPageSize::A4);
    }
};

QTEST_GUILESS_MAIN(PdfTest)
#include "test_cli_pdf.moc"
