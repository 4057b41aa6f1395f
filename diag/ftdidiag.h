#pragma once

#include <QDialog>
#include <QString>

#include "core/d2xx.h"

class AppContext;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class TraceBox;

// The FTDI cable detector: lists the D2XX devices by description, tests the one the user
// picks by waiting for the radio's identity on it, and offers a device on which the
// identity arrived as the link. One device is tested at a time, in a read loop that runs
// inside the pick's handler and keeps the window alive between reads.
//
// Whatever the user does while a test runs (Cancel Detection, another pick, Detect
// devices, closing the window) first ends the test and closes its device; the other
// actions then run once the read loop has unwound.
class FTDIDiag : public QDialog {
    Q_OBJECT
public:
    explicit FTDIDiag(AppContext& ctx, QWidget* parent = nullptr);
    ~FTDIDiag() override;

    static QString instructionsText();
    static QString missingLibraryText();

    void Form_Load();
    void cmdDetect_Click();
    // Tests the entry at the list's current position.
    void cboDevices_Click();
    void cmdStop_Click();
    void cmdSetComPort_Click();
    void cmdClose_Click();

    void LogDeviceMessage(const qint32& index, const QString& text);
    void CloseDevice(FT_HANDLE& handle);
    static void ClearBytes(QByteArray& bytes);

    bool testRunning() const { return testRunning_; }

    // Closing by a button, the close box or Escape. During a test the window closes once
    // the test has ended and its device is closed.
    void done(int result) override;

    QLabel* lblInstructions = nullptr;
    QGroupBox* Frame2 = nullptr;
    QComboBox* cboDevices = nullptr;
    QGroupBox* Frame1 = nullptr;
    TraceBox* txtErrors = nullptr;
    QPushButton* cmdDetect = nullptr;
    QPushButton* cmdStop = nullptr;
    QPushButton* cmdSetComPort = nullptr;
    QPushButton* cmdClose = nullptr;

    bool StopRequested = false;
    QString ReceivedHex;
    qint32 FTDeviceCount = 0;
    quint32 FTTotalRead = 0;
    bool FTReadFailed = false;

private:
    enum class Pending { None, Test, Detect, Close };
    class TestScope;

    void buildControls();
    void listDevices();
    void runDeviceTest(qint32 n, const QString& d);
    bool openDevice(qint32 n, const QString& d);
    void readIdentity();
    void reportOutcome(qint32 n);
    void forgetDevice();
    // Asks the running test to stop and remembers what to do once it has.
    void deferUntilTestEnds(Pending action, int index = -1);

    AppContext& ctx_;
    FT_HANDLE handle_ = 0;  // the device under test
    FT_STATUS readStatus_ = FT_OK;
    QByteArray received_;  // the identity bytes read so far
    bool testRunning_ = false;
    bool deviceOpen_ = false;  // the device this dialog opened is still open
    Pending pending_ = Pending::None;
    int pendingIndex_ = -1;
    int pendingResult_ = QDialog::Rejected;
};
