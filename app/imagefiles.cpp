#include "app/imagefiles.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QSaveFile>
#include <QUrl>

#include "core/config.h"
#include "edit/imageedits.h"
#include "image/cloneimage.h"
#include "image/imagefile.h"
#include "memory/channelcsv.h"
#include "memory/channelimport.h"
#include "memory/settings.h"
#include "print/channelpdf.h"
#include "sources/importfile.h"
#include "sources/repeaterbook.h"
#include "transfer/appcontext.h"
#include "ui/filedialogs.h"
#include "ui/importpreview.h"
#include "ui/messagebox.h"

namespace {
const QString kRecent = QStringLiteral("Recent");
const QString kDialogs = QStringLiteral("Dialogs");
const QString kLastFolder = QStringLiteral("LastFolder");
const QString kFilter = QStringLiteral("Radio images (*.img);;All files (*)");
const QString kCsvFilter = QStringLiteral("CSV files (*.csv);;All files (*)");
// Refused rows listed in one box; the rest are counted.
constexpr int kRefusalsShown = 20;

// The one local file a drag carries, or an empty text.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls()[0].isLocalFile())
        return QString();
    return mime->urls()[0].toLocalFile();
}
}  // namespace

ImageFiles::ImageFiles(AppContext& ctx, ImageFilesHost host)
    : QObject(&host.window), ctx_(ctx), host_(std::move(host)) {
    QWidget& window = host_.window;
    QMenu& file = host_.fileMenu;
    auto entry = [&](const QString& caption, const QKeySequence& keys, const char* name,
                     void (ImageFiles::*handler)()) {
        auto* action = new QAction(caption, &window);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        file.insertAction(host_.before, action);
        connect(action, &QAction::triggered, this, [this, handler] {
            AppContext::guardHandler([this, handler] { (this->*handler)(); });
        });
        return action;
    };
    actions_.openImage =
        entry(QStringLiteral("&Open Image..."), QKeySequence(QStringLiteral("Ctrl+O")),
              "mnuOpenImage", &ImageFiles::mnuOpenImage_Click);
    actions_.openBackup = entry(QStringLiteral("Open &Backup..."), QKeySequence(), "mnuOpenBackup",
                                &ImageFiles::mnuOpenBackup_Click);
    actions_.saveImageAs =
        entry(QStringLiteral("Save Image &As..."), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
              "mnuSaveImageAs", &ImageFiles::mnuSaveImageAs_Click);
    actions_.saveImage =
        entry(QStringLiteral("&Save Image"), QKeySequence(QStringLiteral("Ctrl+S")), "mnuSaveImage",
              &ImageFiles::mnuSaveImage_Click);
    actions_.importChannels = entry(QStringLiteral("&Import Channels..."), QKeySequence(),
                                    "mnuImportChannels", &ImageFiles::mnuImportChannels_Click);
    actions_.exportChannels = entry(QStringLiteral("&Export Channels..."), QKeySequence(),
                                    "mnuExportChannels", &ImageFiles::mnuExportChannels_Click);
    actions_.exportChannelsPdf =
        entry(QStringLiteral("Export Channels as &PDF..."), QKeySequence(), "mnuExportChannelsPdf",
              &ImageFiles::mnuExportChannelsPdf_Click);
    actions_.importMenu = new QMenu(QStringLiteral("I&mport"), &window);
    actions_.importMenu->setObjectName(QStringLiteral("mnuImport"));
    file.insertMenu(host_.before, actions_.importMenu);
    actions_.importDirectory =
        actions_.importMenu->addAction(QStringLiteral("Repeater directory…"));
    actions_.importDirectory->setObjectName(QStringLiteral("mnuImportDirectory"));
    connect(actions_.importDirectory, &QAction::triggered, this,
            &ImageFiles::mnuImportDirectory_Click);
    actions_.importImage =
        actions_.importMenu->addAction(QStringLiteral("Channels from another image…"));
    actions_.importImage->setObjectName(QStringLiteral("mnuImportImage"));
    connect(actions_.importImage, &QAction::triggered, this, &ImageFiles::mnuImportImage_Click);
    actions_.recentImages = new QMenu(QStringLiteral("&Recent Images"), &window);
    actions_.recentImages->setObjectName(QStringLiteral("mnuRecentImages"));
    file.insertMenu(host_.before, actions_.recentImages);
    file.insertSeparator(host_.before);

    window.setAcceptDrops(true);
    window.installEventFilter(this);
    connect(&host_.edits, &ImageEdits::unsavedChanged, this, &ImageFiles::updateState);
    fillRecentMenu();
    updateState();
}

FileDialogs& ImageFiles::dialogs() {
    static QtFileDialogs standard;
    return dialogs_ ? *dialogs_ : standard;
}

QString ImageFiles::askOpen(const QString& caption, const QString& folder, const QString& filter) {
    return chosen(dialogs().openFileName(dialogParent(), caption, folder, filter));
}

QString ImageFiles::askSave(const QString& caption, const QString& suggested,
                            const QString& filter) {
    return chosen(dialogs().saveFileName(dialogParent(), caption, suggested, filter));
}

// The next dialog starts where the user last went, whatever the file was for.
QString ImageFiles::chosen(const QString& path) {
    if (!path.isEmpty())
        ctx_.config().set(kDialogs, kLastFolder, QFileInfo(path).absolutePath());
    return path;
}

// The entries are in the Channels and Radio Settings windows too: a dialog opens over the
// window it was asked from, and the main window stays where it is.
QWidget* ImageFiles::dialogParent() const {
    QWidget* active = QApplication::activeWindow();
    for (QWidget* w = active; w; w = w->parentWidget())
        if (w == &host_.window)
            return active;
    return &host_.window;
}

bool ImageFiles::busy() const {
    return host_.busy();
}

void ImageFiles::log(const QString& text) {
    ctx_.LogMessage(text);
}

bool ImageFiles::OpenImage(const QString& path) {
    if (busy())
        return false;
    LoadedImage loaded;
    QString error;
    if (!LoadImageFile(path, loaded, &error)) {
        ctx_.ShowMessage(error, MsgButtons::Ok, MsgIcon::Stop);
        return false;
    }
    // The other programmer brings the sums up to date only when it uploads: a file it saved
    // (its trailer) has them stale by habit, not by damage. Any other file is asked about;
    // No keeps them as they are, and Write asks again before it sends the image.
    const QStringList stale = StaleSums(loaded.image);
    bool keepStale = false;
    if (!stale.isEmpty() && !loaded.hadTrailer) {
        const QString question =
            QStringLiteral(
                "This file's checksum does not match its data; files saved by other programs "
                "often look like this. Quorlink can correct the checksum; no channel or "
                "setting changes.\r\n\r\n") +
            QDir::toNativeSeparators(path) + QStringLiteral("\r\n") +
            stale.join(QStringLiteral("\r\n"));
        switch (ctx_.ShowMessage(
            question, {QStringLiteral("Correct and open"), QStringLiteral("Open as it is")},
            MsgIcon::Question)) {
            case MsgAnswer::Yes:
                break;
            case MsgAnswer::No:
                keepStale = true;
                break;
            default:
                return false;
        }
    }
    if (!SaveChangesFirst())
        return false;
    const QStringList fixed = keepStale ? QStringList() : FixSums(loaded.image);
    CloneState& clone = ctx_.clone;
    clone.image = keepStale ? CloneImage::asStored(loaded.image) : CloneImage(loaded.image);
    clone.ImagePath = QFileInfo(path).absoluteFilePath();
    clone.ReadAt = QDateTime();
    log(QStringLiteral("Open: ") + QDir::toNativeSeparators(clone.ImagePath));
    log(QStringLiteral("Open: model ") + ModelName(loaded.image) + QStringLiteral(", identity ") +
        IdentityText(loaded.image, CloneLayout::kIdentitySize));
    for (const QString& line : fixed)
        log(line);
    if (keepStale)
        log(
            QStringLiteral("Open: the sums are kept as they were; Write asks before it sends "
                           "the image"));
    else if (stale.isEmpty())
        log(QStringLiteral("Open: checksum agrees"));
    host_.opened();
    remember(clone.ImagePath);
    emit ctx_.imageChanged();
    // Corrected after the question, the image held is no longer its file's bytes.
    if (!fixed.isEmpty() && !loaded.hadTrailer)
        host_.edits.markDiffersFromFile();
    return true;
}

bool ImageFiles::SaveImage(const QString& path) {
    CloneState& clone = ctx_.clone;
    if (!clone.image.isValid() || busy())
        return false;
    QString error;
    // Without the other programmer's trailer, which would have the sums of a damaged image
    // brought up to date without a question when the file is opened again.
    const bool saved = clone.image.sumsKeptStale()
                           ? SaveFileAtomically(path, clone.image.bytes(), &error)
                           : SaveImageFile(path, clone.image.bytes(), &error);
    if (!saved) {
        ctx_.ShowMessage(error, MsgButtons::Ok, MsgIcon::Stop);
        return false;
    }
    clone.ImagePath = QFileInfo(path).absoluteFilePath();
    clone.ReadAt = QDateTime();
    log(QStringLiteral("Save: image saved as ") + QDir::toNativeSeparators(clone.ImagePath));
    remember(clone.ImagePath);
    host_.edits.markSaved();
    updateState();
    return true;
}

bool ImageFiles::SaveChangesFirst() {
    if (!host_.edits.unsaved())
        return true;
    const QString name = QFileInfo(suggestedPath()).fileName();
    switch (ctx_.ShowMessage(QStringLiteral("Save changes to %1?").arg(name),
                             MsgButtons::SaveDiscardCancel, MsgIcon::Question)) {
        case MsgAnswer::Discard:
            return true;
        case MsgAnswer::Save:
            return ctx_.clone.ImagePath.isEmpty() ? SaveImageAs() : SaveImage(ctx_.clone.ImagePath);
        default:
            return false;
    }
}

QString ImageFiles::suggestedPath() const {
    const CloneState& clone = ctx_.clone;
    if (!clone.ImagePath.isEmpty())
        return clone.ImagePath;
    return QDir(lastFolder())
        .filePath(ShortModelName(clone.image.bytes()) + QLatin1Char('_') +
                  QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                  QStringLiteral(".img"));
}

void ImageFiles::mnuOpenImage_Click() {
    if (busy())
        return;
    const QString path = askOpen(QStringLiteral("Open Image"), lastFolder(), kFilter);
    if (!path.isEmpty())
        OpenImage(path);
}

// The backups folder, where every read is kept: a way back to an earlier read.
void ImageFiles::mnuOpenBackup_Click() {
    if (busy())
        return;
    const QString path =
        askOpen(QStringLiteral("Open Backup"), BackupFolder(ctx_.config()), kFilter);
    if (!path.isEmpty())
        OpenImage(path);
}

void ImageFiles::mnuSaveImageAs_Click() {
    SaveImageAs();
}

bool ImageFiles::SaveImageAs() {
    if (!ctx_.clone.image.isValid() || busy())
        return false;
    QString path = askSave(QStringLiteral("Save Image As"), suggestedPath(), kFilter);
    if (path.isEmpty())
        return false;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".img");
    return SaveImage(path);
}

// The whole file is checked first: a box lists the refused rows by line number and offers
// to import the others, or says why the file cannot be imported at all. An import is one
// undo step.
void ImageFiles::mnuImportChannels_Click() {
    if (!ctx_.clone.image.isValid() || busy())
        return;
    const QString path = askOpen(QStringLiteral("Import Channels"), lastFolder(), kCsvFilter);
    if (path.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(path);
    QString text, reason;
    if (!ReadCsvFile(path, &text, &reason)) {
        ctx_.ShowMessage(QStringLiteral("%1 cannot be imported: %2.").arg(shown, reason),
                         MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    const CsvImport import = ParseChannelsCsv(text, host_.edits.shownList());
    if (!import.refusals.isEmpty()) {
        QStringList lines = import.refusals.mid(0, kRefusalsShown);
        if (import.refusals.size() > kRefusalsShown)
            lines << QStringLiteral("... and %1 more").arg(import.refusals.size() - kRefusalsShown);
        const QString listed = lines.join(QStringLiteral("\r\n"));
        const qsizetype good = import.channels.size() + import.cleared.size();
        if (import.refusedWhole || good == 0) {
            ctx_.ShowMessage(QStringLiteral("Nothing was imported from %1: ").arg(shown) +
                                 (import.refusedWhole
                                      ? listed + QLatin1Char('.')
                                      : QStringLiteral("%1 of its rows %2 refused.\r\n\r\n")
                                                .arg(import.refusals.size())
                                                .arg(import.refusals.size() == 1 ? "is" : "are") +
                                            listed),
                             MsgButtons::Ok, MsgIcon::Stop);
            return;
        }
        // The rows the radio can take may go in without the others, as --skip-bad does.
        // One pass of arg(): a file name holding "%3" stays as it is.
        const QString question =
            QStringLiteral("%1 of the rows of %2 %3 refused:\r\n\r\n")
                .arg(QString::number(import.refusals.size()), shown,
                     QLatin1String(import.refusals.size() == 1 ? "is" : "are")) +
            listed;
        if (ctx_.ShowMessage(
                question,
                {QStringLiteral("Import the %1 good row%2").arg(good).arg(good == 1 ? "" : "s")},
                MsgIcon::Exclamation) != MsgAnswer::Ok)
            return;
    }
    const int cleared =
        host_.edits.importCsv(QStringLiteral("Import ") + QFileInfo(path).fileName(), import);
    if (cleared < 0) {  // the owner kept the masked entries it would have stored over
        log(QStringLiteral("Import: nothing imported from %1; the masked entries keep their data.")
                .arg(shown));
        return;
    }
    const QString done = QStringLiteral("Imported %1 channel%2 from %3, cleared %4.")
                             .arg(QString::number(import.channels.size()),
                                  QLatin1String(import.channels.size() == 1 ? "" : "s"), shown,
                                  QString::number(cleared));
    log(QStringLiteral("Import: ") + done);
    ctx_.ShowMessage(
        done + (import.warnings.isEmpty()
                    ? QString()
                    : QStringLiteral("\r\n\r\n") + import.warnings.join(QStringLiteral("\r\n"))),
        MsgButtons::Ok, MsgIcon::Information);
}

// A repeater directory export: its repeaters near the radio's own position, previewed.
void ImageFiles::mnuImportDirectory_Click() {
    if (!ctx_.clone.image.isValid() || busy())
        return;
    const QString path = askOpen(QStringLiteral("Import Repeater Directory"), lastFolder(),
                                 QStringLiteral("Repeater directories (*.json);;All files (*)"));
    if (path.isEmpty())
        return;
    QByteArray bytes;
    QString reason;
    QList<DirectoryEntry> entries;
    if (!ReadImportFile(path, &bytes, &reason) ||
        !ReadRepeaterDirectory(bytes, &entries, &reason)) {
        ctx_.ShowMessage(QStringLiteral("%1 cannot be imported: %2.")
                             .arg(QDir::toNativeSeparators(path), reason),
                         MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    const QByteArray image = ctx_.clone.image.bytes();
    ImportPreview preview(&host_.window, image, std::move(entries), AprsManualPosition(image));
    importPreviewed(preview, path);
}

// Another image's channels (a club's, the owner's other radio), picked in the preview.
void ImageFiles::mnuImportImage_Click() {
    if (!ctx_.clone.image.isValid() || busy())
        return;
    const QString path =
        askOpen(QStringLiteral("Import Channels from Another Image"), lastFolder(), kFilter);
    if (path.isEmpty())
        return;
    LoadedImage loaded;
    QString error;
    if (!LoadImageFile(path, loaded, &error)) {
        ctx_.ShowMessage(error, MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    ImportPreview preview(&host_.window, ctx_.clone.image.bytes(), loaded.image);
    importPreviewed(preview, path);
}

void ImageFiles::importPreviewed(ImportPreview& preview, const QString& path) {
    if (!(previewAnswer_ ? previewAnswer_(preview) : preview.exec() == QDialog::Accepted))
        return;
    const CsvImport& plan = preview.plan();
    const QString shown = QDir::toNativeSeparators(path);
    if (plan.channels.isEmpty() ||
        host_.edits.importCsv(QStringLiteral("Import ") + QFileInfo(path).fileName(), plan,
                              preview.bank()) < 0) {
        log(QStringLiteral("Import: nothing imported from %1.").arg(shown));
        return;
    }
    log(QStringLiteral("Import: %1 from %2.").arg(ImportSummary(plan, 0, true), shown));
}

// Where an export of the image held goes: asked with the image's own name and `suffix`
// offered, the suffix added when the name given has none. Empty when there is nothing to
// export, a transfer runs, or the user cancels.
QString ImageFiles::exportPath(const QString& caption, const QString& suffix,
                               const QString& filter) {
    if (!ctx_.clone.image.isValid() || busy())
        return {};
    const QString name = QFileInfo(suggestedPath()).completeBaseName() + '.' + suffix;
    QString path = askSave(caption, QDir(lastFolder()).filePath(name), filter);
    if (!path.isEmpty() && QFileInfo(path).suffix().isEmpty())
        path += '.' + suffix;
    return path;
}

// The channels in use, in the layout other radio programmers read; a channel that cannot
// be written (a field that does not decode) is left out and named.
void ImageFiles::mnuExportChannels_Click() {
    const CloneState& clone = ctx_.clone;
    const QString path =
        exportPath(QStringLiteral("Export Channels"), QStringLiteral("csv"), kCsvFilter);
    if (path.isEmpty())
        return;
    const QString shown = QDir::toNativeSeparators(path);
    // The channels in another program's mode are counted in one line and named in another.
    const QList<Channel> channels = DecodeChannels(clone.image.bytes(), host_.edits.shownList());
    QStringList leftOut;
    const QString csv = ChannelsCsv(channels, false, &leftOut);
    if (const QString foreign = ForeignModeListing(ForeignModeChannels(channels));
        !foreign.isEmpty())
        leftOut << foreign;
    QSaveFile file(path);
    const QByteArray bytes = csv.toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        ctx_.ShowMessage(
            QStringLiteral("%1 could not be written: %2.").arg(shown, file.errorString()),
            MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    const int rows = qMax(0, int(csv.count(QLatin1Char('\n'))) - 1);
    const QString done = QStringLiteral("Exported %1 channel%2 to %3.")
                             .arg(rows)
                             .arg(rows == 1 ? "" : "s")
                             .arg(shown);
    log(QStringLiteral("Export: ") + done);
    ctx_.ShowMessage(
        done + (leftOut.isEmpty()
                    ? QString()
                    : QStringLiteral("\r\n\r\n") + leftOut.join(QStringLiteral("\r\n"))),
        MsgButtons::Ok, leftOut.isEmpty() ? MsgIcon::Information : MsgIcon::Exclamation);
}

// The printable list: the channels in use and the banks, or a pocket card, headed by the
// model, today's date and the image's name, on the paper of the system's locale.
void ImageFiles::mnuExportChannelsPdf_Click() {
    const CloneState& clone = ctx_.clone;
    if (!clone.image.isValid() || busy())
        return;
    const MsgAnswer layout = ctx_.ShowMessage(
        QStringLiteral("Export the full list of channels and banks, or a pocket card: channel, "
                       "name, frequency, shift, tone and mode in small print?"),
        {QStringLiteral("Full list"), QStringLiteral("Pocket card")}, MsgIcon::Question);
    if (layout == MsgAnswer::Cancel)
        return;
    const bool pocket = layout == MsgAnswer::No;
    const QString path =
        exportPath(pocket ? QStringLiteral("Export Pocket Card as PDF")
                          : QStringLiteral("Export Channels as PDF"),
                   QStringLiteral("pdf"), QStringLiteral("PDF files (*.pdf);;All files (*)"));
    if (path.isEmpty())
        return;
    const QString failed = WriteChannelsPdf(
        clone.image.bytes(), path, host_.edits.imageName(), QDateTime::currentDateTime(),
        PrintPageSize(QLocale::system()), pocket ? PrintLayout::PocketCard : PrintLayout::FullList);
    if (!failed.isEmpty()) {
        ctx_.ShowMessage(failed, MsgButtons::Ok, MsgIcon::Stop);
        return;
    }
    const QString done =
        QStringLiteral("Exported the channel list to %1.").arg(QDir::toNativeSeparators(path));
    log(QStringLiteral("Export: ") + done);
    ctx_.ShowMessage(done, MsgButtons::Ok, MsgIcon::Information);
}

// An image without a file yet (a read) is saved as Save Image As does.
void ImageFiles::mnuSaveImage_Click() {
    if (ctx_.clone.ImagePath.isEmpty())
        SaveImageAs();
    else
        SaveImage(ctx_.clone.ImagePath);
}

void ImageFiles::updateState() {
    const CloneState& clone = ctx_.clone;
    const bool idle = !busy();
    const bool held = idle && clone.image.isValid();
    actions_.openImage->setEnabled(idle);
    actions_.openBackup->setEnabled(idle);
    for (QAction* action : {actions_.saveImageAs, actions_.saveImage, actions_.importChannels,
                            actions_.exportChannels, actions_.exportChannelsPdf,
                            actions_.importDirectory, actions_.importImage})
        action->setEnabled(held);
    actions_.importMenu->setEnabled(held);
    actions_.recentImages->setEnabled(idle && !actions_.recentImages->isEmpty());

    QString title = AppContext::AppName() + QStringLiteral(" ") + AppContext::VersionText();
    if (clone.image.isValid() && !clone.ImagePath.isEmpty())
        title += QStringLiteral(" - ") + QFileInfo(clone.ImagePath).fileName();
    else if (clone.image.isValid() && clone.ReadAt.isValid())
        title +=
            QStringLiteral(" - read from radio ") + clone.ReadAt.toString(QStringLiteral("HH:mm"));
    host_.window.setWindowTitle(title + QStringLiteral("[*]"));
    host_.window.setWindowModified(host_.edits.unsaved());
}

QStringList ImageFiles::recentFiles() const {
    QStringList files;
    for (int i = 1; i <= kRecentCount; ++i) {
        const QString path = ctx_.config().get(kRecent, QStringLiteral("File%1").arg(i), QString());
        if (!path.isEmpty())
            files << path;
    }
    return files;
}

QString ImageFiles::lastFolder() const {
    ConfigStore& settings = ctx_.config();
    return settings.get(kDialogs, kLastFolder,
                        settings.get(kRecent, QStringLiteral("Folder"), QDir::homePath()));
}

void ImageFiles::remember(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    ConfigStore& settings = ctx_.config();
    for (int i = 1; i <= kRecentCount; ++i)
        settings.set(kRecent, QStringLiteral("File%1").arg(i), files.value(i - 1));
    settings.set(kRecent, QStringLiteral("Folder"), QFileInfo(path).absolutePath());
    fillRecentMenu();
}

void ImageFiles::fillRecentMenu() {
    QMenu* menu = actions_.recentImages;
    menu->clear();
    const QStringList files = recentFiles();
    for (int i = 0; i < files.size(); ++i) {
        const QString path = files[i];
        QAction* action =
            menu->addAction(QStringLiteral("&%1 ").arg(i + 1) + QDir::toNativeSeparators(path));
        connect(action, &QAction::triggered, this,
                [this, path] { AppContext::guardHandler([this, path] { OpenImage(path); }); });
    }
    menu->setEnabled(!busy() && !files.isEmpty());
}

bool ImageFiles::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched != &host_.window ||
        (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop))
        return QObject::eventFilter(watched, event);
    auto* drop = static_cast<QDropEvent*>(event);
    const QString path = droppedFile(drop->mimeData());
    if (path.isEmpty() || busy()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop)
        AppContext::guardHandler([this, path] { OpenImage(path); });
    return true;
}
