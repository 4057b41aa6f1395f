#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

#include "image/memorymap.h"

// The radio-wide settings as the owner sees them: one row per setting, keyed "group.name"
// (the same key in the window, the command line, the settings file and compare), each on
// its field of the memory map. Values print and parse as an owner writes them.
enum class SettingKind {
    Number,    // a number in [low, high], stored as itself
    List,      // one of `labels`, stored as its index; on/off settings are the list off, on
    Text,      // a text as the field's codec holds it; a character-table code with no
               // character as "\x5A"
    Callsign,  // upper case; "KK7DS-7" sets the SSID too
    Position,  // 40°44'53"N, 40 44 53 N, 40 44.88 N or signed decimal degrees
    DigiPath,  // WIDE1-1,WIDE2-1: one hop per element of the field
    Raw,       // a byte whose encoding is not known: shown as a number, never changed
};

struct SettingRow {
    QString key;      // "aprs.callsign"
    QString group;    // "aprs"
    QString caption;  // "Callsign"
    SettingKind kind = SettingKind::Number;
    MemoryMap::Field field;  // this setting's element (for a path: its hops)
    // The SSID beside the callsign; the SmartBeaconing bit of the beacon mode (index bit 1).
    std::optional<MemoryMap::Field> second;
    QStringList labels;  // by stored index; an empty label is an index not offered
    int low = 0, high = 0;
    QString unproven;    // why the setting is shown but not offered for change
    QString unit;        // of a number: "s", "min", "°"; empty for none
    bool speed = false;  // a speed, in the unit the radio's APRS speed unit names
};

// The groups in the order the window and the settings file show them, with their captions.
QStringList SettingGroups();
QString SettingGroupCaption(const QString& group);

// The settings `model` has, by group.
const QList<SettingRow>& SettingRows(MemoryMap::Model model);
const SettingRow* FindSetting(MemoryMap::Model model, const QString& key);
// Every key of any model, for the completion and for naming a key another model has.
QStringList AllSettingKeys();

// What the setting takes, as a tip says it: the accepted forms and the range ("a whole
// number from 0 to 31"; for a latitude 40°44'53"N, 40 44.88 N or 40.7481, 0-90°).
QString SettingForms(const SettingRow& row);
// The unit a number of `row` is in: its own, or for a speed the one the image's speed-unit
// setting names ("km/h", "knots", "mph"); empty for none.
QString SettingUnit(const QByteArray& image, const SettingRow& row);
// What each value from `row.low` on commonly means, where owners share a convention (the
// SSIDs: 7 a handheld, 9 a mobile); empty for a setting without one.
QStringList SettingValueNotes(const SettingRow& row);

// The value as it prints: "7", "on", "300 ms", "40°44'53\"N", "WIDE1-1,WIDE2-1"; a stored
// index outside the list prints "index N".
QString SettingText(const QByteArray& image, const SettingRow& row);
// Why the stored value cannot be set again as it prints (an index outside the list, a number
// outside the range, bytes that are no text), or why the setting is not offered (unproven);
// empty for a value that may be changed and given back.
QString SettingLocked(const QByteArray& image, const SettingRow& row);
// Sets the value from the text an owner gives. The value that prints now changes nothing,
// so the pads the radio wrote stay; anything else is checked whole before a byte is written.
// The sums are the commit's (MemoryMap::RefreshSumsFor). The refusal, or empty when done.
QString SetSetting(QByteArray& image, const SettingRow& row, const QString& text);

// Values that hold only together: each SmartBeaconing profile's low speed below its high
// speed. The first setting of `after` that breaks one, where `before` differs (so that an
// image that came that way can still be changed elsewhere), as "key: why"; else empty.
QString SettingConflict(const QByteArray& before, const QByteArray& after, MemoryMap::Model model);

// The settings file: "# Quorlink settings of a VX-8DR", then "key = value" by group; a
// locked setting as a comment with its value and why.
QString SettingsFileText(const QByteArray& image);

// One "key = value" line of a settings file or --set; the line's number (0 for --set).
struct SettingAssignment {
    int line = 0;
    QString key;
    QString value;
};
// The assignments of a settings file (lines end in LF, CR LF or CR); a line that is neither
// comment, blank nor "key = value" is refused, named by its number ("line 4: ...").
QList<SettingAssignment> ParseSettingsFile(const QString& text, QStringList* refusals);

// The settings that differ between two images, "key: A-value → B-value"; a key only one
// model has shows "(none)" on the other side.
QStringList SettingsComparison(const QByteArray& a, const QByteArray& b);

// What taking a list of assignments into an image did: the refusals (a key no model has, a
// key the model lacks given by --set, a bad value, an unproven setting, SmartBeaconing
// speeds that cross, which keep both as stored) and the keys of a file the model lacks,
// each naming its line or key; the image has every accepted assignment.
struct SettingsApplied {
    QStringList refused;
    QStringList skipped;
};
SettingsApplied ApplySettings(QByteArray& image, const QList<SettingAssignment>& assignments);
