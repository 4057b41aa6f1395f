#include "core/context.h"

#include <QCoreApplication>
#include <new>

#include "core/clock.h"
#include "core/config.h"
#include "core/errors.h"
#include "core/front.h"
#include "core/messagebox.h"
#include "version.h"

namespace {

// The front until one is set: shows nothing.
class SilentFront : public TransferFront {
public:
    void setPromptVisible(bool) override {}
    void setPromptPart(PromptPart, bool) override {}
    void setProgressMaximum(int) override {}
    void setProgress(int) override {}
    void setBlockCount(const QString&) override {}
    void setTimeoutCaption(const QString&) override {}
    void setBusy(bool) override {}
    void traceLine(const QString&) override {}
    void clearTrace() override {}
};

// The context whose boxes report errors that reach a handler guard.
CoreContext* g_reporter = nullptr;

}  // namespace

void LinkState::loadStoredChoice(const ConfigStore& store) {
    PortNumber = toInt16(numericValue(store.get(ConfigKeys::kSection, ConfigKeys::kCommPort, "1")));
    FTDIDescription = store.get(ConfigKeys::kSection, ConfigKeys::kFtdiDevice, QString());
}

TransferFront* CoreContext::defaultFront() {
    static SilentFront silent;
    return &silent;
}

CoreContext::CoreContext(const Services& services) : services_(services), front_(defaultFront()) {
    g_reporter = this;
    if (services_.config) {
        services_.config->onWriteFailed = [this](const QString& file, const QString& reason) {
            ShowMessage(QStringLiteral("The settings could not be saved in ") + file +
                            QStringLiteral(": ") + reason +
                            QStringLiteral(".\r\nThe change holds until Quorlink ends."),
                        MsgButtons::Ok, MsgIcon::Exclamation);
        };
    }
}

CoreContext::~CoreContext() {
    if (g_reporter == this)
        g_reporter = nullptr;
    if (services_.config)
        services_.config->onWriteFailed = nullptr;
}

void CoreContext::setFront(TransferFront* front) {
    front_ = front ? front : defaultFront();
}

void CoreContext::dropFront(TransferFront* front) {
    if (front_ == front)
        front_ = defaultFront();
}

QString CoreContext::VersionText() {
    return QStringLiteral("V%1.%2.%3")
        .arg(QUORLINK_VERSION_MAJOR)
        .arg(QUORLINK_VERSION_MINOR)
        .arg(QUORLINK_VERSION_PATCH);
}

void CoreContext::Pause(qint32 ms) {
    WaitMilliseconds(ms);
}

void CoreContext::WaitMilliseconds(qint64 ms) {
    Clock& c = clock();
    // Ticks per millisecond, rounded half to even; elapsed time is kept in ten-thousandths
    // of a millisecond.
    const qint64 ticksPerMs = roundHalfEven(static_cast<double>(c.frequency()) / 1000.0);
    qint64 start = 0;
    if (!c.readCounter(start)) {
        c.sleep(qMax<qint64>(ms, 0));
        c.pumpEvents();
        throwIfShuttingDown();
        return;
    }
    if (ticksPerMs == 0)
        throw RunError(ErrorNumber::DivisionByZero);
    const qint64 wanted = ms * 10000;
    c.pumpEvents();
    throwIfShuttingDown();
    for (;;) {
        qint64 now = start;
        c.readCounter(now);
        const qint64 elapsed = roundHalfEven(static_cast<double>(now - start) * 10000.0 /
                                             static_cast<double>(ticksPerMs));
        if (elapsed >= wanted)
            return;
        // Sleep until the deadline or the next window event instead of re-reading the
        // counter in a tight loop; the wait runs the events that arrived meanwhile.
        const double remainingTicks =
            static_cast<double>(wanted - elapsed) * static_cast<double>(ticksPerMs) / 10000.0;
        const qint64 remainingNs =
            static_cast<qint64>(remainingTicks * 1e9 / static_cast<double>(c.frequency()) + 0.5);
        c.waitForEvents(qMax<qint64>(remainingNs, 1));
        throwIfShuttingDown();
    }
}

void CoreContext::LogMessage(const QString& text) {
    front_->traceLine(text);
}

void CoreContext::setTimeoutCount(qint32 count) {
    timeouts_ = count;
    front_->setTimeoutCaption(timeoutCaption());
}

QString CoreContext::timeoutCaption() const {
    return (timeouts_ > 0 ? QStringLiteral(" ") : QString()) + QString::number(timeouts_) +
           QStringLiteral(" timeouts");
}

MsgAnswer CoreContext::ShowMessage(const QString& text, MsgButtons buttons, MsgIcon icon) {
    throwIfShuttingDown();
    const MsgAnswer answer = services_.boxes->show(text, buttons, icon);
    throwIfShuttingDown();
    return answer;
}

MsgAnswer CoreContext::ShowMessage(const QString& text, const QString& windowPart,
                                   MsgButtons buttons, MsgIcon icon) {
    throwIfShuttingDown();
    const MsgAnswer answer = services_.boxes->showWithWindowPart(text, windowPart, buttons, icon);
    throwIfShuttingDown();
    return answer;
}

MsgAnswer CoreContext::ShowMessage(const QString& text, const QStringList& captions, MsgIcon icon) {
    throwIfShuttingDown();
    const MsgAnswer answer = services_.boxes->confirm(text, captions, icon);
    throwIfShuttingDown();
    return answer;
}

void CoreContext::throwIfShuttingDown() const {
    if (shuttingDown_)
        throw ShutdownRequested{};
}

void CoreContext::guardHandler(const std::function<void()>& body) {
    auto report = [](int number, const QString& description) {
        if (!g_reporter || !g_reporter->services_.boxes)
            return;
        try {
            g_reporter->ShowMessage(QStringLiteral("Error %1 (%2)").arg(number).arg(description),
                                    MsgButtons::Ok, MsgIcon::None);
        } catch (const ShutdownRequested&) {
        }
    };
    try {
        body();
    } catch (const ShutdownRequested&) {
        // The application is ending; the handler stops where it was.
    } catch (const RunError& e) {
        report(e.number(), e.description());
    } catch (const std::bad_alloc&) {
        report(7, QStringLiteral("Out of memory"));
    }
}
