#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QTime>

#include "image/memorymap.h"

// The radio's side of the station list: beacons stored the way a VX-8 keeps those it heard,
// for the demo radio, the tests and the benchmarks.

// Monitor text "SRC>DST,DIGI*,DIGI:INFO" as an AX.25 frame: each address's six characters
// shifted left one bit, its SSID byte (bit 7 repeated, bit 0 on the last), control 0x03,
// protocol 0xF0, the information field. With `twoPathSlots` (the VX-8DR's and VX-8GE's
// way) the path always takes two slots, an unused one 0xFF-filled.
QByteArray Ax25FrameOf(const QString& monitor, bool twoPathSlots = false);

// Every entry unused (each metadata record 0xFF).
void ClearHeardBeacons(QByteArray& image, MemoryMap::Model model);
// Stores `monitor` as entry n (from 0), received at `date` and `time`: the metadata, the
// frame in its slot (cut to the slot) and 0xFF padding after it.
void StoreHeardBeacon(QByteArray& image, MemoryMap::Model model, int n, QDate date, QTime time,
                      const QString& monitor);
