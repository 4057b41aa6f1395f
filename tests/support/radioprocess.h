#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QtTest>

// The quorlink-radio program (path in $QUORLINK_RADIO) run for one test: start() waits for
// its "PTY <path>" line, command() sends a line, waitFor() reads its event lines. Every
// wait is bounded, and the destructor ends the program (end of input, then a kill), so a
// failing test never leaves it running nor hangs.
class RadioProcess {
public:
    static constexpr int kWaitMs = 10000;
    explicit RadioProcess(const QStringList& arguments = {}) : arguments_(arguments) {}
    ~RadioProcess() {  // each step does nothing once the program has ended
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // Starts the program and reads the terminal's path; empty on failure (see error()).
    QString start() {
        process_.start(qEnvironmentVariable("QUORLINK_RADIO"), arguments_);
        const QString first = nextLine();
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
    // The next event line, or an empty text when none came in time.
    QString nextLine() {
        QDeadlineTimer deadline(kWaitMs);
        while (!process_.canReadLine() && !deadline.hasExpired() &&
               process_.state() != QProcess::NotRunning)
            process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        return QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    // Reads event lines until `event`; false when it did not come in time.
    bool waitFor(const QString& event) {
        for (QString line = nextLine(); !line.isEmpty(); line = nextLine())
            if (line == event)
                return true;
        return false;
    }

private:
    QStringList arguments_;
    QProcess process_;
    QString path_, error_;
};
