#pragma once

#include <QApplication>
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
