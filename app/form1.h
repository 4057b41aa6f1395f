#pragma once

#include <QDialog>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <functional>

#include "app/comports.h"
#include "core/front.h"
#include "image/memorymap.h"

class AppContext;
class ImageEdits;
struct TransferResult;
class CoreContext;
class DisplayPacer;
class FrmChannels;
class FrmSettings;
class FrmStations;
class ImageFiles;
class FrmMessages;
class QAction;
class QGroupBox;
class QLabel;
class QMenu;
class QPushButton;
class TraceBox;

// The main window: instructions, the three transfer buttons, the block and time-out
// counters, the trace box and the menus. Its closing ends the application. It is the
// transfers' front while it exists: the prompt window, the counters, the buttons and the
// trace box show what a transfer reports.
class Form1 : public QMainWindow, public TransferFront {
    Q_OBJECT
public:
    explicit Form1(AppContext& ctx, QWidget* parent = nullptr);
    ~Form1() override;

    // The transfer prompt window, created on first use.
    FrmMessages& frmMessages();

    // The COM port identifier, created hidden by the port menu on first use and kept for
    // the run: its 32 serial-port controls are also the menu's port probes.
    QPointer<QDialog> comPortDiag;
    // The COM Port submenu with what it works on.
    PortMenu& portMenu() { return portMenu_; }

    // The front.
    void setPromptVisible(bool visible) override;
    void setPromptPart(PromptPart part, bool visible) override;
    void setNoAnswerHint(const QString& text) override;
    void setProgressMaximum(int maximum) override;
    void setProgress(int value) override;
    void setBlockCount(const QString& caption) override;
    void setTimeoutCaption(const QString& caption) override;
    void setBusy(bool busy) override;
    void traceLine(const QString& text) override;
    void clearTrace() override;

    // Read and Write disabled, Cancel Read enabled.
    void DisableButtons();
    // Read enabled, Cancel Read disabled, Write enabled when the image is valid.
    void EnableButtons();
    // True from the click on Read or Write until that transfer has ended.
    bool transferRunning() const { return transferRunning_; }

    // Fills the link configuration from the configuration store and refreshes the port menu.
    void InitialiseVariables();

    // True when the load step failed and the application is to end.
    bool loadFailed() const { return loadFailed_; }
    QString helpFile() const { return helpFile_; }
    // A message box shown once the window first appears (empty: none).
    void setStartupNotice(const QString& text) { startupNotice_ = text; }

    // Open Image, Save Image, the recent files and dropped files.
    ImageFiles& imageFiles() const { return *imageFiles_; }

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
    QAction* mnuOpenImage = nullptr;
    QAction* mnuOpenBackup = nullptr;
    QAction* mnuSaveImageAs = nullptr;
    QAction* mnuSaveImage = nullptr;
    QAction* mnuImportChannels = nullptr;
    QAction* mnuExportChannels = nullptr;
    QAction* mnuExportChannelsPdf = nullptr;
    QMenu* mnuRecentImages = nullptr;
    QAction* mnuExit = nullptr;
    QMenu* mnuView = nullptr;
    QAction* mnuChannels = nullptr;
    QAction* mnuRadioSettings = nullptr;
    QAction* mnuHeardStations = nullptr;
    // Read Radio and Write Radio as menu entries, shared with the channels window.
    QMenu* mnuRadio = nullptr;
    QAction* mnuReadRadio = nullptr;
    QAction* mnuWriteRadio = nullptr;
    QMenu* mnuSettingsMenu = nullptr;
    QAction* mnuComPortIdentifier = nullptr;
    QMenu* mnuComPortSelection = nullptr;
    std::array<QAction*, 33> mnuCOM{};
    QAction* mnuFTDI = nullptr;
    QMenu* mnuHelpSelection = nullptr;
    QAction* mnuAbout = nullptr;
    // Switches the link to the simulated radio for this run, as the model picked in its
    // submenu (remembered; the hint's link takes the one last picked); shown once a way to
    // start it is given.
    QAction* mnuSimulatedRadio = nullptr;
    std::array<QAction*, std::size(kRadioModels)> mnuSimulatedModel{};

    // How the simulated radio is started, or made another model once it runs (main() gives
    // it): an error text, empty on success.
    void setSimulatedRadioStarter(std::function<QString(MemoryMap::Model)> start);

    // The channels window, once opened; it stays open across reads.
    QPointer<FrmChannels> frmChannels;
    // The radio settings window, once opened.
    QPointer<FrmSettings> frmSettings;
    QPointer<FrmStations> frmStations;
    // The changes made to the image held, with their undo steps.
    ImageEdits* imageEdits = nullptr;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void Form_Load();
    void restoreWindow();
    void cmdCancelRead_Click();
    void mnuAbout_Click();
    void mnuChannels_Click();
    void mnuRadioSettings_Click();
    void mnuHeardStations_Click();
    void cmdRead_Clicked();
    void cmdWriteRig_Clicked();
    bool sumsAgreeOrBroughtUpToDate(QStringList& fixed);
    void useSimulatedRadio(MemoryMap::Model model);
    void shareMenusWith(FrmChannels& editor);
    void shareMenusWith(FrmSettings& settings);
    void placeBeside(QWidget& window);
    void place(QWidget& window, const QString& key);
    void runTransfer(TransferResult (*transfer)(AppContext&));
    void setLinkChoiceEnabled(bool enabled);
    void imageReplaced();

    AppContext& ctx_;
    ImageFiles* imageFiles_ = nullptr;
    QPointer<FrmMessages> frmMessages_;
    QString helpFile_;
    bool loadFailed_ = false;

    // While a transfer runs, the block counter and the progress bar follow at an event
    // pump, inside the transfer's waits, instead of between its paced steps, and at a
    // person's pace rather than at every block.
    void showProgressSoon();
    void showProgressNow();
    DisplayPacer* progressPacer_ = nullptr;
    bool busy_ = false;
    int pendingProgress_ = -1;
    bool countPending_ = false;
    QString pendingCount_;
    bool transferRunning_ = false;
    QString startupNotice_;
    std::function<QString(MemoryMap::Model)> startSimulatedRadio_;
    // Asked for in the no-answer hint while a read runs: started once the read has ended.
    bool simulatedRadioWanted_ = false;
    bool editsGivenUp_ = false;
    PortMenu portMenu_{*this, mnuCOM, comPortDiag,
                       [this](const QString& text) { setStartupNotice(text); }};
};
