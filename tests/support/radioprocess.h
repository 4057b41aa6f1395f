#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

// The quorlink-radio program (path in $QUORLINK_RADIO) run for one test: start() waits for
// its "PTY <path>" line, command() sends a line. Every wait is bounded, and the destructor
// ends the program (end of input, then a kill), so a failing test never leaves it running.
class RadioProcess {
public:
    static constexpr int kWaitMs = 10000;
    explicit RadioProcess(const QStringList& arguments = {}) : arguments_(arguments) {}
    ~RadioProcess() {  // each step does nothing once the program has ended
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000))
            process_.kill();
        process_.waitForFinished(3000);
    }

    // Starts the program and reads the terminal's path; empty on failure (see error()).
    QString start() {
        process_.start(qEnvironmentVariable("QUORLINK_RADIO"), arguments_);
        QDeadlineTimer deadline(kWaitMs);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() != QProcess::NotRunning)
            process_.waitForReadyRead(100);
        const QString first = QString::fromLocal8Bit(process_.readLine()).trimmed();
        if (!first.startsWith(QLatin1String("PTY /")))
            error_ = "first line was \"" + first + "\": " + process_.errorString() + ' ' +
                     QString::fromLocal8Bit(process_.readAllStandardError());
        else
            path_ = first.mid(4);
        return path_;
    }
    QString path() const { return path_; }
    QString error() const { return error_; }
    QProcess& process() { return process_; }
    void command(const QByteArray& line) {
        process_.write(line + '\n');
        process_.waitForBytesWritten(kWaitMs);
    }

private:
    QStringList arguments_;
    QProcess process_;
    QString path_, error_;
};
