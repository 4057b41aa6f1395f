#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class Clock;
class MessageBoxes;
class ConfigStore;
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
    ConfigStore* config = nullptr;
    PortFactory* ports = nullptr;
    D2xx* d2xx = nullptr;
};

// The COM number that selects the FTDI device instead of a COM port.
constexpr qint16 kFtdiPort = 999;

// The link chosen: which port, with which settings. The link's own state (open, lost,
// timed out) lives in Link.
struct LinkState {
    qint16 PortNumber = 1;  // COM port number; 999 selects the FTDI device
    QString PortSettings = QStringLiteral("38400,N,8,1");
    QString FTDIDescription;      // device the link opens when PortNumber is 999
    QString FTDetectDescription;  // device last selected in the FTDI cable detector
    qint16 DemoPort = 0;          // the demo radio's COM number for this run; 0: no demo

    // PortNumber and FTDIDescription as the configuration store keeps them. Raises error 6 when
    // the stored number does not fit.
    void loadStoredChoice(const ConfigStore& store);
};

// The user's requests to a running transfer: to stop waiting for the radio's identity, or
// to stop the read. Only the fronts make them; a transfer watches through CancelWatch.
enum class CancelKind { Identity, Read };
class CancelRequests {
public:
    void request(CancelKind kind) { ++counts_[int(kind)]; }
    quint64 count(CancelKind kind) const { return counts_[int(kind)]; }

private:
    quint64 counts_[2] = {};
};

// A transfer's own view of one kind of request: requested() once one came after the watch
// began or was last told to forget, so a request from before a wait never ends it.
class CancelWatch {
public:
    CancelWatch(const CancelRequests& requests, CancelKind kind)
        : requests_(requests), kind_(kind), seen_(requests.count(kind)) {}
    void forget() { seen_ = requests_.count(kind_); }
    bool requested() const { return requests_.count(kind_) != seen_; }

private:
    const CancelRequests& requests_;
    CancelKind kind_;
    quint64 seen_;
};

struct SharedState {
    LinkState link;
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
    ConfigStore& config() const { return *services_.config; }
    PortFactory& ports() const { return *services_.ports; }
    D2xx& d2xx() const { return *services_.d2xx; }

    SharedState state;
    CancelRequests cancel;

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
    // With a part only the windows show (MessageBoxes::showWithWindowPart).
    MsgAnswer ShowMessage(const QString& text, const QString& windowPart, MsgButtons buttons,
                          MsgIcon icon);
    // Buttons captioned with what they do, and Cancel (MessageBoxes::confirm).
    MsgAnswer ShowMessage(const QString& text, const QStringList& captions, MsgIcon icon);

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
