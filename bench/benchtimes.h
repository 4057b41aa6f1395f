#pragma once
// What the benchmarks share: a median, one printed line of figures, and the wall time of
// one run of a program.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QByteArray>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

extern char** environ;

namespace bench {

// CPU time in ms, user and system, of a resource record: a machine busy with other work does
// not inflate it as it does the clock.
inline double cpuMs(const rusage& u) {
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
           (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// The CPU time this process has used so far.
inline double selfCpuMs() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return cpuMs(u);
}

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

inline void print(const char* what, const std::vector<double>& ms) {
    std::printf("%s: median %.2f ms, max %.2f ms (%zu runs)\n", what, median(ms),
                *std::max_element(ms.begin(), ms.end()), ms.size());
}

// The wall time of the program run with `args`, its output dropped; negative when it failed.
inline double runMs(std::vector<QByteArray> args) {
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    const bool started = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (!started || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return -1;
    return timer.nsecsElapsed() / 1e6;
}

}  // namespace bench
