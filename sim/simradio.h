#pragma once

#include <QByteArray>
#include <deque>

#include "image/memorymap.h"

// A VX-8 in clone mode, as the far end of the cable sees it, in both directions:
//
//  sending (the user pressed [BAND]): identity (10 bytes), then it waits for one byte;
//    06 hex makes it send its 65216 data bytes and the checksum at line speed, anything
//    else ends the clone (the radio shows ERROR);
//  receiving (the user pressed MODE, the radio shows --WAIT--): it takes a 10-byte
//    identity, answers 06 hex, takes 65216 bytes and the checksum, checks the sum and
//    keeps the image, so that a following read returns what was written.
//
// Time is given by the caller in nanoseconds; bytes to the PC carry their arrival time at
// 38400 baud (10 bits a byte). Faults can be asked for in `faults`.
class SimRadio {
public:
    static constexpr int kIdentitySize = 10;
    static constexpr int kDataSize = 65216;
    static constexpr int kBlockSize = 64;
    static constexpr qint64 kByteNs = 260'417;  // 10 bits at 38400 baud
    // Silence in the middle of a write after which the radio gives up (it shows ERROR).
    static constexpr qint64 kGiveUpNs = 1'000'000'000;

    static QByteArray identityAH029();  // "AH029" and five more bytes
    static QByteArray identityAH29D();
    // The identity a radio of `model` sends.
    static QByteArray identityOf(MemoryMap::Model model);
    // The sum of every byte, low 8 bits: the clone stream's checksum.
    static quint8 checksumOf(const QByteArray& identity, const QByteArray& data);

    // A radio of `model` as its owner might have left it: a dozen channels in two banks, a
    // masked one, skip-search and PMS entries, the settings the model has (the SmartBeaconing
    // profiles on the VX-8DR and VX-8GE at their factory values).
    explicit SimRadio(MemoryMap::Model model = MemoryMap::Model::VX8R);

    struct Faults {
        int stallAfterBlocks = -1;        // stop sending after this many 64-byte blocks
        bool wrongChecksum = false;       // send the checksum plus one
        bool omitChecksum = false;        // send no checksum byte
        bool silent = false;              // never send anything (a read) nor answer (a write)
        bool nakIdentity = false;         // answer a write's identity with 15 hex
        QByteArray noise;                 // bytes sent before the identity
        qint64 pullCableAfterBytes = -1;  // the cable is pulled once this many bytes crossed
        qint64 ackDelayNs = 2'000'000;    // turnaround before the radio's acknowledgement
    } faults;

    // The radio's memory: 65216 data bytes and the identity it sends.
    QByteArray memory;
    QByteArray identity;

    // The user pressed [BAND] at `nowNs`: the radio starts to send.
    void pressBand(qint64 nowNs);
    // Bytes the PC sent, all arrived by `nowNs`.
    void fromPc(const QByteArray& bytes, qint64 nowNs);
    // Takes the bytes that have reached the PC by `nowNs`.
    QByteArray takeDue(qint64 nowNs);
    // How many bytes will have reached the PC by `nowNs` (not taken yet).
    qint64 countDue(qint64 nowNs) const;
    // When the next byte not yet taken reaches the PC; -1 when nothing is on its way.
    qint64 nextDueNs() const;
    bool cablePulled() const { return cablePulled_; }
    // Switched off and on again in clone mode: whatever it was sending or taking is
    // dropped and it waits, as after MODE, for a write or a press of [BAND].
    void powerCycle();
    void pullCable() { cablePulled_ = true; }

    // What the radio saw.
    QByteArray pcBytes;      // everything the PC sent
    int writesReceived = 0;  // complete writes taken (identity, data and checksum)
    bool lastWriteChecksumOk = false;
    QByteArray lastWriteImage;  // data bytes of the last complete write
    bool refusedAck = false;    // a read's identity was answered with something but 06

    enum class Mode { Idle, AwaitingAck, Sending, Receiving, Error };
    Mode mode() const { return mode_; }

private:
    struct Burst {
        QByteArray bytes;
        qint64 startNs = 0;  // byte k reaches the PC at startNs + (k + 1) * kByteNs
        qint64 taken = 0;
    };
    void schedule(const QByteArray& bytes, qint64 startNs);
    qint64 lastScheduledEnd() const;
    void countCrossed(qint64 n);

    Mode mode_ = Mode::Idle;
    std::deque<Burst> out_;
    QByteArray incoming_;  // the write being received
    qint64 crossed_ = 0;
    qint64 lastFromPcNs_ = 0;
    bool cablePulled_ = false;
};
