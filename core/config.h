#pragma once

#include <QString>
#include <functional>
#include <memory>

class QSettings;

// Where the link choice is kept: section "Settings" (the name stored files have always had), keys
// "CommPort" (a COM number, or kFtdiPort for the FTDI device) and "FTDIDevice". Keys match without
// regard to case, so a store written with "Commport" reads the same.
namespace ConfigKeys {
inline const QString kSection = QStringLiteral("Settings");
inline const QString kCommPort = QStringLiteral("CommPort");
inline const QString kFtdiDevice = QStringLiteral("FTDIDevice");
}  // namespace ConfigKeys

// The program's own store (the link chosen, window places, recent files, the backup
// folder), kept apart from the radio's settings that an image holds: text values under the
// application key "Quorlink", a section and a key. Key names are matched without regard to letter
// case, so "CommPort" written by the menu is the "Commport" read at start-up, and a second spelling
// never creates a second key.
class ConfigStore {
public:
    // iniPath empty: the per-user file in Qt's configuration folder.
    explicit ConfigStore(const QString& iniPath = QString());
    ~ConfigStore();

    // The file the store uses when no other is named: $QUORLINK_CONFIG if set (or the old
    // name $QUORLINK_SETTINGS, taken until the next release), else the per-user INI file
    // (~/.config/Quorlink/Quorlink.ini on Linux).
    static QString defaultPath();

    QString get(const QString& section, const QString& key, const QString& defaultValue) const;
    void set(const QString& section, const QString& key, const QString& value);
    bool contains(const QString& section, const QString& key) const;
    QString fileName() const;

    // Called when a change could not be written to the file, with the file and the reason;
    // the change then holds for this run only.
    std::function<void(const QString& file, const QString& reason)> onWriteFailed;

private:
    QString actualKey(const QString& section, const QString& key) const;
    QString writeFailureReason() const;
    std::unique_ptr<QSettings> file_;
};

// The number at the start of a text, as a numeric parse reads it: leading blanks skipped,
// an optional sign, digits, an optional fraction and exponent. 0 when the text does not
// begin with a number.
double numericValue(const QString& text);

// Rounds to the nearest whole number, halves to even, and raises error 6 (Overflow) when
// the result does not fit.
qint16 toInt16(double value);
qint32 toInt32(double value);
qint64 roundHalfEven(double value);
