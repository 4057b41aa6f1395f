#include <QRegularExpression>
#include <QtTest>

#include "support/quorlinkrun.h"

// The README's examples as a reader runs them: in an empty folder, one after the other, the
// first reading the demo radio. Each ends with the exit code its comment gives (0 when it
// gives none) and prints what its comment quotes.
class E2eReadmeTest : public QObject {
    Q_OBJECT
private slots:
    void examplesRun() {
        QFile readme(QUORLINK_SOURCE_DIR "/README.md");
        QVERIFY(readme.open(QIODevice::ReadOnly));
        const QString block = QString::fromUtf8(readme.readAll())
                                  .section("\n### Examples\n", 1)
                                  .section("```sh\n", 1)
                                  .section("```", 0, 0);
        QTemporaryDir dir;
        int run = 0;
        for (const QString& line : block.split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.startsWith("quorlink "), qPrintable(line));
            const int exit = QRegularExpression("# exit (\\d+)").match(line).captured(1).toInt();
            const QString says = QRegularExpression("#.*\"([^\"]+)\"").match(line).captured(1);
            QuorlinkRun r{dir.path(), true};
            r.program = "/bin/sh";
            r.run({"-c", line});
            QVERIFY2(
                r.exit == exit && (r.out + r.err).contains(says),
                qPrintable(QString("%1\nexit %2\n%3%4").arg(line).arg(r.exit).arg(r.out, r.err)));
            ++run;
        }
        QVERIFY(run >= 10);
    }
};

QTEST_GUILESS_MAIN(E2eReadmeTest)
#include "test_e2e_readme.moc"
