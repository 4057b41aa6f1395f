#pragma once

#include <QFile>
#include <QMap>
#include <QStringList>

// The sections of a golden file in tests/golden/: "== name" heads the lines of each.
// QUORLINK_GOLDEN_OUT=FILE makes a test write what its run saw in the same form, for review.
inline QMap<QString, QStringList> readGolden(const char* name) {
    QMap<QString, QStringList> sections;
    QFile file(QStringLiteral(QUORLINK_SOURCE_DIR "/tests/golden/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return sections;
    QString section;
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        if (line.startsWith("== "))
            section = line.mid(3);
        else if (!line.isEmpty())
            sections[section] << line;
    }
    return sections;
}

inline void writeGoldenOut(const QString& seen) {
    QFile file(qEnvironmentVariable("QUORLINK_GOLDEN_OUT"));
    if (!file.fileName().isEmpty() && file.open(QIODevice::WriteOnly))
        file.write(seen.toUtf8());
}
