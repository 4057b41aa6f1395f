#pragma once

#include <QDialog>
#include <QString>
#include <array>
#include <memory>

class AppContext;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class SerialControl;
class TraceBox;

// True when the hexadecimal text of received bytes starts with one of the two radio
// identities ("AH029" or "AH29D" spelled as two upper-case digits per byte).
bool isRadioIdentityHex(const QString& hex);
// Two upper-case hexadecimal digits per byte, no separators.
QString bytesToHex(const QByteArray& bytes);

// The COM port identifier: opens COM1 to COM32 at once, listens on all of them, and
// offers the port on which a radio identity arrives as the link's COM port. It only
// listens; nothing is sent to the radio.
class ComPortDiag : public QDialog {
    Q_OBJECT
public:
    static constexpr int kPortCount = 32;

    explicit ComPortDiag(AppContext& ctx, QWidget* parent = nullptr);
    ~ComPortDiag() override;

    static QString instructionsText();

    // Load step: instructions, every status box yellow with "Detect ports", system font.
    // Also run again when the dialog is reused after it was unloaded, so that it opens as
    // freshly loaded.
    void Form_Load();
    // Closes the 32 ports; runs whenever the dialog closes, whichever way.
    void Form_Unload();
    bool unloaded() const { return unloaded_; }

    void ClosePort(const qint16& port);
    void OpenPort(const qint16& port);
    void LogPortMessage(const qint16& index, const QString& text);
    void LogDiagMessage(const QString& text);

    void cmdDetect_Click();
    void OnComm(int index);
    void cmdSetComPort_Click();
    void cmdClose_Click();

    // Closing by a button, the close box or Escape all end here.
    void done(int result) override;

    std::array<std::unique_ptr<SerialControl>, kPortCount> MSComm1;
    std::array<QLineEdit*, kPortCount> Text1{};
    QLabel* lblInstructions = nullptr;
    QGroupBox* Frame1 = nullptr;
    TraceBox* txtErrors = nullptr;
    QPushButton* cmdDetect = nullptr;
    QPushButton* cmdSetComPort = nullptr;
    QPushButton* cmdClose = nullptr;

    qint16 FoundPortIndex = 0;

private:
    void buildControls();
    void setBox(int index, const QString& text, const QColor& colour);
    void setBoxColour(int index, const QColor& colour);
    QString versionPrefix() const;

    AppContext& ctx_;
    bool unloaded_ = false;
};
