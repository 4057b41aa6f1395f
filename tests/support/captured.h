#pragma once

#include <QTemporaryFile>

#include <unistd.h>
#include <cstdio>

// What the code under test writes to standard output and standard error while this lives;
// text() ends the capture.
class Captured {
public:
    Captured() {
        file_.open();
        std::fflush(nullptr);
        for (int fd : {1, 2})
            ::dup2(file_.handle(), fd);
    }
    ~Captured() {
        text();
        ::close(saved_[0]);
        ::close(saved_[1]);
    }
    QString text() {
        std::fflush(nullptr);
        for (int fd : {1, 2})
            ::dup2(saved_[fd - 1], fd);
        file_.seek(0);
        return QString::fromLocal8Bit(file_.readAll());
    }

private:
    int saved_[2] = {::dup(1), ::dup(2)};
    QTemporaryFile file_;
};
