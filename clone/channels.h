#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The radio's 900 memory channels and 24 banks, decoded read-only from an image in file
// order: identity at offset 0, then the 65216 data bytes, then the checksum. Every offset
// below counts from the image start. Nothing here changes an image or throws: a field that
// does not decode shows as "?", and an image too short for a channel leaves it empty.
namespace ChannelLayout {
constexpr int kChannelCount = 900;
constexpr int kFlagsOffset = 0x2C4A;     // one byte per channel
constexpr int kChannelsOffset = 0x328A;  // one 32-byte record per channel
constexpr int kChannelSize = 32;
constexpr int kBankCount = 24;
constexpr int kBankInUseOffset = 0x054A;  // one 16-bit word per bank, FFFF when not in use
constexpr int kBankNamesOffset = 0x135A;  // 18 bytes per bank: 2 unknown, 16 name
constexpr int kBankNameSize = 18;
constexpr int kBankMembersOffset = 0x198A;  // 100 big-endian channel indices per bank
constexpr int kBankMembersSize = 200;
}  // namespace ChannelLayout

// The fields of a channel, in the order of the table and of the comparison.
enum class ChannelField {
    Number,
    Name,
    Frequency,
    Duplex,
    Offset,
    ToneMode,
    Tone,
    Dcs,
    Mode,
    Step,
    Power,
    Skip,
};
constexpr int kChannelFieldCount = int(ChannelField::Skip) + 1;

// One memory channel. An empty channel carries only its number; every text is empty.
struct Channel {
    int number = 0;  // 1-900
    bool empty = true;
    qint64 frequencyHz = -1;  // receive frequency; -1 when it does not decode
    qint64 offsetHz = -1;     // the offset, or the transmit frequency when duplex is "split"
    QString name;
    QString duplex;    // "", "-", "+", "split"
    QString toneMode;  // "", "Tone", "TSQL", "DTCS"
    QString tone;      // CTCSS in Hz, one decimal: "88.5"
    QString dcs;       // three digits: "023"
    QString mode;      // "FM", "AM", "WFM", "NFM"
    QString step;      // tuning step in kHz, two decimals: "12.50"
    QString power;     // "Hi 5 W", "L3 2.5 W", "L2 1 W", "L1 0.05 W"
    QString skip;      // "", "S" (skip), "P" (preferential)

    // The field as the table, the command line and the CSV show it; frequencies in MHz
    // with six decimals.
    QString text(ChannelField field) const;
};

// One bank: its name, whether it is in use, and its members as channel numbers.
struct Bank {
    int number = 0;  // 1-24
    QString name;
    bool inUse = false;
    QList<int> members;
};

// All 900 channels, numbered 1-900.
QList<Channel> DecodeChannels(const QByteArray& image);
// All 24 banks, numbered 1-24. Member entries naming no channel are left out.
QList<Bank> DecodeBanks(const QByteArray& image);

// The column caption of a field: "Ch", "Frequency", "Name", ...
QString ChannelFieldName(ChannelField field);
// Hz as MHz with six decimals; "?" for -1.
QString MegahertzText(qint64 hz);
int UsedChannelCount(const QList<Channel>& channels);

// The CSV layout radio programmers exchange: the header line, then one line per channel;
// empty channels are left out unless `all`.
QString ChannelsCsv(const QList<Channel>& channels, bool all);
// An aligned plain-text table with a header line; empty channels left out unless `all`.
QString ChannelsTable(const QList<Channel>& channels, bool all);
// The fields that differ from `before` to `after`, as "Name SIMPLEX → CALL".
QStringList ChannelChanges(const Channel& before, const Channel& after);
// One line per channel added, removed or changed from image `before` to image `after`:
// "ch 12: added SIMPLEX 146.520000", "ch 12: removed ...", "ch 12: Name SIMPLEX → CALL;
// Frequency 146.520000 → 146.550000".
QStringList ChannelComparison(const QByteArray& before, const QByteArray& after);
// How many 64-byte clone blocks differ in bytes that no line of ChannelComparison names:
// outside the flags and records of the channels it lists. The identity and the final
// checksum are not counted.
int OtherDifferingBlocks(const QByteArray& before, const QByteArray& after);
