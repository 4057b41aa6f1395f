#include "sim/heardbeacons.h"

#include <QStringList>

namespace S = MemoryMap::Stations;

QByteArray Ax25FrameOf(const QString& monitor, bool twoPathSlots) {
    const qsizetype colon = monitor.indexOf(QLatin1Char(':'));
    const QString head = monitor.left(colon);
    const QStringList hops = head.section(QLatin1Char('>'), 1).split(QLatin1Char(','));
    QStringList calls{hops.value(0), head.section(QLatin1Char('>'), 0, 0)};
    calls += hops.mid(1, twoPathSlots ? 2 : 8);
    bool repeated = head.contains(QLatin1Char('*'));
    QByteArray frame;
    for (int i = 0; i < calls.size(); ++i) {
        QString call = calls[i];
        const bool mark = call.endsWith(QLatin1Char('*'));
        call.remove(QLatin1Char('*'));
        const QByteArray name =
            call.section(QLatin1Char('-'), 0, 0).toLatin1().left(6).leftJustified(6, ' ');
        for (char c : name)
            frame += char(c << 1);
        const int ssid = call.section(QLatin1Char('-'), 1).toInt() & 0x0F;
        frame += char(0x60 | ssid << 1 | (i >= 2 && repeated ? 0x80 : 0) |
                      (i == calls.size() - 1 ? 1 : 0));
        if (mark)
            repeated = false;
    }
    if (twoPathSlots)
        frame += QByteArray(4 * 7 - frame.size(), char(0xFF));
    return frame + QByteArray("\x03\xF0", 2) + monitor.mid(colon + 1).toLatin1();
}

void ClearHeardBeacons(QByteArray& image, MemoryMap::Model model) {
    const S::Places places = S::StationPlaces(model);
    for (int n = 0; n < places.count; ++n)
        image.replace(places.metadataAt(n), S::kMetadataSize, QByteArray(S::kMetadataSize, '\xFF'));
}

void StoreHeardBeacon(QByteArray& image, MemoryMap::Model model, int n, QDate date, QTime time,
                      const QString& monitor) {
    const S::Places places = S::StationPlaces(model);
    const QByteArray frame =
        Ax25FrameOf(monitor, model != MemoryMap::Model::VX8R).left(places.packetSize);
    const auto bcd = [](int v) { return char((v / 10) << 4 | (v % 10)); };
    QByteArray meta(S::kMetadataSize, '\0');
    meta[S::kDateAt] = bcd(date.year() % 100);
    meta[S::kDateAt + 1] = bcd(date.month());
    meta[S::kDateAt + 2] = bcd(date.day());
    meta[S::kWeekdayAt] = char(date.dayOfWeek() % 7 + 1);
    meta[S::kTimeAt] = bcd(time.hour());
    meta[S::kTimeAt + 1] = bcd(time.minute());
    meta[S::kSequenceAt] = char(n);
    // An object is kept under its name, as ASCII; anything else under its source address.
    const qsizetype colon = monitor.indexOf(QLatin1Char(':'));
    const bool object = monitor.mid(colon + 1, 1) == QLatin1String(";");
    const QByteArray call =
        object ? monitor.mid(colon + 2, 9).trimmed().toLatin1().left(7) : frame.mid(7, 7);
    meta.replace(S::kCallsignAt, S::kCallsignSize,
                 call.leftJustified(S::kCallsignSize, object ? '\xFF' : '\0'));
    const QByteArray info = monitor.mid(colon + 1).toLatin1();
    meta[S::kCallsignAt + 7] = info.isEmpty() ? '\0' : info[0];
    meta[S::kFlagsAt] = char(object ? 1 << S::kAsciiCallsignBit : 0);
    meta[S::kLengthAt] = char(frame.size() >> 8);
    meta[S::kLengthAt + 1] = char(frame.size());
    meta[S::kLengthAt + 3] = 1;
    image.replace(places.metadataAt(n), S::kMetadataSize, meta);
    image.replace(places.packetAt(n), places.packetSize,
                  frame.leftJustified(places.packetSize, '\xFF'));
}
