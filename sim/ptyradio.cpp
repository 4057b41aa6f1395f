#include "sim/ptyradio.h"

#include <QSocketNotifier>
#include <QTimer>

#include "sim/simradio.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {
QString systemError(const char* what) {
    return QStringLiteral("%1: %2").arg(QLatin1String(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
}  // namespace

PtyRadio::PtyRadio(SimRadio& radio, QObject* parent) : QObject(parent), radio_(radio) {
    elapsed_.start();
    startNs_ = elapsed_.nsecsElapsed();
}

PtyRadio::~PtyRadio() {
    closeTerminal();
}

bool PtyRadio::open(QString* error) {
    auto fail = [&](const char* what) {
        if (error)
            *error = systemError(what);
        closeTerminal();
        return false;
    };
    if (master_ >= 0)
        return true;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        return fail("posix_openpt");
    if (::grantpt(master_) != 0)
        return fail("grantpt");
    if (::unlockpt(master_) != 0)
        return fail("unlockpt");
    const char* name = ::ptsname(master_);
    if (!name)
        return fail("ptsname");
    path_ = QString::fromLocal8Bit(name);
    const int flags = ::fcntl(master_, F_GETFL);
    if (flags < 0 || ::fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
        return fail("fcntl");

    // Holding the terminal open ourselves keeps the master readable (no EIO) while the
    // program under test has it closed, and lets us put it into raw mode: a cable carries
    // bytes, not lines, and echoes nothing.
    slaveKeeper_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slaveKeeper_ < 0)
        return fail("open terminal");
    termios tio{};
    if (::tcgetattr(slaveKeeper_, &tio) != 0)
        return fail("tcgetattr");
    ::cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    ::cfsetispeed(&tio, B38400);
    ::cfsetospeed(&tio, B38400);
    if (::tcsetattr(slaveKeeper_, TCSANOW, &tio) != 0)
        return fail("tcsetattr");

    notifier_ = new QSocketNotifier(master_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &PtyRadio::onReadable);
    ticker_ = new QTimer(this);
    ticker_->setTimerType(Qt::PreciseTimer);
    ticker_->setInterval(1);
    connect(ticker_, &QTimer::timeout, this, &PtyRadio::onTick);
    return true;
}

void PtyRadio::closeTerminal() {
    if (ticker_) {
        ticker_->stop();
        delete ticker_;
        ticker_ = nullptr;
    }
    if (notifier_) {
        notifier_->setEnabled(false);
        delete notifier_;
        notifier_ = nullptr;
    }
    if (slaveKeeper_ >= 0) {
        ::close(slaveKeeper_);
        slaveKeeper_ = -1;
    }
    if (master_ >= 0) {
        ::close(master_);
        master_ = -1;
    }
    pending_.clear();
}

void PtyRadio::pressBand(int afterMs) {
    QTimer::singleShot(qMax(0, afterMs), this, [this] {
        if (master_ < 0)
            return;
        pending_.clear();
        radio_.pressBand(nowNs());
        answerPending_ = radio_.mode() == SimRadio::Mode::AwaitingAck;
        sendingSeen_ = false;
        startTicking();
    });
}

void PtyRadio::pullCable() {
    if (master_ < 0)
        return;
    radio_.pullCable();
    // Closing both ends hangs the terminal up: the program's reads and writes fail as they
    // do when a USB cable is unplugged.
    closeTerminal();
    emit cablePulled();
}

void PtyRadio::startTicking() {
    if (ticker_ && !ticker_->isActive())
        ticker_->start();
}

void PtyRadio::onReadable() {
    if (master_ < 0)
        return;
    QByteArray bytes;
    char chunk[4096];
    for (;;) {
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        if (n > 0) {
            bytes.append(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // EAGAIN: all read; EIO cannot happen while we hold the terminal open
    }
    if (bytes.isEmpty())
        return;
    radio_.fromPc(bytes, nowNs());
    reportChanges();
    if (radio_.cablePulled()) {
        pullCable();
        return;
    }
    if (radio_.nextDueNs() >= 0 || radio_.mode() == SimRadio::Mode::Sending)
        startTicking();
}

void PtyRadio::onTick() {
    if (master_ < 0)
        return;
    pending_.append(radio_.takeDue(nowNs()));
    deliver();
    reportChanges();
    if (master_ < 0)
        return;
    if (radio_.cablePulled()) {
        pullCable();
        return;
    }
    if (pending_.isEmpty() && radio_.nextDueNs() < 0)
        ticker_->stop();
}

void PtyRadio::deliver() {
    while (!pending_.isEmpty() && master_ >= 0) {
        const ssize_t n = ::write(master_, pending_.constData(), pending_.size());
        if (n > 0) {
            pending_.remove(0, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;  // the terminal's buffer is full: the rest goes on the next tick
    }
}

void PtyRadio::reportChanges() {
    if (answerPending_) {
        if (radio_.mode() == SimRadio::Mode::Sending) {
            answerPending_ = false;
            sendingSeen_ = true;
            emit identityAnswered(true);
        } else if (radio_.mode() == SimRadio::Mode::Error) {
            answerPending_ = false;
            emit identityAnswered(false);
        }
    }
    // Finished means every byte is in the terminal, not only due.
    if (sendingSeen_ && radio_.mode() != SimRadio::Mode::Sending && pending_.isEmpty()) {
        sendingSeen_ = false;
        emit sendFinished();
    }
    if (radio_.writesReceived != seenWrites_) {
        seenWrites_ = radio_.writesReceived;
        emit writeReceived(radio_.lastWriteChecksumOk);
    }
}
