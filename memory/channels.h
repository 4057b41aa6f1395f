#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <span>

#include "image/memorymap.h"

// The radio's 900 memory channels, 100 skip-search and 100 PMS memories, and 24 banks, decoded
// read-only from an image in file order: identity at offset 0, then the 65216 data bytes, then the
// checksum. Every offset below counts from the image start. Nothing here changes an image or
// throws: a field that does not decode shows as "?", and an image too short for a channel leaves it
// empty.
namespace ChannelLayout {
// Where they lie, as the memory map gives it.
constexpr int kChannelCount = MemoryMap::Channels::kCount;
// Every entry of the three lists is a slot 1-1100 (channels 1-900, then skip search, then
// PMS); a list is a view of its slots.
constexpr int kSlotCount = MemoryMap::Channels::kSlots;
constexpr int kFlagsOffset = MemoryMap::Channels::kFlags.offset;  // one byte per channel
constexpr int kChannelsOffset = MemoryMap::Channels::kRecords;    // one record per channel
constexpr int kChannelSize = MemoryMap::Channels::kRecordSize;
constexpr int kBankCount = MemoryMap::Banks::kCount;
constexpr int kBankInUseOffset = MemoryMap::Banks::kInUse.offset;  // FFFF when not in use
constexpr int kBankNamesOffset = MemoryMap::Banks::kNameRecords;   // 2 unknown, then the name
constexpr int kBankNameSize = MemoryMap::Banks::kNameRecordSize;
constexpr int kBankMembersOffset = MemoryMap::Banks::kMembers.offset;  // channel indexes
constexpr int kBankMembersSize = MemoryMap::Banks::kMembersPerBank * 2;
constexpr int kNameSize = MemoryMap::Channels::kName.width;
// The radio's character table for names, as the memory map gives it.
inline constexpr const auto& kNameTable = MemoryMap::kNameTable;
}  // namespace ChannelLayout

using ChannelList = MemoryMap::Channels::List;

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

// One memory channel, decoded to values: Hz and indexes into the radio's lists; text is
// made at the edge by text(). An empty channel carries its number and the defaults a new
// channel starts from; every text but its number is empty.
struct Channel {
    int number = 0;  // the slot, 1-1100: channel n is slot n
    bool empty = true;
    // Valid but not used: hidden on the radio, its data kept and decoded; not empty.
    bool masked = false;
    qint64 frequencyHz = -1;  // receive frequency; -1 when it does not decode
    qint64 offsetHz = 0;      // the offset, or the transmit frequency when duplex is "split"
    QString name;
    // Indexes into the field's list (its row's values). An index outside it (a code the
    // radio does not use) shows as "?" and is kept until changed; -1 when the record is cut.
    int duplex = 0;    // "", "-", "+", "split"
    int toneMode = 0;  // "", "Tone", "TSQL", "DTCS"
    int tone = 8;      // 50 CTCSS tones in Hz, "67.0" ... "254.1"; 8 is 88.5
    int dcs = 0;       // 104 DCS codes, "023" ... "754"
    int mode = 0;      // "FM", "AM", "WFM"
    int step = 0;      // tuning step in kHz: "5.00", "6.25", "8.33", "9.00" ... "200.00"
    int power = 3;     // "L1 0.05 W", "L2 1 W", "L3 2.5 W", "Hi 5 W"
    int skip = 0;      // "", "S" (skip), "P" (preferential)

    // The field as the table, the command line and the CSV show it; frequencies in MHz
    // with six decimals.
    QString text(ChannelField field) const;
};

// How a field's text becomes its value (SetChannelField).
enum class FieldParse {
    Number,     // a channel number 1-900
    Name,       // characters of the radio's table
    Hertz,      // MHz, or a number with its unit
    List,       // one of the list's texts, in any case
    Decimal,    // as List, or a number near one of the list's ("88.5")
    Kilohertz,  // as Decimal, "kHz" allowed after it
    Code,       // as List, or the same number without leading zeros ("23")
    Power,      // as List, a level's name ("Hi") or watts (the nearest level)
};

// One field of a channel: everything the table, the CSV, paste, the comparison, the
// command line and the PDF need to show, check and store it. The rows are in field order.
struct ChannelFieldRow {
    ChannelField id;
    const char* key;                      // "frequency", "tone mode"
    const char* caption;                  // the column caption: "Ch", "Frequency"
    const MemoryMap::Field* field;        // where the value lies; none for the number
    std::span<const char* const> values;  // a list field's texts in index order
    FieldParse parse;
    int Channel::*index = nullptr;     // where a channel keeps a list field's index
    qint64 Channel::*hertz = nullptr;  // where it keeps a frequency
    // The refusal of a text not in the list; %1 is the list.
    const char* notListed = "is not one of %1";
    unsigned models = 0b111;  // the models that have it: bit n for MemoryMap::Model n

    // Numbers line up on the right.
    bool numeric() const { return parse == FieldParse::Number || hertz; }
    // The list's texts, as the editors offer them; empty for a field without one.
    const QStringList& choices() const;
};
const ChannelFieldRow& ChannelRow(ChannelField field);
std::span<const ChannelFieldRow> ChannelRows();

// Mode code 3: another programmer's "narrow FM". The radio has no such mode per channel
// (it sets narrow deviation for all channels at once), so such a channel is kept as stored
// and shown with this note until its owner chooses FM, AM or WFM.
constexpr int kForeignNarrowMode = 3;
inline bool HasForeignMode(const Channel& ch) {
    return !ch.empty && ch.mode == kForeignNarrowMode;
}
extern const char kForeignModeNote[];

// Tone mode 3 (DTCS) uses the DCS code, 1 and 2 (Tone, TSQL) the CTCSS tone, 0 neither. A
// field the channel's tone mode does not use is kept (the CSV carries it), not sent.
constexpr int kDcsToneMode = 3;
inline bool ToneFieldUnused(const Channel& ch, ChannelField field) {
    if (ch.empty || (field != ChannelField::Tone && field != ChannelField::Dcs))
        return false;
    return field == ChannelField::Dcs ? ch.toneMode != kDcsToneMode
                                      : ch.toneMode <= 0 || ch.toneMode >= kDcsToneMode;
}

// The texts of a field's list in index order, as the editors' lists offer them; empty for
// the number, name, frequency and offset.
inline QStringList ChannelFieldChoices(ChannelField field) {
    return ChannelRow(field).choices();
}
// The column caption of a field: "Ch", "Frequency", "Name", ...
inline QString ChannelFieldName(ChannelField field) {
    return QString::fromLatin1(ChannelRow(field).caption);
}

// One bank: its name, whether it is in use, and its members as channel numbers.
struct Bank {
    int number = 0;  // 1-24
    QString name;
    bool inUse = false;
    QList<int> members;
};

// Whether channel `number` (1-900) is in use: its flags say valid and used. False for a
// channel past the end of the image.
bool ChannelInUse(const QByteArray& image, int number);
// Every entry of a list, numbered by slot.
QList<Channel> DecodeChannels(const QByteArray& image, ChannelList list = ChannelList::Channels);
// Slot `number` (1-1100) alone, as DecodeChannels gives it.
Channel DecodeChannelAt(const QByteArray& image, int number);
// Bank `number` (1-24), the one place that reads a bank's bytes. A bank not in use has no
// members; entries naming no channel are left out, and a channel listed twice is listed
// once. An image too short for the bank, or a number outside 1-24, gives an unused bank.
Bank DecodeBank(const QByteArray& image, int number);
// All 24 banks, numbered 1-24.
QList<Bank> DecodeBanks(const QByteArray& image);
// The banks that hold channel `number`, as the table shows them: "1 4"; empty when none.
QString ChannelBanksText(const QList<Bank>& banks, int number);

// The frequency the radio means by a stored whole-kHz value (the fraction it dropped put
// back); -1 for a negative value.
qint64 RestoredHertz(qint64 khz);

// Hz as MHz with six decimals; "?" for -1.
QString MegahertzText(qint64 hz);
// The entries in use; masked ones are counted apart.
int UsedChannelCount(const QList<Channel>& channels);
int MaskedChannelCount(const QList<Channel>& channels);

// A slot's place in its list (1-900 or 1-100), the slot of a list's location, and the
// location as the lists show it: "12", or "L1", "U1" ... for PMS.
int LocationOf(int slot);
int SlotOf(ChannelList list, int location);
QString LocationLabel(int slot);
// A slot as the comparison names it: "ch 12", "skip 3", "PMS L2".
QString EntryName(int slot);
// What a list holds, for counts: "channels", "skip-search memories", "PMS memories".
QString ListNoun(ChannelList list);
// Why a PMS pair cannot scan as it stands ("L2 146.000000 is above U2 144.000000: ..."):
// the radio takes it while its owner edits, so it is shown, never refused. Empty when both
// edges are in use and in order, or either is empty.
QString PmsPairProblem(const Channel& lower, const Channel& upper);

// An aligned plain-text table with a header line, each channel's banks in the last column
// ("1 4", channels only); masked ones with an M in the S column; empty channels left out
// unless `all`. It fits 80 columns: a list of banks too
// long for the room left goes on in lines of its own under its column.
QString ChannelsTable(const QList<Channel>& channels, const QList<Bank>& banks, bool all);
// The fields that differ from `before` to `after`, as "Name SIMPLEX → CALL".
QStringList ChannelChanges(const Channel& before, const Channel& after);
// One line per entry of the three lists added, removed, masked, unmasked or changed from image
// `before` to image `after` ("skip 3: ...", "PMS L2: ..." after the channels),
// its banks counting as one of its fields: "ch 12: added SIMPLEX 146.520000", "ch 12:
// removed ...", "ch 12: Name SIMPLEX → CALL; Frequency 146.520000 → 146.550000; Banks 1 →
// 1 4"; then one line per bank renamed: "bank 3: Name HOME → CLUB".
QStringList ChannelComparison(const QByteArray& before, const QByteArray& after);
// How many 64-byte clone blocks differ in bytes that no line of ChannelComparison names:
// outside the flags and records of the channels it lists, the member lists and in-use words
// of the banks whose members changed, and the names of the banks renamed. The identity and
// the final checksum are not counted.
int OtherDifferingBlocks(const QByteArray& before, const QByteArray& after);
