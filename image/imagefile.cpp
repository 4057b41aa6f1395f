#include "image/imagefile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QLocale>
#include <QSaveFile>
#include <QStandardPaths>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

#include "core/config.h"
#include "image/cloneimage.h"
#include "image/memorymap.h"

static_assert(CloneLayout::kChecksumOffset == MemoryMap::kTotalSumAt);

namespace {

// "0x" and upper-case digits: "0x3F", "0x06C9".
QString hex(int value, int digits) {
    return QStringLiteral("0x") +
           QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
}
QString hexByte(quint8 value) {
    return hex(value, 2);
}
QString hexOffset(int offset) {
    return hex(offset, 4);
}

// "region sum at 0x06C9", "final checksum at 65226".
QString sumName(int at) {
    return at == CloneLayout::kChecksumOffset
               ? QStringLiteral("final checksum at ") + QString::number(at)
               : QStringLiteral("region sum at ") + hexOffset(at);
}

QString shown(const QString& path) {
    return QDir::toNativeSeparators(path);
}

bool isCompleteImage(const QByteArray& image) {
    return image.size() == CloneLayout::kImageSize && !ModelName(image).isEmpty();
}

// What the other programmer reads to know which radio a file belongs to.
QByteArray trailerFor(const QByteArray& image) {
    const QJsonObject metadata{
        {QStringLiteral("rclass"), QString::fromLatin1(RadioModelOf(image)->otherClass)},
        {QStringLiteral("vendor"), QStringLiteral("Yaesu")},
        {QStringLiteral("model"), QString::fromLatin1(RadioModelOf(image)->otherModel)},
        {QStringLiteral("variant"), QString()}};
    return ImageFile::kTrailerMark +
           QJsonDocument(metadata).toJson(QJsonDocument::Compact).toBase64();
}

// Writes through a temporary file that replaces `path` only once everything is written.
bool writeAtomically(const QString& path, const QByteArray& bytes, QString* reason) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *reason = file.errorString();
        return false;
    }
    errno = 0;
    const qint64 written = file.write(bytes);
    if (written != bytes.size()) {
        // A short write (full disk, size limit) is no error to Qt: take the system's reason.
        const int cause = errno;
        if (file.error() != QFileDevice::NoError)
            *reason = file.errorString();
        else if (cause != 0)
            *reason = QString::fromLocal8Bit(std::strerror(cause));
        else
            *reason = QStringLiteral("only %1 of %2 bytes could be written")
                          .arg(qMax<qint64>(written, 0))
                          .arg(bytes.size());
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        *reason = file.errorString();
        return false;
    }
    return true;
}

// What stands at `path` when a save may not replace it: anything but a regular file, a
// symbolic link to one, or nothing. A save renames over its target, so without this check
// it would put a regular file in the place of a pipe, a device node or a socket.
QString occupiedBy(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0)
        return QString();
    if (S_ISLNK(st.st_mode) && ::stat(native.constData(), &st) != 0)
        return QStringLiteral("it is a symbolic link to nothing, not a regular file.");
    if (S_ISREG(st.st_mode))
        return QString();
    if (S_ISDIR(st.st_mode))
        return QStringLiteral("it is a folder, not a regular file.");
    if (S_ISFIFO(st.st_mode))
        return QStringLiteral("it is a named pipe, not a regular file.");
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
        return QStringLiteral("it is a device, not a regular file.");
    if (S_ISSOCK(st.st_mode))
        return QStringLiteral("it is a socket, not a regular file.");
    return QStringLiteral("it is not a regular file.");
}

QByteArray imageBytesFor(const QString& path, const QByteArray& image) {
    if (path.endsWith(QLatin1String(".img"), Qt::CaseInsensitive))
        return image + trailerFor(image);
    return image;
}

bool settingIsOff(const QString& value) {
    const QString v = value.trimmed().toLower();
    return v == QLatin1String("false") || v == QLatin1String("0") || v == QLatin1String("no") ||
           v == QLatin1String("off");
}

}  // namespace

bool LoadImageFile(const QString& path, LoadedImage& out, QString* error) {
    auto refuse = [&](const QString& what) {
        if (error)
            *error = QStringLiteral("Cannot open \"%1\": %2").arg(shown(path), what);
        return false;
    };
    const QFileInfo info(path);
    if (!info.exists())
        return refuse(QStringLiteral("there is no such file."));
    if (info.isDir())
        return refuse(QStringLiteral("it is a folder, not an image file."));
    // A device or a pipe could block or never end: only plain files are read.
    if (!info.isFile())
        return refuse(QStringLiteral("it is not a plain file."));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("it cannot be read (") + file.errorString() +
                      QStringLiteral(")."));
    const QByteArray data = file.read(ImageFile::kMaxRead);
    if (file.error() != QFileDevice::NoError)
        return refuse(QStringLiteral("it cannot be read (") + file.errorString() +
                      QStringLiteral(")."));
    if (data.isEmpty())
        return refuse(QStringLiteral("the file is empty."));
    if (info.size() > ImageFile::kMaxRead || !file.atEnd())
        return refuse(QStringLiteral("it is larger than 1 MiB; a VX-8 image holds %1 bytes.")
                          .arg(CloneLayout::kImageSize));

    const qsizetype markSize = ImageFile::kTrailerMark.size();
    const bool trailer = data.size() >= CloneLayout::kImageSize + markSize &&
                         data.mid(CloneLayout::kImageSize, markSize) == ImageFile::kTrailerMark;
    if (data.size() != CloneLayout::kImageSize && !trailer) {
        const qsizetype mark = data.indexOf(ImageFile::kTrailerMark, CloneLayout::kImageSize);
        const QString size = mark >= 0 ? QStringLiteral("%1 bytes before its trailer").arg(mark)
                                       : QStringLiteral("%1 bytes").arg(data.size());
        return refuse(QStringLiteral("it holds %1, but a VX-8 image holds %2.")
                          .arg(size)
                          .arg(CloneLayout::kImageSize));
    }
    const QByteArray image = data.left(CloneLayout::kImageSize);
    const QString identity = IdentityText(image, CloneLayout::kIdentityCompared);
    if (!IsAcceptedIdentity(identity))
        return refuse(QStringLiteral("its radio identity is X'") + identity +
                      QStringLiteral("', not ") + ListedModels([](const RadioModel& m) {
                          return QStringLiteral("X'%1' (%2)").arg(IdentityHex(m), m.identity);
                      }) +
                      QStringLiteral(", so it is no VX-8 image."));

    out.image = image;
    out.hadTrailer = trailer;
    out.metadata = QJsonObject();
    if (trailer) {
        // Metadata that does not decode is ignored: the image itself is complete.
        const auto decoded =
            QByteArray::fromBase64Encoding(data.mid(CloneLayout::kImageSize + markSize).trimmed(),
                                           QByteArray::AbortOnBase64DecodingErrors);
        if (decoded) {
            const QJsonDocument doc = QJsonDocument::fromJson(*decoded);
            if (doc.isObject())
                out.metadata = doc.object();
        }
    }
    return true;
}

QStringList StaleSums(const QByteArray& image) {
    QStringList stale;
    if (image.size() != CloneLayout::kImageSize)
        return stale;
    for (const ImageSum& s : ImageSums(image))
        if (!s.good())
            stale << QStringLiteral("The ") + sumName(s.at) + QStringLiteral(" is ") +
                         hexByte(s.stored) + QStringLiteral(" but the data adds up to ") +
                         hexByte(s.actual);
    return stale;
}

QStringList FixSums(QByteArray& image) {
    QStringList lines;
    if (image.size() != CloneLayout::kImageSize)
        return lines;
    auto fix = [&](int at, quint8 actual, const QString& what) {
        const quint8 stored = static_cast<quint8>(image[at]);
        if (stored == actual)
            return;
        image[at] = static_cast<char>(actual);
        lines << QStringLiteral("Image: ") + what + QStringLiteral(" was ") + hexByte(stored) +
                     QStringLiteral(", set to ") + hexByte(actual);
    };
    // The region sums lie inside the range of the final checksum: they come first.
    for (const MemoryMap::SumPlace& p : MemoryMap::SumPlaces())
        fix(p.at, MemoryMap::SumOf(image, p.first, p.last), sumName(p.at));
    return lines;
}

bool SaveImageFile(const QString& path, const QByteArray& image, QString* error) {
    QString reason = occupiedBy(path);
    if (reason.isEmpty() && !isCompleteImage(image))
        reason = QStringLiteral("there is no complete VX-8 image to save.");
    else if (reason.isEmpty() && writeAtomically(path, imageBytesFor(path, image), &reason))
        return true;
    if (error)
        *error = QStringLiteral("Cannot save \"%1\": %2").arg(shown(path), reason);
    return false;
}

bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error) {
    QString reason = occupiedBy(path);
    if (reason.isEmpty() && writeAtomically(path, bytes, &reason))
        return true;
    if (error)
        *error = QStringLiteral("Cannot save \"%1\": %2").arg(shown(path), reason);
    return false;
}

bool CheckSaveTarget(const QString& path, QString* error) {
    QString reason = occupiedBy(path);
    if (reason.isEmpty()) {
        // The save's own first step: it creates its temporary file beside the target (and
        // removes it again here, as nothing is committed).
        QSaveFile trial(path);
        if (trial.open(QIODevice::WriteOnly))
            return true;
        reason = trial.errorString();
    }
    if (error)
        *error = QStringLiteral("Cannot save \"%1\": %2").arg(shown(path), reason);
    return false;
}

QString ModelName(const QByteArray& image) {
    const RadioModel* model = RadioModelOf(image);
    return model ? QString::fromLatin1(model->displayName) : QString();
}

QString ShortModelName(const QByteArray& image) {
    const RadioModel* model = RadioModelOf(image);
    return model ? QString::fromLatin1(model->shortName) : QString();
}

QString DefaultBackupFolder() {
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) +
           QStringLiteral("/backups");
}

QString BackupFolder(ConfigStore& settings, QString* ignored) {
    const QString kSection = QStringLiteral("Backups");
    const QString setting = settings.get(kSection, QStringLiteral("Folder"), QString()).trimmed();
    QString folder = setting;
    if (folder == QLatin1String("~") || folder.startsWith(QLatin1String("~/")))
        folder = QDir::homePath() + folder.mid(1);
    if (folder.isEmpty() || QDir::isAbsolutePath(folder))
        return folder.isEmpty() ? DefaultBackupFolder() : folder;
    // A relative folder would move with the folder the program was started from.
    if (ignored)
        *ignored = QStringLiteral(
                       "ignored Backups/Folder=%1 in %2: not an absolute folder; "
                       "backups go to %3")
                       .arg(setting, shown(settings.fileName()), shown(DefaultBackupFolder()));
    return DefaultBackupFolder();
}

QString SaveBackup(ConfigStore& settings, const QByteArray& image, QString* error,
                   const QDateTime& now, const QString& subfolder, QString* ignored) {
    if (error)
        error->clear();
    if (settingIsOff(settings.get(QStringLiteral("Backups"), QStringLiteral("Enabled"),
                                  QStringLiteral("true"))))
        return QString();
    QString folder = BackupFolder(settings, ignored);
    if (!subfolder.isEmpty())
        folder = QDir(folder).filePath(subfolder);
    auto fail = [&](const QString& reason) {
        if (error)
            *error =
                QStringLiteral("The automatic backup could not be saved in the folder \"%1\": %2")
                    .arg(shown(folder), reason);
        return QString();
    };
    if (!isCompleteImage(image))
        return fail(QStringLiteral("there is no complete VX-8 image to save."));
    std::error_code ec;
    std::filesystem::create_directories(QFile::encodeName(folder).toStdString(), ec);
    if (ec)
        return fail(QString::fromLocal8Bit(ec.message()));

    // The name is claimed by an exclusive create: another read saving in the same second,
    // in this program or another, takes the next number instead of replacing this backup.
    const QString base = ShortModelName(image) + QLatin1Char('_') +
                         QLocale::c().toString(now, QStringLiteral("yyyy-MM-dd_HH-mm-ss"));
    const QDir dir(folder);
    QFile file;
    for (int n = 1;; ++n) {
        file.setFileName(dir.filePath(base + (n == 1 ? QString() : QStringLiteral("_%1").arg(n)) +
                                      QStringLiteral(".img")));
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
            break;
        if (!file.exists())
            return fail(file.errorString());
    }
    const QByteArray bytes = imageBytesFor(file.fileName(), image);
    errno = 0;
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason =
            errno != 0 ? QString::fromLocal8Bit(std::strerror(errno)) : file.errorString();
        file.remove();  // a partial backup is no backup
        return fail(reason);
    }
    file.close();
    return file.fileName();
}

QList<ImageSum> ImageSums(const QByteArray& image) {
    QList<ImageSum> sums;
    if (image.size() != CloneLayout::kImageSize)
        return sums;
    for (const MemoryMap::SumPlace& p : MemoryMap::SumPlaces())
        sums.append({p.name, p.at, static_cast<quint8>(image[p.at]),
                     MemoryMap::SumOf(image, p.first, p.last)});
    return sums;
}
