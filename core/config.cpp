#include "core/config.h"

#include <QFile>
#include <QSettings>
#include <QStringList>
#include <cmath>
#include <limits>

#include "core/errors.h"

ConfigStore::ConfigStore(const QString& iniPath) {
    const QString path = iniPath.isEmpty() ? defaultPath() : iniPath;
    file_ = std::make_unique<QSettings>(path, QSettings::IniFormat);
}

ConfigStore::~ConfigStore() = default;

QString ConfigStore::defaultPath() {
    for (const char* name : {"QUORLINK_CONFIG", "QUORLINK_SETTINGS"}) {
        const QString fromEnv = qEnvironmentVariable(name);
        if (!fromEnv.isEmpty())
            return fromEnv;
    }
    QSettings perUser(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Quorlink"),
                      QStringLiteral("Quorlink"));
    return perUser.fileName();
}

QString ConfigStore::actualKey(const QString& section, const QString& key) const {
    file_->beginGroup(section);
    const QStringList keys = file_->childKeys();
    file_->endGroup();
    for (const QString& k : keys) {
        if (k.compare(key, Qt::CaseInsensitive) == 0)
            return k;
    }
    return QString();
}

QString ConfigStore::get(const QString& section, const QString& key,
                         const QString& defaultValue) const {
    const QString k = actualKey(section, key);
    if (k.isEmpty())
        return defaultValue;
    return file_->value(section + '/' + k).toString();
}

void ConfigStore::set(const QString& section, const QString& key, const QString& value) {
    const QString existing = actualKey(section, key);
    file_->setValue(section + '/' + (existing.isEmpty() ? key : existing), value);
    file_->sync();
    if (file_->status() != QSettings::NoError && onWriteFailed)
        onWriteFailed(fileName(), writeFailureReason());
}

QString ConfigStore::writeFailureReason() const {
    // The settings class says only that it failed; the system says why when asked to open
    // the file for writing itself.
    QFile file(fileName());
    const bool existed = file.exists();
    if (!file.open(QIODevice::ReadWrite))
        return file.errorString();
    file.close();
    if (!existed)
        file.remove();
    return QStringLiteral("the file could not be written (is the disk full?)");
}

bool ConfigStore::contains(const QString& section, const QString& key) const {
    return !actualKey(section, key).isEmpty();
}

QString ConfigStore::fileName() const {
    return file_->fileName();
}

double numericValue(const QString& text) {
    const QByteArray s = text.toLatin1();
    qsizetype i = 0;
    const qsizetype n = s.size();
    while (i < n && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    const qsizetype start = i;
    if (i < n && (s[i] == '+' || s[i] == '-'))
        ++i;
    const qsizetype digitsStart = i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
        ++i;
    bool any = i > digitsStart;
    if (i < n && s[i] == '.') {
        ++i;
        const qsizetype fracStart = i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i])))
            ++i;
        any = any || i > fracStart;
    }
    if (!any)
        return 0.0;
    // An exponent counts only when digits follow it.
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        qsizetype j = i + 1;
        if (j < n && (s[j] == '+' || s[j] == '-'))
            ++j;
        const qsizetype expStart = j;
        while (j < n && std::isdigit(static_cast<unsigned char>(s[j])))
            ++j;
        if (j > expStart)
            i = j;
    }
    const double v = std::strtod(s.mid(start, i - start).constData(), nullptr);
    return std::isfinite(v) ? v : 0.0;
}

qint64 roundHalfEven(double value) {
    if (!std::isfinite(value) || std::fabs(value) > 9.0e18)
        throw RunError(ErrorNumber::Overflow);
    return static_cast<qint64>(std::nearbyint(value));  // default rounding mode: to even
}

qint16 toInt16(double value) {
    const qint64 r = roundHalfEven(value);
    if (r < std::numeric_limits<qint16>::min() || r > std::numeric_limits<qint16>::max())
        throw RunError(ErrorNumber::Overflow);
    return static_cast<qint16>(r);
}

qint32 toInt32(double value) {
    const qint64 r = roundHalfEven(value);
    if (r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
        throw RunError(ErrorNumber::Overflow);
    return static_cast<qint32>(r);
}
