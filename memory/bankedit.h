#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "memory/channels.h"

// Changing the 24 banks of an image in file order (identity first). A bank's bytes are its
// in-use word (0006 with members, FFFF without), its name and its list of up to 100
// channel indexes, ascending, FFFF after the last. Every function returns the refusal, or
// an empty string; a refused change leaves every byte as it was. The sums are the commit's
// (MemoryMap::RefreshSumsFor); the VFO records are never touched.

// Writes `bank` (its number 1-24, name and members) as the radio writes it, the one place
// that writes a bank's bytes. Only what differs from the image is written: the name when
// it reads differently, the list and the in-use word when the members (or whether the bank
// is in use) differ. Members are kept sorted, each once.
QString StoreBank(QByteArray& image, const Bank& bank);

// Puts channel `channel` (in use) into bank `bank`; already there changes nothing. A full
// bank refuses: "Bank 3 HOME is full: a bank holds at most 100 channels".
QString AddToBank(QByteArray& image, int bank, int channel);
// Takes a channel out of a bank; a bank left empty becomes not in use.
QString RemoveFromBank(QByteArray& image, int bank, int channel);
// Puts a channel in exactly the banks `banks` (numbers 1-24) and out of the others; refused
// whole when one of them is full.
QString SetChannelBanks(QByteArray& image, int channel, const QList<int>& banks);
// Renames a bank under the channel-name rules: at most 16 characters of the radio's table.
QString RenameBank(QByteArray& image, int bank, const QString& name);

// Rewrites the members of every bank after channels changed places: channel n is now
// channel newNumber[n - 1], or leaves its banks when that is 0. Banks whose members do not
// change keep their bytes.
void RenumberBankMembers(QByteArray& image, const QList<int>& newNumber);
// Takes channel `channel` out of every bank.
void RemoveFromBanks(QByteArray& image, int channel);
