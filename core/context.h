#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

#include "core/d2xx.h"

class Clock;
class MessageBoxes;
class SettingsStore;
class PortFactory;
class D2xx;
class TransferFront;
enum class MsgAnswer;
enum class MsgButtons;
enum class MsgIcon;

// The outside world, one implementation each for the application and for the tests.
struct Services {
    Clock* clock = nullptr;
    MessageBoxes* boxes = nullptr;
    SettingsStore* settings = nullptr;
    PortFactory* ports = nullptr;
    D2xx* d2xx = nullptr;
};

// The COM number that selects the FTDI device instead of a COM port.
constexpr qint16 kFtdiPort = 999;

// The link's state: which link, and whether it is open.
struct LinkState {
    qint16 PortNumber = 1;  // COM port number; 999 selects the FTDI device
    QString PortSettings = QStringLiteral("38400,N,8,1");
    QString FTDIDescription;      // device the link opens when PortNumber is 999
    QString FTDetectDescription;  // device last selected in the FTDI cable detector
    qint16 DemoPort = 0;          // the demo radio's COM number for this run; 0: no demo
    bool LinkOpen = false;
    bool RxTimedOut = false;
    // Set when the link went away under the program (cable pulled, device gone, a send
    // failed); cleared by every successful open. Transfers stop on it.
    bool LinkLost = false;
    // Why the last open failed, in one line naming the device path or FTDI description
    // ("/dev/ttyUSB0: no such file"); empty after an open that succeeded.
    QString OpenFailure;

    // PortNumber and FTDIDescription as the settings store keeps them. Raises error 6 when
    // the stored number does not fit.
    void loadStoredChoice(const SettingsStore& store);
};

// The receive engine's and the handshakes' state.
struct ReceiveState {
    QByteArray RxBuffer;
    bool ReceiveBusy = false;
    qint32 HandshakeDelay = 20;
    qint32 AckPollCount = 0;  // the read's polls for one block
};

struct CancelFlags {
    bool CancelRequested = false;
    bool IdentityCancelRequested = false;
};

struct SharedState {
    LinkState link;
    ReceiveState rx;
    CancelFlags cancel;
};

// What every part below the fronts shares: the state, the services, the waits, the trace
// log and the message boxes. The application object (AppContext) adds the main link.
class CoreContext : public QObject {
    Q_OBJECT
public:
    explicit CoreContext(const Services& services);
    ~CoreContext() override;

    const Services& services() const { return services_; }
    Clock& clock() const { return *services_.clock; }
    SettingsStore& settings() const { return *services_.settings; }
    PortFactory& ports() const { return *services_.ports; }
    D2xx& d2xx() const { return *services_.d2xx; }

    SharedState state;

    // The front that shows the transfers (the main window or the terminal); until one is
    // set, trace lines and captions go nowhere.
    TransferFront& front() const { return *front_; }
    bool hasFront() const { return front_ != defaultFront(); }
    void setFront(TransferFront* front);
    // Clears the front if it is this one (a front going away).
    void dropFront(TransferFront* front);

    // Waits the given milliseconds, keeping the windows alive. Returns after one event
    // pump for 0 or a negative time.
    void Pause(qint32 ms);
    void WaitMilliseconds(qint64 ms);

    // Appends a line to the front's trace.
    void LogMessage(const QString& text);
    // The receive time-outs counted since the last reset, and the caption the front shows
    // for them: "0 timeouts" after a reset, " 1 timeouts", " 2 timeouts" ... after each one.
    qint32 timeoutCount() const { return timeouts_; }
    void setTimeoutCount(qint32 count);
    QString timeoutCaption() const;

    MsgAnswer ShowMessage(const QString& text, MsgButtons buttons, MsgIcon icon);

    bool shuttingDown() const { return shuttingDown_; }
    void throwIfShuttingDown() const;

    // Runs a handler body that may wait; a shut-down during its waits ends it quietly.
    // A run-time error that the handler did not report itself is shown in a plain box
    // ("Error N (description)") instead of ending the program.
    static void guardHandler(const std::function<void()>& body);

    // "V1.0.6"
    static QString VersionText();
    // "Quorlink"
    static QString AppName() { return QStringLiteral("Quorlink"); }

protected:
    bool shuttingDown_ = false;

private:
    static TransferFront* defaultFront();

    Services services_;
    TransferFront* front_;
    qint32 timeouts_ = 0;
};
