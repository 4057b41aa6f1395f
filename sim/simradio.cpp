#include "sim/simradio.h"

namespace {
constexpr char kAck = 0x06;
constexpr char kNak = 0x15;
}  // namespace

QByteArray SimRadio::identityAH029() {
    return QByteArray("AH029", 5) + QByteArray::fromHex("0001000000");
}

QByteArray SimRadio::identityAH29D() {
    return QByteArray("AH29D", 5) + QByteArray::fromHex("0001000000");
}

quint8 SimRadio::checksumOf(const QByteArray& identity, const QByteArray& data) {
    unsigned sum = 0;
    for (char c : identity)
        sum += static_cast<quint8>(c);
    for (char c : data)
        sum += static_cast<quint8>(c);
    return static_cast<quint8>(sum & 0xFF);
}

SimRadio::SimRadio() : memory(kDataSize, '\0'), identity(identityAH029()) {
    // A recognisable pattern: every byte differs from its neighbours and no block repeats.
    for (int i = 0; i < kDataSize; ++i)
        memory[i] = static_cast<char>((i * 7 + i / 64) & 0xFF);
    // A radio keeps four region sums in its memory, each the low 8 bits of the 127 bytes
    // before it (data offsets 0x0640-0x06BE -> 0x06BF, and so on): its own read has them right.
    for (int stored = 0x06BF; stored <= 0x083F; stored += 0x80) {
        unsigned sum = 0;
        for (int i = stored - 127; i < stored; ++i)
            sum += static_cast<quint8>(memory[i]);
        memory[stored] = static_cast<char>(sum & 0xFF);
    }
}

void SimRadio::schedule(const QByteArray& bytes, qint64 startNs) {
    if (bytes.isEmpty())
        return;
    out_.push_back(Burst{bytes, qMax(startNs, lastScheduledEnd()), 0});
}

qint64 SimRadio::lastScheduledEnd() const {
    if (out_.empty())
        return 0;
    const Burst& b = out_.back();
    return b.startNs + b.bytes.size() * kByteNs;
}

void SimRadio::countCrossed(qint64 n) {
    crossed_ += n;
    if (faults.pullCableAfterBytes >= 0 && crossed_ >= faults.pullCableAfterBytes)
        cablePulled_ = true;
}

void SimRadio::pressBand(qint64 nowNs) {
    if (cablePulled_ || faults.silent)
        return;
    out_.clear();
    mode_ = Mode::AwaitingAck;
    schedule(faults.noise + identity, nowNs);
}

void SimRadio::powerCycle() {
    out_.clear();
    incoming_.clear();
    mode_ = Mode::Idle;
}

void SimRadio::fromPc(const QByteArray& bytes, qint64 nowNs) {
    if (cablePulled_)
        return;
    pcBytes += bytes;
    countCrossed(bytes.size());
    if (mode_ == Mode::Receiving && !incoming_.isEmpty() && nowNs - lastFromPcNs_ > kGiveUpNs) {
        incoming_.clear();
        mode_ = Mode::Error;
    }
    lastFromPcNs_ = nowNs;
    for (char c : bytes) {
        switch (mode_) {
            case Mode::AwaitingAck:
                if (c == kAck) {
                    mode_ = Mode::Sending;
                    QByteArray data = memory;
                    if (faults.stallAfterBlocks >= 0)
                        data.truncate(faults.stallAfterBlocks * kBlockSize);
                    const bool complete = faults.stallAfterBlocks < 0;
                    if (complete && !faults.omitChecksum) {
                        quint8 sum = checksumOf(identity, memory);
                        if (faults.wrongChecksum)
                            sum = static_cast<quint8>(sum + 1);
                        data.append(static_cast<char>(sum));
                    }
                    schedule(data, nowNs);
                } else {
                    refusedAck = true;
                    mode_ = Mode::Error;
                }
                break;
            case Mode::Idle:
            case Mode::Receiving:
                if (faults.silent)
                    break;
                mode_ = Mode::Receiving;
                incoming_.append(c);
                if (incoming_.size() == kIdentitySize) {
                    schedule(QByteArray(1, faults.nakIdentity ? kNak : kAck),
                             nowNs + faults.ackDelayNs);
                    if (faults.nakIdentity) {
                        incoming_.clear();
                        mode_ = Mode::Error;
                    }
                } else if (incoming_.size() == kIdentitySize + kDataSize + 1) {
                    const QByteArray id = incoming_.left(kIdentitySize);
                    const QByteArray data = incoming_.mid(kIdentitySize, kDataSize);
                    ++writesReceived;
                    lastWriteImage = data;
                    lastWriteChecksumOk =
                        checksumOf(id, data) == static_cast<quint8>(incoming_.back());
                    if (lastWriteChecksumOk) {
                        identity = id;
                        memory = data;
                    }
                    incoming_.clear();
                    mode_ = Mode::Idle;
                }
                break;
            case Mode::Sending:
            case Mode::Error:
                break;
        }
    }
}

qint64 SimRadio::countDue(qint64 nowNs) const {
    if (cablePulled_)
        return 0;
    qint64 n = 0;
    for (const Burst& b : out_) {
        if (nowNs < b.startNs)
            break;
        const qint64 arrived = qMin<qint64>((nowNs - b.startNs) / kByteNs, b.bytes.size());
        n += arrived - b.taken;
        if (arrived < b.bytes.size())
            break;
    }
    return n;
}

QByteArray SimRadio::takeDue(qint64 nowNs) {
    QByteArray result;
    if (cablePulled_)
        return result;
    while (!out_.empty()) {
        Burst& b = out_.front();
        if (nowNs < b.startNs)
            break;
        qint64 arrived = qMin<qint64>((nowNs - b.startNs) / kByteNs, b.bytes.size());
        if (faults.pullCableAfterBytes >= 0)
            arrived =
                qMin(arrived, b.taken + qMax<qint64>(0, faults.pullCableAfterBytes - crossed_));
        result.append(b.bytes.mid(b.taken, arrived - b.taken));
        countCrossed(arrived - b.taken);
        b.taken = arrived;
        if (cablePulled_ || b.taken < b.bytes.size())
            break;
        out_.pop_front();
    }
    if (out_.empty() && mode_ == Mode::Sending)
        mode_ = Mode::Idle;
    return result;
}

qint64 SimRadio::nextDueNs() const {
    if (cablePulled_ || out_.empty())
        return -1;
    const Burst& b = out_.front();
    return b.startNs + (b.taken + 1) * kByteNs;
}
