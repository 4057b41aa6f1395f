#include "app/imagefiles.h"

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>

#include "app/form1.h"
#include "clone/appcontext.h"
#include "clone/cloneimage.h"
#include "clone/imagefile.h"
#include "core/settings.h"
#include "ui/filedialogs.h"
#include "ui/messagebox.h"

namespace {
const QString kRecent = QStringLiteral("Recent");
const QString kFilter = QStringLiteral("Radio images (*.img);;All files (*)");

// The one local file a drag carries, or an empty text.
QString droppedFile(const QMimeData* mime) {
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1 || !mime->urls()[0].isLocalFile())
        return QString();
    return mime->urls()[0].toLocalFile();
}
}  // namespace

ImageFiles::ImageFiles(AppContext& ctx, Form1& form) : QObject(&form), ctx_(ctx), form_(form) {
    auto entry = [&](const QString& caption, const QKeySequence& keys, const char* name,
                     void (ImageFiles::*handler)()) {
        auto* action = new QAction(caption, &form_);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(keys);
        form_.mnuFile->insertAction(form_.mnuExit, action);
        connect(action, &QAction::triggered, this, [this, handler] {
            AppContext::guardHandler([this, handler] { (this->*handler)(); });
        });
        return action;
    };
    form_.mnuOpenImage =
        entry(QStringLiteral("&Open Image..."), QKeySequence(QStringLiteral("Ctrl+O")),
              "mnuOpenImage", &ImageFiles::mnuOpenImage_Click);
    form_.mnuOpenBackup = entry(QStringLiteral("Open &Backup..."), QKeySequence(), "mnuOpenBackup",
                                &ImageFiles::mnuOpenBackup_Click);
    form_.mnuSaveImageAs =
        entry(QStringLiteral("Save Image &As..."), QKeySequence(QStringLiteral("Ctrl+Shift+S")),
              "mnuSaveImageAs", &ImageFiles::mnuSaveImageAs_Click);
    form_.mnuSaveImage =
        entry(QStringLiteral("&Save Image"), QKeySequence(QStringLiteral("Ctrl+S")), "mnuSaveImage",
              &ImageFiles::mnuSaveImage_Click);
    form_.mnuRecentImages = new QMenu(QStringLiteral("&Recent Images"), &form_);
    form_.mnuRecentImages->setObjectName(QStringLiteral("mnuRecentImages"));
    form_.mnuFile->insertMenu(form_.mnuExit, form_.mnuRecentImages);
    form_.mnuFile->insertSeparator(form_.mnuExit);

    form_.setAcceptDrops(true);
    form_.installEventFilter(this);
    connect(&ctx_, &AppContext::imageChanged, this, &ImageFiles::updateState);
    fillRecentMenu();
    updateState();
}

FileDialogs& ImageFiles::dialogs() {
    static QtFileDialogs standard;
    return dialogs_ ? *dialogs_ : standard;
}

bool ImageFiles::busy() const {
    // Read Radio is unavailable exactly while a transfer runs.
    return !form_.cmdRead->isEnabled();
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
    const QStringList stale = StaleSums(loaded.image);
    if (!stale.isEmpty()) {
        // What another program leaves after editing: the radio would reject a stale sum.
        const QString question = QStringLiteral("The sums in \"%1\" do not agree with its data:")
                                     .arg(QDir::toNativeSeparators(path)) +
                                 QStringLiteral("\r\n\r\n") + stale.join(QStringLiteral("\r\n")) +
                                 QStringLiteral("\r\n\r\nBring them up to date?");
        if (ctx_.ShowMessage(question, MsgButtons::YesNo, MsgIcon::Question) != MsgAnswer::Yes)
            return false;
        for (const QString& line : FixSums(loaded.image))
            log(line);
    }
    CloneState& clone = ctx_.state.clone;
    clone.CloneImage = CloneImageFromFile(loaded.image);
    clone.ImageValid = true;
    clone.ImagePath = QFileInfo(path).absoluteFilePath();
    clone.ReadAt = QDateTime();
    log(QStringLiteral("Open: ") + QDir::toNativeSeparators(clone.ImagePath));
    log(QStringLiteral("Open: model ") + ModelName(loaded.image) + QStringLiteral(", identity ") +
        IdentityText(loaded.image.left(CloneLayout::kIdentitySize)));
    log(QStringLiteral("Open: checksum agrees"));
    form_.EnableButtons();
    remember(clone.ImagePath);
    emit ctx_.imageChanged();
    return true;
}

bool ImageFiles::SaveImage(const QString& path) {
    CloneState& clone = ctx_.state.clone;
    if (!clone.ImageValid || busy())
        return false;
    QString error;
    if (!SaveImageFile(path, FileImageFromClone(clone.CloneImage), &error)) {
        ctx_.ShowMessage(error, MsgButtons::Ok, MsgIcon::Stop);
        return false;
    }
    clone.ImagePath = QFileInfo(path).absoluteFilePath();
    clone.ReadAt = QDateTime();
    log(QStringLiteral("Save: image saved as ") + QDir::toNativeSeparators(clone.ImagePath));
    remember(clone.ImagePath);
    updateState();
    return true;
}

void ImageFiles::mnuOpenImage_Click() {
    if (busy())
        return;
    const QString path =
        dialogs().openFileName(&form_, QStringLiteral("Open Image"), lastFolder(), kFilter);
    if (!path.isEmpty())
        OpenImage(path);
}

// The backups folder, where every read is kept: a way back to an earlier read.
void ImageFiles::mnuOpenBackup_Click() {
    if (busy())
        return;
    const QString path = dialogs().openFileName(&form_, QStringLiteral("Open Backup"),
                                                BackupFolder(ctx_.settings()), kFilter);
    if (!path.isEmpty())
        OpenImage(path);
}

void ImageFiles::mnuSaveImageAs_Click() {
    const CloneState& clone = ctx_.state.clone;
    if (!clone.ImageValid || busy())
        return;
    const QString suggested =
        !clone.ImagePath.isEmpty()
            ? clone.ImagePath
            : QDir(lastFolder())
                  .filePath(ShortModelName(FileImageFromClone(clone.CloneImage)) +
                            QLatin1Char('_') +
                            QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
                            QStringLiteral(".img"));
    QString path =
        dialogs().saveFileName(&form_, QStringLiteral("Save Image As"), suggested, kFilter);
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".img");
    SaveImage(path);
}

void ImageFiles::mnuSaveImage_Click() {
    if (!ctx_.state.clone.ImagePath.isEmpty())
        SaveImage(ctx_.state.clone.ImagePath);
}

void ImageFiles::updateState() {
    const CloneState& clone = ctx_.state.clone;
    const bool idle = !busy();
    form_.mnuOpenImage->setEnabled(idle);
    form_.mnuOpenBackup->setEnabled(idle);
    form_.mnuSaveImageAs->setEnabled(idle && clone.ImageValid);
    form_.mnuSaveImage->setEnabled(idle && clone.ImageValid && !clone.ImagePath.isEmpty());
    form_.mnuRecentImages->setEnabled(idle && !form_.mnuRecentImages->isEmpty());

    QString title = AppContext::AppName() + QStringLiteral(" ") + AppContext::VersionText();
    if (clone.ImageValid && !clone.ImagePath.isEmpty())
        title += QStringLiteral(" - ") + QFileInfo(clone.ImagePath).fileName();
    else if (clone.ImageValid && clone.ReadAt.isValid())
        title +=
            QStringLiteral(" - read from radio ") + clone.ReadAt.toString(QStringLiteral("HH:mm"));
    form_.setWindowTitle(title);
}

QStringList ImageFiles::recentFiles() const {
    QStringList files;
    for (int i = 1; i <= kRecentCount; ++i) {
        const QString path =
            ctx_.settings().get(kRecent, QStringLiteral("File%1").arg(i), QString());
        if (!path.isEmpty())
            files << path;
    }
    return files;
}

QString ImageFiles::lastFolder() const {
    return ctx_.settings().get(kRecent, QStringLiteral("Folder"), QDir::homePath());
}

void ImageFiles::remember(const QString& path) {
    QStringList files = recentFiles();
    files.removeAll(path);
    files.prepend(path);
    SettingsStore& settings = ctx_.settings();
    for (int i = 1; i <= kRecentCount; ++i)
        settings.set(kRecent, QStringLiteral("File%1").arg(i), files.value(i - 1));
    settings.set(kRecent, QStringLiteral("Folder"), QFileInfo(path).absolutePath());
    fillRecentMenu();
}

void ImageFiles::fillRecentMenu() {
    QMenu* menu = form_.mnuRecentImages;
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
    if (watched != &form_ ||
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
