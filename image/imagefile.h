#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include "image/cloneimage.h"

class ConfigStore;

// Image files: the clone image as it stands (see cloneimage.h), 65 227 bytes. This is also
// how the common open-source radio programmer keeps these radios, so files move both ways;
// it appends a trailer (a fixed 13-byte mark, then base64 of a JSON object) to the files it
// saves as ".img".
namespace ImageFile {
constexpr qint64 kMaxRead = 1024 * 1024;
// The other programmer's mark between the image and its metadata.
inline const QByteArray kTrailerMark = QByteArray::fromHex("00FF6368697270EE696D670001");
}  // namespace ImageFile

struct LoadedImage {
    QByteArray image;      // 65 227 bytes: identity, data, checksum (trailer removed)
    QJsonObject metadata;  // the other programmer's metadata if the trailer had any, else empty
    bool hadTrailer = false;
};

// Reads at most 1 MiB and refuses folders, unreadable/empty files, wrong size, unknown identity.
// On refusal: false, *error = one message naming the file and saying what is wrong.
bool LoadImageFile(const QString& path, LoadedImage& out, QString* error);

// One text per disagreeing sum, e.g. "The region sum at 0x06C9 is 0x12 but the data adds up
// to 0x34", then the same for the final checksum at 65 226. Empty when all agree.
QStringList StaleSums(const QByteArray& image);

// Brings the eight record sums, then the final checksum, up to date; one trace line per
// correction (none when all agreed).
QStringList FixSums(QByteArray& image);

// Atomic (QSaveFile): a failed save leaves an earlier file of that name as it was. A name
// ending ".img" gets the trailer with metadata naming the model. false, *error names the file
// and the reason.
// The target must be a regular file, a symbolic link to one (written through) or a new name;
// anything else is refused by what it is.
bool SaveImageFile(const QString& path, const QByteArray& image, QString* error);
// Saves any bytes (an exported list) as SaveImageFile saves an image: atomically, refusing
// the same targets, with the same message.
bool SaveFileAtomically(const QString& path, const QByteArray& bytes, QString* error);
// Whether SaveImageFile could save at `path` now, without writing anything: what it refuses,
// a missing folder, a folder or file that may not be written. false, *error as it gives.
bool CheckSaveTarget(const QString& path, QString* error);

// The model's display name ("VX-8R/E"), empty for an identity of no model.
QString ModelName(const QByteArray& image);
// The model's short name as file names give it ("VX-8R"); empty for no model.
QString ShortModelName(const QByteArray& image);

// Automatic backup per settings section "Backups" (Enabled, Folder), in `subfolder` of the
// backup folder when one is named. Returns the path written, empty when disabled or failed
// (*error then names the folder and the reason, empty if disabled). The name is the model,
// the local date and time and, when that name is taken, "_2", "_3" ...: each name is claimed
// by an exclusive create, so no backup ever replaces another. *ignored as for BackupFolder.
QString SaveBackup(ConfigStore& settings, const QByteArray& image, QString* error,
                   const QDateTime& now = QDateTime::currentDateTime(),
                   const QString& subfolder = QString(), QString* ignored = nullptr);
// The backup folder: the setting Backups/Folder, where a leading "~" is the home folder, or
// the default when none is set. A relative folder is left aside for the default, and
// *ignored gets one line naming the setting.
QString BackupFolder(ConfigStore& settings, QString* ignored = nullptr);
// The folder backups go to when the settings name none.
QString DefaultBackupFolder();

// One sum the image carries: the eight record sums, then the final checksum, each with
// where it is stored, what is stored and what the data adds up to.
struct ImageSum {
    QString name;  // "region 0x064A-0x06C8" or "final checksum"
    int at = 0;
    quint8 stored = 0;
    quint8 actual = 0;
    bool good() const { return stored == actual; }
};
QList<ImageSum> ImageSums(const QByteArray& image);
