#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

class AppContext;
class ImageEdits;
class QAction;
class FileDialogs;
class ImportPreview;
class QMenu;
class QWidget;

// The File menu entries the image files add and keep up to date.
struct ImageFileActions {
    QAction* openImage = nullptr;
    QAction* openBackup = nullptr;
    QAction* saveImageAs = nullptr;
    QAction* saveImage = nullptr;
    QAction* importChannels = nullptr;
    QAction* exportChannels = nullptr;
    QAction* exportChannelsPdf = nullptr;
    QMenu* recentImages = nullptr;
    // File ▸ Import: a repeater directory, channels from another image.
    QMenu* importMenu = nullptr;
    QAction* importDirectory = nullptr;
    QAction* importImage = nullptr;
};

// What the image files need of the window they belong to.
struct ImageFilesHost {
    // The parent of the dialogs, the target of drops, and the title that names the file.
    QWidget& window;
    // Its File menu and the entry the image-file entries go above.
    QMenu& fileMenu;
    QAction* before = nullptr;
    // The changes made to the image held.
    ImageEdits& edits;
    // True while a transfer runs.
    std::function<bool()> busy;
    // Called once an opened file has replaced the image, before anyone is told.
    std::function<void()> opened;
};

// The main window's image files: Open Image, Open Backup, Save Image As, Save Image and the Recent
// Images submenu in the File menu, files dropped on the window, and the window title that names
// where the image came from. The entries are unavailable while a transfer runs: an open
// would change the image under a write, and a file dialog would stall the transfer's waits.
class ImageFiles : public QObject {
    Q_OBJECT
public:
    static constexpr int kRecentCount = 8;

    // Adds the entries to the host's File menu.
    ImageFiles(AppContext& ctx, ImageFilesHost host);

    const ImageFileActions& actions() const { return actions_; }

    // Opens an image file; a refused file changes nothing. Sums that do not agree are brought
    // up to date without asking in a file the other programmer saved (its trailer), and
    // otherwise after a question: No opens the file with the sums as they are, and Write
    // asks again. True when the image was replaced.
    bool OpenImage(const QString& path);
    // Saves the image held to `path` (atomically); a failure is shown in a box.
    bool SaveImage(const QString& path);
    // Save Image As: asks for the file; false when cancelled or the save failed.
    bool SaveImageAs();
    // Before the image held is replaced or the program ends: when its channels have unsaved
    // changes, asks "Save changes to NAME?". True when the action may go on (Discard, or
    // Save and the save succeeded); Cancel, or a save that failed or was cancelled, changes
    // nothing and returns false.
    bool SaveChangesFirst();
    // The file Save Image As offers for the image held.
    QString suggestedPath() const;

    void mnuOpenImage_Click();
    void mnuOpenBackup_Click();
    void mnuSaveImageAs_Click();
    void mnuSaveImage_Click();
    void mnuImportChannels_Click();
    void mnuExportChannels_Click();
    void mnuExportChannelsPdf_Click();
    void mnuImportDirectory_Click();
    void mnuImportImage_Click();

    // Answers an import's preview: true imports what it shows. The dialog itself until set.
    void setPreviewAnswer(std::function<bool(ImportPreview&)> answer) {
        previewAnswer_ = std::move(answer);
    }

    // The file dialogs to ask (tests answer them); the standard ones until set.
    void setFileDialogs(FileDialogs* dialogs) { dialogs_ = dialogs; }
    FileDialogs* fileDialogs() const { return dialogs_; }

    // Brings the entries and the window title up to date with the image and the buttons.
    void updateState();
    // The recent files, newest first.
    QStringList recentFiles() const;

protected:
    // Files dropped on the main window.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool busy() const;
    QWidget* dialogParent() const;
    // Where file dialogs start: the folder of the last file any of them gave.
    QString lastFolder() const;
    QString askOpen(const QString& caption, const QString& folder, const QString& filter);
    QString askSave(const QString& caption, const QString& suggested, const QString& filter);
    QString chosen(const QString& path);
    void remember(const QString& path);
    void fillRecentMenu();
    void log(const QString& text);
    QString exportPath(const QString& caption, const QString& suffix, const QString& filter);
    // Shows the preview and stores what it holds as one step named after `file`.
    void importPreviewed(ImportPreview& preview, const QString& file);

    FileDialogs& dialogs();

    AppContext& ctx_;
    ImageFilesHost host_;
    ImageFileActions actions_;
    FileDialogs* dialogs_ = nullptr;
    std::function<bool(ImportPreview&)> previewAnswer_;
};
