#pragma once

#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

// Runs several Qt Test classes in one program, each in a fresh object; non-zero when any
// of them failed.
template <typename... TestClasses>
int runTestClasses(int argc, char** argv) {
    QApplication app(argc, argv);
    int status = 0;
    auto runOne = [&](auto tag) {
        typename decltype(tag)::type test;
        status |= QTest::qExec(&test, argc, argv);
    };
    (runOne(std::type_identity<TestClasses>{}), ...);
    return status;
}

// Runs the classes on one offscreen screen of `width` x `height` pixels at 96 dpi.
template <typename... TestClasses>
int runOnScreen(int width, int height, int argc, char** argv) {
    QTemporaryDir dir;
    QFile config(dir.filePath("screen.json"));
    const QString screen = QStringLiteral(R"({"screens": [{"name": "s", "x": 0, "y": 0,
        "width": %1, "height": %2, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    if (!config.open(QIODevice::WriteOnly) ||
        config.write(screen.arg(width).arg(height).toUtf8()) < 0 || !config.flush())
        return 1;
    qputenv("QT_QPA_PLATFORM", ("offscreen:configfile=" + config.fileName()).toLocal8Bit());
    return runTestClasses<TestClasses...>(argc, argv);
}
