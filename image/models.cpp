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

QStringList ModelNames(const RadioModel& model) {
    const QStringList twins = QString::fromLatin1(model.displayName).split(QLatin1Char('/'));
    QStringList names = {twins.first()};
    for (const QString& twin : twins.mid(1))
        names << twins.first().left(twins.first().size() - twin.size()) + twin;
    if (!names.contains(QLatin1String(model.shortName)))
        names << QString::fromLatin1(model.shortName);
    return names;
}

const RadioModel* RadioModelNamed(const QString& name) {
    const auto key = [](const QString& text) {
        QString letters;
        for (const QChar c : text)
            if (c.isLetterOrNumber())
                letters += c.toUpper();
        return letters;
    };
    if (key(name).isEmpty())
        return nullptr;
    for (const RadioModel& m : kRadioModels)
        for (const QString& known : ModelNames(m))
            if (key(known) == key(name))
                return &m;
    return nullptr;
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
