#include "image/models.h"

#include <QByteArray>

const RadioModel& RadioModelRow(MemoryMap::Model model) {
    for (const RadioModel& m : kRadioModels)
        if (m.model == model)
            return m;
    return kRadioModels[0];
}

const RadioModel* RadioModelOf(QByteArrayView image) {
    for (const RadioModel& m : kRadioModels)
        if (image.startsWith(QByteArrayView(m.identity)))
            return &m;
    return nullptr;
}

QString IdentityHex(const RadioModel& model) {
    return QString::fromLatin1(QByteArray(model.identity).toHex().toUpper());
}

QString ListedModels(const std::function<QString(const RadioModel&)>& text, const QString& last) {
    QString listed;
    const int count = int(std::size(kRadioModels));
    for (int i = 0; i < count; ++i)
        listed += (i == 0           ? QString()
                   : i == count - 1 ? last
                                    : QStringLiteral(", ")) +
                  text(kRadioModels[i]);
    return listed;
}
