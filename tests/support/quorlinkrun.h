#pragma once

#include <functional>

#include <sys/resource.h>
#include <unistd.h>
#include <csignal>

#include "support/radioprocess.h"

// The quorlink program (path in $QUORLINK_APP) run as a script or a user at a terminal runs
// it: no display, the default action for SIGXFSZ, and `folder` as its working directory and
// home. It may start with standard input closed or with a 32 KiB file
// size limit, and with standard output closed ("&-") or sent to a file, as a shell would; `radio`
// gets [BAND] pressed when quorlink asks for it, and `during` runs once the transfer shows a block.
// One that does not end in two minutes is killed and gives exit -1. `program` may be a shell
// instead, which finds quorlink on its PATH.
struct QuorlinkRun {
    QString program = qEnvironmentVariable("QUORLINK_APP");
    QString folder;
    bool closeStdin = false, limitSize = false;
    QString stdoutTo;
    RadioProcess* radio = nullptr;
    std::function<void(QProcess&)> during;
    int exit = -1;
    QString out, err;

    explicit QuorlinkRun(const QString& folder, bool closeStdin = false, bool limitSize = false)
        : folder(folder), closeStdin(closeStdin), limitSize(limitSize) {}

    QuorlinkRun& run(const QStringList& args) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_CONFIG_HOME", "XDG_DATA_HOME"})
            env.remove(name);
        env.insert("HOME", folder);
        env.insert("PATH", QFileInfo(qEnvironmentVariable("QUORLINK_APP")).path() + ':' +
                               env.value("PATH"));
        p.setWorkingDirectory(folder);
        p.setProcessEnvironment(env);
        if (!stdoutTo.isEmpty() && stdoutTo != "&-")
            p.setStandardOutputFile(stdoutTo);
        p.setChildProcessModifier(
            [closeStdin = closeStdin, limitSize = limitSize, closeStdout = stdoutTo == "&-"] {
                std::signal(SIGXFSZ, SIG_DFL);
                const rlimit limit{32768, 32768};
                if (limitSize)
                    ::setrlimit(RLIMIT_FSIZE, &limit);
                if (closeStdin)
                    ::close(STDIN_FILENO);
                if (closeStdout)
                    ::close(STDOUT_FILENO);
            });
        p.start(program, args);
        const auto take = [&] {
            out += QString::fromLocal8Bit(p.readAllStandardOutput());
            err += QString::fromLocal8Bit(p.readAllStandardError());
        };
        QDeadlineTimer deadline(120000);
        while (p.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            p.waitForReadyRead(100);
            take();
            if (radio && err.contains(QStringLiteral("Press [BAND]")))
                std::exchange(radio, nullptr)->command("band");
            if (during && err.contains(QStringLiteral("block ")))
                std::exchange(during, nullptr)(p);
        }
        p.kill();
        p.waitForFinished(5000);
        take();
        exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
        return *this;
    }
};
