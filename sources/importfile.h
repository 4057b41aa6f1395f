#pragma once

#include <QByteArray>
#include <QString>

// Reading a file an owner imports from, whatever it is (a file, a named pipe, /dev/stdin):
// at most `limit` bytes, without waiting on the open, and a pipe or device for at most 10 s.
// false and *error the reason ("it is larger than 4 MiB, too large for a channel list"):
// `what` names what a file of that size would be too large for.
bool ReadImportFile(const QString& path, qint64 limit, const QString& what, QByteArray* bytes,
                    QString* error);

// The same, its limit by what the file begins with: 128 MiB for a repeater directory (a
// JSON object), 4 MiB for anything else, a channel list or an image.
bool ReadImportFile(const QString& path, QByteArray* bytes, QString* error);

// What a file to import holds, told by its content and never by its name.
enum class ImportKind {
    Csv,        // anything else: a channel list as text
    Directory,  // a repeater directory export: a JSON object with a "results" list
    Image,      // a clone image (with or without the other programmer's trailer)
};
ImportKind ImportKindOf(const QByteArray& bytes);
