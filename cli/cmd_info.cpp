#include "cli/command.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "image/cloneimage.h"

namespace cli {

const QCommandLineOption kJson("json", "Print the same as one JSON object.");

namespace {

QString byteHex(int value) {
    return QStringLiteral("0x%1").arg(value, 2, 16, QLatin1Char('0')).toUpper().replace("0X", "0x");
}

}  // namespace

int infoCommand(Invocation& inv) {
    LoadedImage loaded;
    if (!loadFile(inv.files[0], loaded))
        return kRefused;
    const QByteArray& image = loaded.image;
    const QList<ImageSum> sums = ImageSums(image);
    if (given(inv.parser, kJson)) {
        QJsonArray sumList;
        for (const ImageSum& s : sums)
            sumList.append(QJsonObject{{"name", s.name},
                                       {"offset", s.at},
                                       {"stored", s.stored},
                                       {"actual", s.actual},
                                       {"good", s.good()}});
        const QJsonObject info{{"file", inv.files[0]},
                               {"model", ModelName(image)},
                               {"identity", IdentityText(image, CloneLayout::kIdentitySize)},
                               {"size", image.size()},
                               {"sums", sumList},
                               {"metadata", loaded.metadata}};
        out(QString::fromUtf8(QJsonDocument(info).toJson(QJsonDocument::Indented)).trimmed());
        return kDone;
    }
    out(QStringLiteral("File:      ") + inv.files[0]);
    out(QStringLiteral("Model:     ") + ModelName(image));
    out(QStringLiteral("Identity:  ") + IdentityText(image, CloneLayout::kIdentitySize));
    out(QStringLiteral("Size:      %1 bytes").arg(image.size()));
    for (const ImageSum& s : sums)
        out(QStringLiteral("%1 at 0x%2: %3 %4")
                .arg(s.name, -22)
                .arg(QStringLiteral("%1").arg(s.at, 4, 16, QLatin1Char('0')).toUpper())
                .arg(byteHex(s.stored))
                .arg(
                    s.good()
                        ? QStringLiteral("good")
                        : QStringLiteral("stale (the data adds up to %1)").arg(byteHex(s.actual))));
    if (!loaded.metadata.isEmpty()) {
        out(QStringLiteral("Metadata of the other programmer:"));
        for (auto it = loaded.metadata.begin(); it != loaded.metadata.end(); ++it)
            out(QStringLiteral("  %1: %2").arg(it.key(), it.value().toVariant().toString()));
    }
    return kDone;
}

}  // namespace cli
