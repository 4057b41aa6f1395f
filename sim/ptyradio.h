#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

class QSocketNotifier;
class QTimer;
class SimRadio;

// Serves a simulated radio on a pseudo-terminal in real time: bytes the program writes to
// the terminal reach the radio, and the radio's bytes come back paced at 38400 baud. Used
// by the quorlink-radio program, the demo mode and the end-to-end tests.
class PtyRadio : public QObject {
    Q_OBJECT
public:
    explicit PtyRadio(SimRadio& radio, QObject* parent = nullptr);
    ~PtyRadio() override;

    // Creates the terminal; path() then names its device. False with a reason on failure.
    bool open(QString* error);
    QString path() const { return path_; }
    SimRadio& radio() { return radio_; }

    // The user presses [BAND] on the radio after `afterMs` milliseconds.
    void pressBand(int afterMs = 0);
    // The cable is pulled: the terminal hangs up.
    void pullCable();
    bool isOpen() const { return master_ >= 0; }

signals:
    // A write was taken completely (identity, 65216 bytes and the checksum).
    void writeReceived(bool checksumOk);
    // The radio finished sending its memory.
    void sendFinished();
    // The program answered the identity the radio sent: true for 06 hex, false otherwise.
    void identityAnswered(bool acknowledged);
    // The terminal hung up (pullCable, or a fault that pulls the cable mid-transfer).
    void cablePulled();

private:
    void onReadable();
    void onTick();
    qint64 nowNs() const { return elapsed_.nsecsElapsed(); }
    // Writes what the radio has due, keeps what the terminal does not take yet.
    void deliver();
    // Compares the radio's state with the last look and raises the signals.
    void reportChanges();
    void startTicking();
    void closeTerminal();

    SimRadio& radio_;
    int master_ = -1;
    int slaveKeeper_ = -1;
    QString path_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* ticker_ = nullptr;
    qint64 startNs_ = 0;
    QElapsedTimer elapsed_;
    QByteArray pending_;  // due bytes the terminal's buffer had no room for yet
    int seenWrites_ = 0;
    bool sendingSeen_ = false;
    bool answerPending_ = false;  // an identity was sent and its answer not reported yet
};
