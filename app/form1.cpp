#include "app/form1.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <optional>
#include <utility>

#include "app/comports.h"
#include "app/imagefiles.h"
#include "core/config.h"
#include "core/errors.h"
#include "core/messagebox.h"
#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "sim/demo.h"
#include "transfer/appcontext.h"
#include "transfer/memory_read.h"
#include "transfer/memory_write.h"
#include "ui/displaypacer.h"
#include "ui/fontface.h"
#include "ui/frmabout.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"
#include "ui/frmsettings.h"
#include "ui/frmstations.h"
#include "ui/tracebox.h"
#include "ui/windowplace.h"

namespace {

const QString& kSection = ConfigKeys::kSection;
constexpr qsizetype kLogLimit = 65000;
// The designed client area at 96 dpi.
constexpr int kClientWidth = 448;
constexpr int kClientHeight = 474;
// Smallest window a stored placement may give: menus and buttons still usable.
constexpr int kMinWidth = 320;
constexpr int kMinHeight = 240;
constexpr int kTwipsPerPixel = 15;
// Room kept for a window manager's title bar when the built-in size has to shrink.
constexpr int kTitleBarAllowance = 32;

const char* const kTransferButtonStyle =
    "QPushButton { background-color: #C0C0FF; border: 1px solid #606080; border-radius: 2px; }"
    "QPushButton:disabled { color: #808080; }"
    "QPushButton:pressed { background-color: #A0A0E0; }";
const char* const kCancelButtonStyle =
    "QPushButton { background-color: #FF8080; border: 1px solid #806060; border-radius: 2px; }"
    "QPushButton:disabled { color: #A05050; }"
    "QPushButton:pressed { background-color: #E06060; }";

}  // namespace

QString Form1::instructionsText() {
    return QStringLiteral(
               "Use the Settings menu to define which Com port number to use. "
               "The Com port Detect command will show you which ports are available. "
               "It will also show you which of the open ports the radio is connected to. "
               "The COM port pop-out allows you to manually set a port number.") +
           QStringLiteral("\r\n\r\n") +
           QStringLiteral(
               "If your cable is based on the FTDI chip then you can also talk to it "
               "without a Com port number, through libftdi1 (Debian package libftdi1-2), "
               "which takes the cable from the kernel's serial driver while Quorlink uses it. "
               "The installed udev rule lets members of the plugdev group open it. Use the "
               "Settings menu, FTDI cable Detector command to define which device description "
               "to use.");
}

QString Form1::operationText() {
    return QStringLiteral(
        "First read the radio using the Read Radio button. The read can be cancelled "
        "by using the Cancel Read button. After the read completes "
        "you can then write back to the radio using the Write Radio button.");
}

Form1::Form1(AppContext& ctx, QWidget* parent)
    : QMainWindow(parent),
      ctx_(ctx),
      progressPacer_(new DisplayPacer([this] { showProgressNow(); }, this)) {
    setObjectName(QStringLiteral("Form1"));
    ctx_.setFront(this);
    imageEdits = new ImageEdits(ctx_.clone, this);
    // The owner masked those entries on the radio and kept their bytes on purpose.
    imageEdits->setMaskedQuestion([this](const QList<int>& masked) {
        QStringList names;
        for (int n : masked)
            names << EntryName(n);
        const bool one = masked.size() == 1;
        return ctx_.ShowMessage(
                   QStringLiteral("%1 %2 masked on the radio, which hides %3 and keeps %4 data. "
                                  "Store over %3?")
                       .arg(names.join(QStringLiteral(", ")),
                            one ? QStringLiteral("is") : QStringLiteral("are"),
                            one ? QStringLiteral("it") : QStringLiteral("them"),
                            one ? QStringLiteral("its") : QStringLiteral("their")),
                   {one ? QStringLiteral("Store over it") : QStringLiteral("Store over them")},
                   MsgIcon::Exclamation) == MsgAnswer::Ok;
    });
    connect(&ctx_, &AppContext::imageChanged, this, &Form1::imageReplaced);
    // Every window and dialog of the program opens wholly on the screen.
    KeepWindowsOnScreen(*this);
    buildControls();
    buildMenus();
    Form_Load();
}

Form1::~Form1() {
    ctx_.dropFront(this);
    delete frmMessages_.data();
    delete frmChannels.data();  // before the edits they show
    delete frmSettings.data();
    delete frmStations.data();
}

// One notice of a new image, taken in the order it needs: the edits made on the image before
// are dropped before anything shows the new one.
void Form1::imageReplaced() {
    imageEdits->imageReplaced();
    imageFiles_->updateState();
    if (frmChannels)
        frmChannels->Reload();
    if (frmSettings)
        frmSettings->Reload();
    if (frmStations)
        frmStations->Reload();
}

FrmMessages& Form1::frmMessages() {
    if (!frmMessages_) {
        frmMessages_ = new FrmMessages(ctx_.cancel, this);
        QLabel* hint = frmMessages_->lblNoAnswer;
        hint->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(hint, &QLabel::linkActivated, this, [this] {
            // The read waiting on the cable ends first; the link changes once it has.
            simulatedRadioWanted_ = true;
            ctx_.cancel.request(CancelKind::Identity);
        });
    }
    return *frmMessages_;
}

void Form1::setPromptVisible(bool visible) {
    frmMessages().setVisible(visible);
}

void Form1::setPromptPart(PromptPart part, bool visible) {
    FrmMessages& frm = frmMessages();
    QWidget* widget = nullptr;
    switch (part) {
        case PromptPart::LookingForRadio:
            widget = frm.lblLookingForRig;
            break;
        case PromptPart::RadioSending:
            widget = frm.lblWaiting;
            break;
        case PromptPart::RadioReceiving:
            widget = frm.lblWaitForWrite;
            // Once the write's blocks go out nothing can stop them: Cancel Read is not offered.
            if (visible)
                cmdCancelRead->setEnabled(false);
            break;
        case PromptPart::Progress:
            widget = frm.frmClone;
            break;
    }
    // A step of the prompt ends with the counters showing where it got to.
    if (widget->isHidden() == visible)
        showProgressNow();
    widget->setVisible(visible);
}

// Where the simulated radio can be had, the hint also offers it: a first start without a
// cable finds a built-in serial port and waits on it.
void Form1::setNoAnswerHint(const QString& text) {
    QLabel* hint = frmMessages().lblNoAnswer;
    const bool offer = !text.isEmpty() && mnuSimulatedRadio->isVisible();
    hint->setTextFormat(offer ? Qt::RichText : Qt::PlainText);
    hint->setText(offer ? text.toHtmlEscaped() +
                              QStringLiteral("<br><a href=\"simulated\">Use the simulated "
                                             "radio instead</a>")
                        : text);
    hint->setVisible(!text.isEmpty());
}

void Form1::setSimulatedRadioStarter(std::function<QString(MemoryMap::Model)> start) {
    startSimulatedRadio_ = std::move(start);
    mnuSimulatedRadio->setVisible(bool(startSimulatedRadio_));
}

void Form1::useSimulatedRadio(MemoryMap::Model model) {
    simulatedRadioWanted_ = false;
    if (!startSimulatedRadio_ || transferRunning_)
        return;
    const QString error = startSimulatedRadio_(model);
    if (!error.isEmpty()) {
        ctx_.ShowMessage(QStringLiteral("The simulated radio cannot be used: ") + error,
                         MsgButtons::Ok, MsgIcon::Exclamation);
        return;
    }
    mnuSimulatedModel[int(model)]->setChecked(true);
    traceLine(QStringLiteral("Demo: Read Radio and Write Radio now talk to the simulated ") +
              MemoryMap::ModelName(model));
}

void Form1::setProgressMaximum(int maximum) {
    frmMessages().pbarClone->setMaximum(maximum);
}

void Form1::setProgress(int value) {
    pendingProgress_ = value;
    showProgressSoon();
}

void Form1::setBlockCount(const QString& caption) {
    pendingCount_ = caption;
    countPending_ = true;
    showProgressSoon();
}

void Form1::showProgressSoon() {
    if (busy_)
        progressPacer_->changed();
    else
        showProgressNow();
}

void Form1::showProgressNow() {
    if (pendingProgress_ >= 0)
        frmMessages().pbarClone->setValue(std::exchange(pendingProgress_, -1));
    if (std::exchange(countPending_, false))
        lblBlockCount->setText(pendingCount_);
}

void Form1::setTimeoutCaption(const QString& caption) {
    lblTimeoutCount->setText(caption);
}

void Form1::setBusy(bool busy) {
    busy_ = busy;
    if (!busy)
        showProgressNow();
    if (busy)
        DisableButtons();
    else
        EnableButtons();
}

void Form1::traceLine(const QString& text) {
    txtErrors->appendLine(text, kLogLimit);
}

void Form1::clearTrace() {
    txtErrors->clearLog();
}

void Form1::buildControls() {
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("client"));
    // The controls sit at fixed places; a smaller stored window only clips them.
    central->setMinimumSize(kMinWidth, kMinHeight / 2);
    // The layout is drawn for an 8-point face at 96 dpi; larger desktop defaults would
    // cut the instructions short.
    QFont designFont = central->font();
    designFont.setPointSize(8);
    central->setFont(designFont);
    setCentralWidget(central);

    auto label = [](QWidget* parent, const char* name, const QString& text, QRect geometry) {
        auto* l = new QLabel(text, parent);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto button = [](QWidget* parent, const char* name, const QString& text, QRect geometry,
                     const char* style) {
        auto* b = new QPushButton(text, parent);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setStyleSheet(QLatin1String(style));
        return b;
    };

    Frame1 = new QGroupBox(QStringLiteral("Setup"), central);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(4, 6, 441, 159);
    lblInstructions = label(Frame1, "lblInstructions", QString(), {8, 18, 427, 135});
    lblInstructions->setWordWrap(true);
    lblInstructions->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblInstructions->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // The longest text of the window: a touch smaller so that all of it fits.
    QFont instructionsFont = designFont;
    instructionsFont.setPointSizeF(7.5);
    lblInstructions->setFont(instructionsFont);

    Frame2 = new QGroupBox(QStringLiteral("Operation"), central);
    Frame2->setObjectName(QStringLiteral("Frame2"));
    Frame2->setGeometry(4, 180, 441, 79);
    lblOperation = label(Frame2, "lblOperation", QString(), {6, 18, 425, 47});
    lblOperation->setWordWrap(true);
    lblOperation->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    cmdRead = button(central, "cmdRead", QStringLiteral("&Read Radio"), {24, 280, 96, 24},
                     kTransferButtonStyle);
    cmdRead->setToolTip(QStringLiteral(" Read the radio memory into the computer "));
    cmdWriteRig = button(central, "cmdWriteRig", QStringLiteral("Write R&adio"), {176, 280, 96, 24},
                         kTransferButtonStyle);
    cmdWriteRig->setToolTip(QStringLiteral(" Write the currently shown memory to the radio "));
    cmdWriteRig->setEnabled(false);
    cmdCancelRead = button(central, "cmdCancelRead", QStringLiteral("Cancel Read"),
                           {324, 280, 96, 24}, kCancelButtonStyle);
    cmdCancelRead->setEnabled(false);

    Label1 = label(central, "Label1", QStringLiteral("Block count"), {8, 318, 87, 19});
    lblBlockCount = label(central, "lblBlockCount", QStringLiteral("0"), {98, 318, 60, 19});
    // The time-out counter shows texts such as "12 timeouts" in full, so its label and
    // caption sit further left than the plain numbers would need.
    Label2 = label(central, "Label2", QStringLiteral("Timeouts"), {296, 318, 59, 19});
    lblTimeoutCount = label(central, "lblTimeoutCount", QStringLiteral("0"), {356, 318, 88, 19});

    txtErrors = new TraceBox(central);
    txtErrors->setObjectName(QStringLiteral("txtErrors"));
    txtErrors->setGeometry(6, 340, 437, 127);
    txtErrors->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtErrors->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    central->installEventFilter(this);

    connect(cmdRead, &QPushButton::clicked, this, [this] { cmdRead_Clicked(); });
    connect(cmdWriteRig, &QPushButton::clicked, this, [this] { cmdWriteRig_Clicked(); });
    connect(cmdCancelRead, &QPushButton::clicked, this, [this] { cmdCancelRead_Click(); });
}

void Form1::buildMenus() {
    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = mnuFile->addAction(QStringLiteral("E&xit"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    connect(mnuExit, &QAction::triggered, this, &QWidget::close);
    imageFiles_ = new ImageFiles(
        ctx_, {*this, *mnuFile, mnuExit, *imageEdits,
               // Read Radio is unavailable exactly while a transfer runs.
               [this] { return !cmdRead->isEnabled(); }, [this] { EnableButtons(); }});
    const ImageFileActions& files = imageFiles_->actions();
    mnuOpenImage = files.openImage;
    mnuOpenBackup = files.openBackup;
    mnuSaveImageAs = files.saveImageAs;
    mnuSaveImage = files.saveImage;
    mnuImportChannels = files.importChannels;
    mnuExportChannels = files.exportChannels;
    mnuExportChannelsPdf = files.exportChannelsPdf;
    mnuRecentImages = files.recentImages;

    mnuView = menuBar()->addMenu(QStringLiteral("&View"));
    mnuView->setObjectName(QStringLiteral("mnuView"));
    mnuChannels = mnuView->addAction(QStringLiteral("&Channels"));
    mnuChannels->setObjectName(QStringLiteral("mnuChannels"));
    mnuChannels->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    connect(mnuChannels, &QAction::triggered, this, [this] { mnuChannels_Click(); });
    mnuRadioSettings = mnuView->addAction(QStringLiteral("Radio &Settings"));
    mnuRadioSettings->setObjectName(QStringLiteral("mnuRadioSettings"));
    connect(mnuRadioSettings, &QAction::triggered, this, [this] { mnuRadioSettings_Click(); });
    mnuHeardStations = mnuView->addAction(QStringLiteral("&Heard Stations"));
    mnuHeardStations->setObjectName(QStringLiteral("mnuHeardStations"));
    connect(mnuHeardStations, &QAction::triggered, this, [this] { mnuHeardStations_Click(); });

    // The buttons' own clicks: a button that is unavailable (a transfer runs) ignores them.
    mnuRadio = menuBar()->addMenu(QStringLiteral("&Radio"));
    mnuRadio->setObjectName(QStringLiteral("mnuRadio"));
    mnuReadRadio = mnuRadio->addAction(QStringLiteral("&Read Radio"));
    mnuReadRadio->setObjectName(QStringLiteral("mnuReadRadio"));
    connect(mnuReadRadio, &QAction::triggered, cmdRead, &QPushButton::click);
    mnuWriteRadio = mnuRadio->addAction(QStringLiteral("&Write Radio"));
    mnuWriteRadio->setObjectName(QStringLiteral("mnuWriteRadio"));
    mnuWriteRadio->setEnabled(false);
    connect(mnuWriteRadio, &QAction::triggered, cmdWriteRig, &QPushButton::click);

    mnuSettingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    mnuSettingsMenu->setObjectName(QStringLiteral("mnuSettingsMenu"));
    mnuComPortIdentifier = mnuSettingsMenu->addAction(QStringLiteral("C&OM port Detector"));
    mnuComPortIdentifier->setObjectName(QStringLiteral("mnuComPortIdentifier"));
    mnuComPortSelection = mnuSettingsMenu->addMenu(QStringLiteral("&COM Port"));
    mnuComPortSelection->setObjectName(QStringLiteral("mnuComPortSelection"));
    mnuComPortSelection->setToolTipsVisible(true);
    for (int i = 0; i < 33; ++i) {
        const QString caption =
            i < 32 ? QStringLiteral("COM%1").arg(i + 1) : QStringLiteral("FTDIDevice");
        QAction* entry = mnuComPortSelection->addAction(caption);
        entry->setObjectName(QStringLiteral("mnuCOM%1").arg(i));
        entry->setCheckable(true);
        entry->setVisible(i < 32);
        mnuCOM[i] = entry;
        connect(entry, &QAction::triggered, this, [this, i] {
            AppContext::guardHandler(
                [this, i] { mnuCOM_Click(ctx_, portMenu_, static_cast<qint16>(i)); });
        });
    }
    mnuFTDI = mnuSettingsMenu->addAction(QStringLiteral("&FTDI cable Detector"));
    mnuFTDI->setObjectName(QStringLiteral("mnuFTDI"));
    connect(mnuComPortIdentifier, &QAction::triggered, this, [this] {
        AppContext::guardHandler([this] { mnuComPortIdentifier_Click(ctx_, portMenu_); });
    });
    connect(mnuFTDI, &QAction::triggered, this,
            [this] { AppContext::guardHandler([this] { mnuFTDI_Click(ctx_, portMenu_); }); });

    mnuHelpSelection = menuBar()->addMenu(QStringLiteral("He&lp"));
    mnuHelpSelection->setObjectName(QStringLiteral("mnuHelpSelection"));
    mnuAbout = mnuHelpSelection->addAction(QStringLiteral("&About"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    connect(mnuAbout, &QAction::triggered, this,
            [this] { AppContext::guardHandler([this] { mnuAbout_Click(); }); });
    // One entry per model; the one picked last is checked and remembered.
    auto* simulated = new QMenu(QStringLiteral("Use the &Simulated Radio"), this);
    simulated->setObjectName(QStringLiteral("mnuSimulatedRadioMenu"));
    simulated->setToolTipsVisible(true);
    mnuSimulatedRadio = simulated->menuAction();
    mnuSimulatedRadio->setObjectName(QStringLiteral("mnuSimulatedRadio"));
    mnuSimulatedRadio->setVisible(false);
    auto* models = new QActionGroup(this);
    const MemoryMap::Model remembered = storedDemoModel(ctx_.config());
    for (const RadioModel& row : kRadioModels) {
        const MemoryMap::Model model = row.model;
        QAction* entry = simulated->addAction(MemoryMap::ModelName(model));
        entry->setObjectName(QStringLiteral("mnuSimulated") +
                             MemoryMap::ModelName(model).remove(QLatin1Char('-')));
        entry->setToolTip(QStringLiteral("Talk to a simulated %1 instead of a cable, for this run")
                              .arg(MemoryMap::ModelName(model)));
        entry->setCheckable(true);
        entry->setChecked(model == remembered);
        models->addAction(entry);
        mnuSimulatedModel[int(model)] = entry;
        connect(entry, &QAction::triggered, this, [this, model] {
            storeDemoModel(ctx_.config(), model);
            AppContext::guardHandler([this, model] { useSimulatedRadio(model); });
        });
    }
    mnuHelpSelection->insertAction(mnuAbout, mnuSimulatedRadio);
}

void Form1::Form_Load() {
    int line = 0;
    try {
        line = 10;
        ApplySystemFont(this);
        line = 20;
        helpFile_ = QCoreApplication::applicationDirPath() + QStringLiteral("/") +
                    AppContext::AppName() + QStringLiteral(".chm");
        line = 30;
        InitialiseVariables();
        line = 40;
        lblInstructions->setText(instructionsText());
        lblOperation->setText(operationText());
        line = 50;
        restoreWindow();
        line = 60;
        imageFiles_->updateState();  // the caption, and whatever names the image's file
        line = 70;
        ctx_.clone.image = CloneImage();
    } catch (const RunError& e) {
        ctx_.ShowMessage(
            QStringLiteral("Error %1 (%2) in line %3 of procedure Form_Load of Form Form1")
                .arg(e.number())
                .arg(e.description())
                .arg(line),
            MsgButtons::Ok, MsgIcon::None);
        loadFailed_ = true;
    }
}

void Form1::InitialiseVariables() {
    try {
        mnuAbout->setText(QStringLiteral("&About ") + AppContext::AppName() +
                          QStringLiteral("..."));
        LinkState& link = ctx_.state.link;
        ConfigStore& store = ctx_.config();
        link.loadStoredChoice(store);
        link.PortSettings = QStringLiteral("38400,N,8,1");
        FillComPorts(ctx_, portMenu_);
        SelectSoleUsbAdapter(ctx_, portMenu_);
        MarkSelectedPort(ctx_, portMenu_);
    } catch (const RunError& e) {
        ctx_.ShowMessage(
            QStringLiteral("Error %1 (%2) in procedure InitialiseVariables of Module General")
                .arg(e.number())
                .arg(e.description()),
            MsgButtons::Ok, MsgIcon::None);
    }
}

void Form1::restoreWindow() {
    ConfigStore& store = ctx_.config();
    // A stored value that does not fit would stop every start: it is left aside, with one
    // trace line naming the key and the file, and the window starts as if it were missing.
    auto stored = [&](const char* key, double scale, auto convert) -> std::optional<int> {
        const QString name = QLatin1String(key);
        if (!store.contains(kSection, name))
            return std::nullopt;
        const QString text = store.get(kSection, name, QString());
        try {
            return convert(numericValue(text) / scale);
        } catch (const RunError&) {
            ctx_.LogMessage(QStringLiteral("Form_Load: ignored ") + name + QStringLiteral("=") +
                            text + QStringLiteral(" in ") + store.fileName() +
                            QStringLiteral(": out of range"));
            return std::nullopt;
        }
    };
    const int state = stored("MemoryWindowState", 1, toInt16).value_or(0);

    // The built-in size: the designed client area below the menu bar; on a screen too small
    // for it (a large scale factor) as much as fits below a title bar. Then the size and place
    // the window last had, where they still fit, and over them the stored placement.
    const QRect avail = AvailableArea(*this);
    resize(kClientWidth, qMin(kClientHeight + menuBar()->sizeHint().height(),
                              qMax(kMinHeight, avail.height() - kTitleBarAllowance)));
    const bool kept = KeepPlacement(*this, store, QStringLiteral("Main"));
    if (const auto height = stored("MemoryHeight", kTwipsPerPixel, toInt32))
        resize(width(), std::clamp(*height, kMinHeight, qMax(kMinHeight, avail.height())));
    if (const auto width = stored("MemoryWidth", kTwipsPerPixel, toInt32))
        resize(std::clamp(*width, kMinWidth, qMax(kMinWidth, avail.width())), this->height());
    const auto top = stored("MemoryTop", kTwipsPerPixel, toInt32);
    if (top)
        move(x(), *top);
    const auto left = stored("MemoryLeft", kTwipsPerPixel, toInt32);
    if (left)
        move(*left, y());
    // Wholly on the screen: never larger than the area, nothing past its edges. With nothing
    // stored the window manager places the window.
    if (top || left || kept)
        FitOnScreen(*this);
    // The stored state last: a resize or move clears a maximized state set before it.
    if (state == 1)
        setWindowState(Qt::WindowMinimized);
    else if (state == 2)
        setWindowState(Qt::WindowMaximized);
}

void Form1::DisableButtons() {
    cmdRead->setEnabled(false);
    cmdWriteRig->setEnabled(false);
    cmdCancelRead->setEnabled(true);
    imageFiles_->updateState();
    mnuReadRadio->setEnabled(false);
    mnuWriteRadio->setEnabled(false);
}

void Form1::EnableButtons() {
    cmdRead->setEnabled(true);
    cmdCancelRead->setEnabled(false);
    // Write is offered exactly when there is a valid image to write.
    cmdWriteRig->setEnabled(ctx_.clone.image.isValid());
    imageFiles_->updateState();
    mnuReadRadio->setEnabled(true);
    mnuWriteRadio->setEnabled(cmdWriteRig->isEnabled());
}

// One transfer at a time, and the link it opens stays the one chosen: from the click on
// (the link opens with a pause that runs window events) until the transfer has ended, Read
// and Write, the port entries and both detectors are unavailable. A way out that leaves
// the buttons as they were (a link that did not open) gets them back here.
void Form1::runTransfer(TransferResult (*transfer)(AppContext&)) {
    if (transferRunning_)
        return;
    transferRunning_ = true;
    cmdRead->setEnabled(false);
    cmdWriteRig->setEnabled(false);
    mnuReadRadio->setEnabled(false);
    mnuWriteRadio->setEnabled(false);
    setLinkChoiceEnabled(false);
    // A write sends the image block by block: nothing may change it meanwhile.
    imageEdits->setEditable(false);
    bool read = false;
    AppContext::guardHandler(
        [this, transfer, &read] { read = transfer(ctx_).done() && transfer == cmdRead_Click; });
    transferRunning_ = false;
    imageEdits->setEditable(true);
    if (ctx_.shuttingDown())
        return;
    setLinkChoiceEnabled(true);
    EnableButtons();
    if (read)
        traceLine(QStringLiteral("Read: the channels can be edited with View ▸ Channels (Ctrl+L)"));
    if (simulatedRadioWanted_)
        AppContext::guardHandler([this] { useSimulatedRadio(storedDemoModel(ctx_.config())); });
}

// A read replaces the image held: unsaved channel edits are saved or given up first.
void Form1::cmdRead_Clicked() {
    if (transferRunning_)
        return;
    bool go = false;
    AppContext::guardHandler([this, &go] { go = imageFiles_->SaveChangesFirst(); });
    if (!go)
        return;
    // Edits still unsaved now were given up (Discard): they hold no close up during the read.
    editsGivenUp_ = imageEdits->unsaved();
    runTransfer(cmdRead_Click);
    editsGivenUp_ = false;
}

void Form1::cmdWriteRig_Clicked() {
    if (transferRunning_)
        return;
    bool go = false;
    QStringList fixed;
    AppContext::guardHandler([this, &go, &fixed] { go = sumsAgreeOrBroughtUpToDate(fixed); });
    if (!go)
        return;
    runTransfer(cmdWriteRig_Click);
    // After the write's own lines, which it starts by clearing the trace.
    if (!ctx_.shuttingDown()) {
        for (const QString& line : fixed)
            traceLine(QStringLiteral("Write: before sending, ") + line);
    }
}

// An image whose sums do not agree with its data (a damaged file kept as it was) is not sent
// as it is: the radio would take the damage. The user is asked, as opening the file did;
// Yes brings the sums up to date in the image held (`fixed` says which), No sends nothing.
bool Form1::sumsAgreeOrBroughtUpToDate(QStringList& fixed) {
    CloneState& clone = ctx_.clone;
    if (!clone.image.sumsKeptStale())
        return true;
    const QStringList stale = StaleSums(clone.image.bytes());
    const QString question =
        QStringLiteral("The sums of the image held do not agree with its data:\r\n\r\n") +
        stale.join(QStringLiteral("\r\n")) +
        QStringLiteral("\r\n\r\nBring them up to date and write the image?");
    if (ctx_.ShowMessage(question, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes) {
        traceLine(QStringLiteral("Write: not started: ") + stale.join(QStringLiteral("; ")));
        return false;
    }
    QByteArray bytes = clone.image.bytes();
    fixed = FixSums(bytes);
    clone.image = CloneImage(bytes);
    return true;
}

void Form1::setLinkChoiceEnabled(bool enabled) {
    for (QAction* entry : mnuCOM)
        entry->setEnabled(enabled);
    mnuSimulatedRadio->setEnabled(enabled);
    mnuComPortIdentifier->setEnabled(enabled);
    mnuFTDI->setEnabled(enabled);
}

void Form1::cmdCancelRead_Click() {
    ctx_.cancel.request(CancelKind::Read);
    ctx_.cancel.request(CancelKind::Identity);
}

// The box is modal for the main window but runs in the main event loop: a transfer under
// way keeps its pace while it is open.
void Form1::mnuAbout_Click() {
    auto* about = new FrmAbout(this);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->open();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    // The trace box takes the room below the counters: a window shorter than designed (a
    // small screen) still shows its newest lines, a taller one shows more.
    if (watched == centralWidget() && event->type() == QEvent::Resize) {
        const QSize client = centralWidget()->size();
        txtErrors->setGeometry(6, 340, qMax(100, client.width() - 11),
                               qMax(40, client.height() - 347));
    }
    return QMainWindow::eventFilter(watched, event);
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (startupNotice_.isEmpty())
        return;
    // After the window has been drawn, so that the box stands in front of it.
    QTimer::singleShot(0, this, [this] {
        const QString text = std::exchange(startupNotice_, QString());
        if (!text.isEmpty())
            AppContext::guardHandler(
                [&] { ctx_.ShowMessage(text, MsgButtons::Ok, MsgIcon::None); });
    });
}

void Form1::closeEvent(QCloseEvent* event) {
    if (!ctx_.shuttingDown() && imageEdits->unsaved() && !editsGivenUp_) {
        // A box now would hold up the transfer's waits until answered.
        if (transferRunning_) {
            traceLine(
                QStringLiteral("Close: the channel edits are not saved; close again once "
                               "the transfer has ended."));
            event->ignore();
            return;
        }
        bool go = false;
        AppContext::guardHandler([this, &go] { go = imageFiles_->SaveChangesFirst(); });
        if (!go) {
            event->ignore();
            return;
        }
    }
    event->accept();
    ctx_.requestShutdown();
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (w != this && w->isVisible())
            w->close();
    }
}

// To the right of the main window, or to its left when the screen has no room there; on
// a screen too small for both, as far right as it fits.
void Form1::placeBeside(QWidget& window) {
    constexpr int kGap = 8;
    const QRect main = frameGeometry();
    const QRect avail = AvailableArea(*this);
    const QSize frame = window.size().grownBy(FrameMargins(window));
    int x = main.right() + 1 + kGap;
    if (x + frame.width() > avail.right() + 1)
        x = main.left() - kGap - frame.width();
    if (x < avail.left())
        x = qMax(avail.left(), avail.right() + 1 - frame.width());
    const int y =
        std::clamp(main.top(), avail.top(), qMax(avail.top(), avail.bottom() + 1 - frame.height()));
    window.move(x, y);
}

// A window opened from this one: where it last was when that still fits, else beside this
// one; wholly on the screen either way.
void Form1::place(QWidget& window, const QString& key) {
    if (!KeepPlacement(window, ctx_.config(), key))
        placeBeside(window);
    FitOnScreen(window);
}

void Form1::mnuChannels_Click() {
    if (!frmChannels) {
        frmChannels = new FrmChannels(*imageEdits, this);
        shareMenusWith(*frmChannels);
        place(*frmChannels, QStringLiteral("Channels"));
    }
    frmChannels->show();
    frmChannels->raise();
    frmChannels->activateWindow();
}

void Form1::mnuRadioSettings_Click() {
    if (!frmSettings) {
        frmSettings = new FrmSettings(*imageEdits, this);
        shareMenusWith(*frmSettings);
        place(*frmSettings, QStringLiteral("RadioSettings"));
    }
    frmSettings->show();
    frmSettings->raise();
    frmSettings->activateWindow();
}

void Form1::mnuHeardStations_Click() {
    if (!frmStations) {
        frmStations = new FrmStations(*imageEdits, this);
        frmStations->setFileDialogs(imageFiles().fileDialogs());
        placeBeside(*frmStations);
    }
    frmStations->show();
    frmStations->raise();
    frmStations->activateWindow();
}

// The channels window gets the File entries and the Radio menu of this window: the same
// actions (one each, with their shortcuts, which work in whichever of the two is active),
// so that the image can be saved, read and written from where it is edited.
void Form1::shareMenusWith(FrmChannels& editor) {
    QAction* close = editor.mnuClose;
    editor.mnuFile->insertActions(close,
                                  {mnuOpenImage, mnuOpenBackup, mnuSaveImage, mnuSaveImageAs});
    editor.mnuFile->insertMenu(close, mnuRecentImages);
    editor.mnuFile->insertSeparator(close);
    editor.mnuFile->insertActions(close,
                                  {mnuImportChannels, mnuExportChannels, mnuExportChannelsPdf});
    editor.mnuFile->insertMenu(close, imageFiles_->actions().importMenu);
    editor.mnuFile->insertSeparator(close);
    editor.menuBar->addMenu(mnuView);
    editor.menuBar->addMenu(mnuRadio);
}

// The Radio Settings window saves the image and writes the radio with the same actions.
void Form1::shareMenusWith(FrmSettings& settings) {
    settings.mnuFile->insertActions(settings.mnuClose, {mnuSaveImage, mnuSaveImageAs});
    settings.mnuFile->insertSeparator(settings.mnuClose);
    settings.menuBar->addMenu(mnuView);
    settings.menuBar->addMenu(mnuRadio);
}
