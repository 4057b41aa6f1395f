#pragma once

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

signals:
    // A write was taken completely (identity, 65216 bytes and the checksum).
    void writeReceived(bool checksumOk);
    // The radio finished sending its memory.
    void sendFinished();

private:
    void onReadable();
    void onTick();

    SimRadio& radio_;
    int master_ = -1;
    int slaveKeeper_ = -1;
    QString path_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* ticker_ = nullptr;
    qint64 startNs_ = 0;
};
