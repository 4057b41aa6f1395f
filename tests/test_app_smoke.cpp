#include <QtTest>

#include "support/testenv.h"

class SmokeTest : public QObject {
    Q_OBJECT
private slots:
    void startsWithCaption() {
        TestEnv env;
        QCOMPARE(env.form().windowTitle(), QStringLiteral("Quorlink V1.0.6"));
    }
};

QTEST_MAIN(SmokeTest)
#include "test_app_smoke.moc"
