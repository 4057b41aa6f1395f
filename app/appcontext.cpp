#include "app/appcontext.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <new>

#include "app/errors.h"
#include "app/form1.h"
#include "app/settings.h"
#include "link/clock.h"
#include "link/link.h"
#include "link/serialcontrol.h"
#include "ui/frmmessages.h"
#include "ui/messagebox.h"
#include "ui/tracebox.h"
#include "version.h"

namespace {
constexpr qsizetype kLogLimit = 65000;
// The application object whose boxes report errors that reach a handler guard.
AppContext* g_reporter = nullptr;
}  // namespace

AppContext::AppContext(const Services& services)
    : quitApplication([] { QCoreApplication::quit(); }), services_(services) {
    g_reporter = this;
}

AppContext::~AppContext() {
    if (g_reporter == this)
        g_reporter = nullptr;
    if (frmMessages_)
        delete frmMessages_.data();
}

Link& AppContext::link() {
    if (!link_)
        link_ = std::make_unique<Link>(*this);
    return *link_;
}

FrmMessages& AppContext::frmMessages() {
    if (!frmMessages_)
        frmMessages_ = new FrmMessages(state.cancel);
    return *frmMessages_;
}

QString AppContext::VersionText() {
    return QStringLiteral("V%1.%2.%3")
        .arg(QUORLINK_VERSION_MAJOR)
        .arg(QUORLINK_VERSION_MINOR)
        .arg(QUORLINK_VERSION_PATCH);
}

void AppContext::Pause(qint32 ms) {
    WaitMilliseconds(ms);
}

void AppContext::WaitMilliseconds(qint64 ms) {
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
    for (;;) {
        c.pumpEvents();
        throwIfShuttingDown();
        qint64 now = start;
        c.readCounter(now);
        const qint64 elapsed = roundHalfEven(static_cast<double>(now - start) * 10000.0 /
                                             static_cast<double>(ticksPerMs));
        if (elapsed >= wanted)
            return;
        // Sleep until the deadline or the next window event instead of re-reading the
        // counter in a tight loop.
        const double remainingTicks =
            static_cast<double>(wanted - elapsed) * static_cast<double>(ticksPerMs) / 10000.0;
        const qint64 remainingNs =
            static_cast<qint64>(remainingTicks * 1e9 / static_cast<double>(c.frequency()) + 0.5);
        c.waitForEvents(qMax<qint64>(remainingNs, 1));
        throwIfShuttingDown();
    }
}

void AppContext::LogMessage(const QString& text) {
    if (form1_)
        form1_->txtErrors->appendLine(text, kLogLimit);
}

QString AppContext::timeoutCaption() const {
    return form1_ ? form1_->lblTimeoutCount->text() : QString();
}

void AppContext::setTimeoutCaption(const QString& caption) {
    if (form1_)
        form1_->lblTimeoutCount->setText(caption);
}

MsgAnswer AppContext::ShowMessage(const QString& text, MsgButtons buttons, MsgIcon icon) {
    throwIfShuttingDown();
    const MsgAnswer answer = services_.boxes->show(text, buttons, icon);
    throwIfShuttingDown();
    return answer;
}

void AppContext::throwIfShuttingDown() const {
    if (shuttingDown_)
        throw ShutdownRequested{};
}

void AppContext::requestShutdown() {
    if (shuttingDown_)
        return;
    shuttingDown_ = true;
    if (link_) {
        SerialControl& port = link_->MSComm1();
        if (port.PortOpen())
            port.setPortOpen(false);
    }
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w != form1_ && w->isVisible())
            w->close();
    }
    if (quitApplication)
        quitApplication();
}

void AppContext::guardHandler(const std::function<void()>& body) {
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
