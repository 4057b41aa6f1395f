#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QtTest>

// The quorlink-radio program (path in $QUORLINK_RADIO) run for one test: start() waits for
// its "PTY <path>" line, command() sends a line, waitFor() reads its event lines. Every
// wait is bounded, and the destructor ends the program (end of input first, then a kill),
// so a failing test never leaves it running nor hangs.
class RadioProcess {
public:
    static constexpr int kWaitMs = 10000;

    explicit RadioProcess(const QStringList& arguments = {}) : arguments_(arguments) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
    }
    ~RadioProcess() { stop(); }

    static QString program() { return qEnvironmentVariable("QUORLINK_RADIO"); }

    // Starts the program and reads the terminal's path; empty on failure (see error()).
    QString start() {
        if (program().isEmpty()) {
            error_ = QStringLiteral("QUORLINK_RADIO is not set (run through ctest)");
            return QString();
        }
        process_.start(program(), arguments_);
        if (!process_.waitForStarted(kWaitMs)) {
            error_ = QStringLiteral("cannot start ") + program() + QStringLiteral(": ") +
                     process_.errorString();
            return QString();
        }
        const QString first = nextLine(kWaitMs);
        if (!first.startsWith(QLatin1String("PTY /"))) {
            error_ = QStringLiteral("first line was \"%1\", stderr: %2")
                         .arg(first, QString::fromLocal8Bit(process_.readAllStandardError()));
            return QString();
        }
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
    QString nextLine(int timeoutMs = kWaitMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!process_.canReadLine()) {
            if (deadline.hasExpired() || process_.state() == QProcess::NotRunning)
                break;
            process_.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
        }
        if (!process_.canReadLine())
            return QString();
        const QString line = QString::fromLocal8Bit(process_.readLine()).trimmed();
        seen_ << line;
        return line;
    }

    // Reads event lines until `event`; false when it did not come in time.
    bool waitFor(const QString& event, int timeoutMs = kWaitMs) {
        QDeadlineTimer deadline(timeoutMs);
        while (!deadline.hasExpired()) {
            const QString line =
                nextLine(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
            if (line == event)
                return true;
            if (line.isEmpty() && process_.state() == QProcess::NotRunning)
                return false;
        }
        return false;
    }
    QStringList seen() const { return seen_; }

    // Ends the program: end of input, then a kill if it does not go.
    void stop() {
        if (process_.state() == QProcess::NotRunning)
            return;
        process_.closeWriteChannel();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

private:
    QStringList arguments_;
    QProcess process_;
    QString path_;
    QString error_;
    QStringList seen_;
};
