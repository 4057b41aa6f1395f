#pragma once

#include <QByteArray>
#include <QString>
#include <QtTest>

#include "image/imagefile.h"
#include "memory/channels.h"

// The channel fixture: ten channels written byte by byte into an image in file order
// (identity first), each with what it decodes to, and bank 1 "Home" holding 1, 2 and 900.
// Records: byte 0, byte 1 (mode, duplex, step), frequency, byte 5 (power, tone mode),
// 2 bytes, name, offset, tone, DCS, 3 bytes.
struct FixtureChannel {
    const char* tag;
    int number;
    int flags;
    const char* record;
    const char* power;
    const char* csv;  // empty: left out of the CSV
};
inline const FixtureChannel kFixtureChannels[] = {
    {"FM simplex, 12.5 kHz step", 1, 0x03,
     "00 05 146520 C0 0000 1C121619150E21FFFFFFFFFFFFFFFFFF 000000 08 00 000000", "Hi 5 W",
     "1,SIMPLEX,146.520000,,0.000000,,88.5,88.5,023,NN,023,Tone->Tone,FM,12.50,,5.0W,,,,,"},
    {"half deviation is still FM, minus, Tone", 2, 0x03,
     "20 10 145230 01 0000 1B191DFFFFFFFFFFFFFFFFFFFFFFFFFF 000600 0C 00 000000", "L1 0.05 W",
     "2,RPT,145.230000,-,0.600000,Tone,100.0,100.0,023,NN,023,Tone->Tone,FM,5.00,,0.1W,,,,,"},
    {"AM airband, 8.33 kHz", 3, 0x03,
     "00 42 118008 40 0000 0A121BFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "L2 1 W",
     "3,AIR,118.008333,,0.000000,,88.5,88.5,023,NN,023,Tone->Tone,AM,8.33,,1.0W,,,,,"},
    {"WFM broadcast, skip", 4, 0x07,
     "00 89 088100 80 0000 0F16FFFFFFFFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "L3 2.5 W",
     "4,FM,88.100000,,0.000000,,88.5,88.5,023,NN,023,Tone->Tone,WFM,50.00,S,2.5W,,,,,"},
    {"AM, plus, TSQL, 12.5 kHz frequency, pskip", 5, 0x0B,
     "00 65 145612 C2 0000 1B191D01FFFFFFFFFFFFFFFFFFFFFFFF 000600 31 00 000000", "Hi 5 W",
     "5,RPT1,145.612500,+,0.600000,TSQL,254.1,254.1,023,NN,023,Tone->Tone,AM,12.50,P,5.0W,,,,,"},
    {"split, DTCS, 6.25 kHz, unknown bits set", 6, 0xF3,
     "DF 31 446006 F3 FFFF 19161BFFFFFFFFFFFFFFFFFFFFFFFFFF 440006 C0 E7 FFFFFF", "Hi 5 W",
     "6,PMR,446.006250,split,440.006250,DTCS,67.0,67.0,754,NN,754,Tone->Tone,FM,6.25,,5.0W,,,,,"},
    {"every character class", 7, 0x03,
     "00 00 430000 C0 0000 1A092425404E4D4F50FE2324FFFFFFFF 000000 08 00 000000", "Hi 5 W",
     "7,\"Q9 a,^? ..Z\",430.000000,,0.000000,,88.5,88.5,023,NN,023,Tone->Tone,FM,5.00,,5.0W,,,,,"},
    {"garbage: in use, left out of the CSV", 8, 0xFF,
     "FF FF 1A52FF FF FFFF 80FFFFFFFFFFFFFFFFFFFFFFFFFFFFFF 0000A0 FF FF FFFFFF", "Hi 5 W", ""},
    {"masked: valid but not used", 9, 0x01,
     "00 04 146520 C0 0000 1C12161915FFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "Hi 5 W", ""},
    {"used but not valid", 10, 0x02,
     "00 04 146520 C0 0000 1C12161915FFFFFFFFFFFFFFFFFFFFFF 000000 08 00 000000", "", ""},
};
inline const char kCsvHeader[] =
    "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,DtcsPolarity,"
    "RxDtcsCode,CrossMode,Mode,TStep,Skip,Power,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE";

// Puts a channel's flag byte and 32-byte record (hex, spaces ignored) into an image in
// file order.
inline void PutChannel(QByteArray& image, int number, int flags, const char* recordHex) {
    const QByteArray record = QByteArray::fromHex(recordHex);
    QCOMPARE(record.size(), ChannelLayout::kChannelSize);
    image[ChannelLayout::kFlagsOffset + number - 1] = char(flags);
    image.replace(ChannelLayout::kChannelsOffset + (number - 1) * ChannelLayout::kChannelSize,
                  record.size(), record);
}

// An AH029 image, zero elsewhere, holding the fixture's channels and banks.
inline QByteArray FixtureImage() {
    QByteArray image(65227, '\0');
    image.replace(0, 5, "AH029");
    // Each bank area: its first bytes, 0xFF (unused) after them.
    auto put = [&](int offset, const char* hex, int size) {
        image.replace(offset, size, QByteArray::fromHex(hex).leftJustified(size, '\xFF'));
    };
    put(ChannelLayout::kBankInUseOffset, "0000", 48);
    put(ChannelLayout::kBankNamesOffset, "000091B3B1A9FF", 24 * 18);
    put(ChannelLayout::kBankMembersOffset, "00000001FFFF03840383", 24 * 200);
    for (const FixtureChannel& c : kFixtureChannels)
        PutChannel(image, c.number, c.flags, c.record);
    return image;
}

// The fixture with more banks and a VFO area whose region sums are right: bank 1 "Home"
// holds 1, 2 and 900 (in-use word 0000: any word but FFFF is in use), bank 2 "FULL" holds
// the 100 channels 11-110, bank 3 only channel 4; the VFO records hold a pattern.
inline QByteArray BankFixtureImage() {
    QByteArray image = FixtureImage();
    for (int at = 0x064A; at <= 0x0949; ++at)
        image[at] = char(at * 37);
    image.replace(ChannelLayout::kBankInUseOffset + 2, 4, QByteArray::fromHex("00060006"));
    image.replace(ChannelLayout::kBankNamesOffset + 18 + 2, 4, QByteArray::fromHex("0F1E1515"));
    for (int i = 0; i < 100; ++i)
        image.replace(ChannelLayout::kBankMembersOffset + 200 + 2 * i, 2,
                      QByteArray(1, char((10 + i) >> 8)) + char(10 + i));
    image.replace(ChannelLayout::kBankMembersOffset + 400, 2, QByteArray::fromHex("0003"));
    FixSums(image);
    return image;
}
