#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>

class AppContext;
class FrmChannels;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class TraceBox;

// The main window: instructions, the three transfer buttons, the block and time-out
// counters, the trace box and the menus. Its closing ends the application.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    explicit Form1(AppContext& ctx, QWidget* parent = nullptr);
    ~Form1() override;

    // Read and Write disabled, Cancel Read enabled.
    void DisableButtons();
    // Read enabled, Cancel Read disabled, Write enabled when the image is valid.
    void EnableButtons();

    // Fills the link configuration from the settings store and refreshes the port menu.
    void InitialiseVariables();

    // True when the load step failed and the application is to end.
    bool loadFailed() const { return loadFailed_; }
    QString helpFile() const { return helpFile_; }

    static QString instructionsText();
    static QString operationText();

    QGroupBox* Frame1 = nullptr;
    QLabel* lblInstructions = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* lblOperation = nullptr;
    QPushButton* cmdRead = nullptr;
    QPushButton* cmdWriteRig = nullptr;
    QPushButton* cmdCancelRead = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* lblBlockCount = nullptr;
    QLabel* Label2 = nullptr;
    QLabel* lblTimeoutCount = nullptr;
    TraceBox* txtErrors = nullptr;

    QMenu* mnuFile = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuChannels = nullptr;
    QMenu* mnuSettingsMenu = nullptr;
    QAction* mnuComPortIdentifier = nullptr;
    QMenu* mnuComPortSelection = nullptr;
    std::array<QAction*, 33> mnuCOM{};
    QAction* mnuFTDI = nullptr;
    QMenu* mnuHelpSelection = nullptr;
    QAction* mnuAbout = nullptr;

    // The channels window, once opened; it stays open across reads.
    QPointer<FrmChannels> frmChannels;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void restoreWindow();
    void cmdCancelRead_Click();
    void mnuAbout_Click();
    void mnuChannels_Click();

    AppContext& ctx_;
    QString helpFile_;
    bool loadFailed_ = false;
};
