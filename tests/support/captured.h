#pragma once

#include <QTemporaryFile>

#include <unistd.h>
#include <cstdio>
#include <functional>

// What `body` writes to standard output and standard error.
inline QString captured(const std::function<void()>& body) {
    QTemporaryFile file;
    file.open();
    std::fflush(nullptr);
    const int saved[2] = {::dup(1), ::dup(2)};
    for (int fd : {1, 2})
        ::dup2(file.handle(), fd);
    body();
    std::fflush(nullptr);
    for (int fd : {1, 2}) {
        ::dup2(saved[fd - 1], fd);
        ::close(saved[fd - 1]);
    }
    file.seek(0);
    return QString::fromLocal8Bit(file.readAll());
}
