#include "aprs/aprs.h"

#include <algorithm>
#include <cmath>

namespace Aprs {

namespace {

constexpr int kAddressSize = 7;
constexpr int kMaxPath = 8;
constexpr uchar kControl = 0x03, kProtocol = 0xF0;

int byteAt(const QByteArray& bytes, int at) {
    return at >= 0 && at < bytes.size() ? uchar(bytes[at]) : -1;
}

// An address's six characters are shifted left one bit; a slot all 0xFF is one the sender
// left unused, and a character that is no letter, digit or space shows as '#'.
Address addressAt(const QByteArray& bytes, int at) {
    Address address;
    for (int i = 0; i < 6; ++i) {
        const int c = byteAt(bytes, at + i) >> 1;
        if (c == ' ')
            continue;
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        address.call += QLatin1Char(plain ? char(c) : '#');
    }
    const int ssid = byteAt(bytes, at + 6);
    address.ssid = (ssid >> 1) & 0x0F;
    address.repeated = ssid & 0x80;
    return address;
}

bool unusedSlot(const QByteArray& bytes, int at) {
    for (int i = 0; i < kAddressSize; ++i)
        if (byteAt(bytes, at + i) != 0xFF)
            return false;
    return true;
}

bool controlAt(const QByteArray& bytes, int at) {
    return byteAt(bytes, at) == kControl && byteAt(bytes, at + 1) == kProtocol;
}

}  // namespace

QString Address::text() const {
    return ssid ? call + QLatin1Char('-') + QString::number(ssid) : call;
}

QString Frame::pathText() const {
    int lastRepeated = -1;
    for (int i = 0; i < path.size(); ++i)
        if (path[i].repeated)
            lastRepeated = i;
    QStringList hops;
    for (int i = 0; i < path.size(); ++i)
        hops << path[i].text() + (i == lastRepeated ? QStringLiteral("*") : QString());
    return hops.join(QLatin1Char(','));
}

QString Frame::monitorText() const {
    QString text = source.text() + QLatin1Char('>') + destination.text();
    if (!path.isEmpty())
        text += QLatin1Char(',') + pathText();
    return text + QLatin1Char(':') + QString::fromLatin1(info);
}

// The control byte ends the addresses. An address's characters are even bytes, so a slot
// that starts 0x03 0xF0 is the control, not an address; when no slot does, the end bit of
// the last address (bit 0 of its SSID byte) marks where the control should have been.
Frame DecodeFrame(const QByteArray& bytes) {
    Frame frame;
    if (bytes.size() < 2 * kAddressSize) {
        frame.missing << QStringLiteral("addresses (the packet holds %1 bytes)").arg(bytes.size());
        if (bytes.size() >= kAddressSize)
            frame.destination = addressAt(bytes, 0);
        return frame;
    }
    frame.destination = addressAt(bytes, 0);
    frame.source = addressAt(bytes, kAddressSize);
    int at = 2 * kAddressSize;
    bool ended = byteAt(bytes, at - 1) & 1;
    for (int hop = 0; hop < kMaxPath && !controlAt(bytes, at); ++hop) {
        if (at + kAddressSize > bytes.size())
            break;
        // Past an end bit, only unused slots may come before the control.
        if (unusedSlot(bytes, at)) {
            at += kAddressSize;
            continue;
        }
        if (ended)
            break;
        frame.path << addressAt(bytes, at);
        ended = byteAt(bytes, at + kAddressSize - 1) & 1;
        at += kAddressSize;
    }
    if (!controlAt(bytes, at)) {
        frame.missing << (at >= bytes.size()
                              ? QStringLiteral("control and protocol bytes")
                              : QStringLiteral("control and protocol bytes "
                                               "(found %1 %2)")
                                    .arg(byteAt(bytes, at), 2, 16, QLatin1Char('0'))
                                    .arg(byteAt(bytes, at + 1) & 0xFF, 2, 16, QLatin1Char('0')));
        // Without the control the information field is taken to follow the last address.
        frame.info = bytes.mid(at);
        return frame;
    }
    frame.info = bytes.mid(at + 2);
    return frame;
}

Leg DistanceBearing(double lat1, double lon1, double lat2, double lon2) {
    constexpr double kEarthKm = 6371.0088;
    constexpr double kRad = 3.14159265358979323846 / 180.0;
    const double p1 = lat1 * kRad, p2 = lat2 * kRad, dl = (lon2 - lon1) * kRad;
    const double a = std::sin((p2 - p1) / 2) * std::sin((p2 - p1) / 2) +
                     std::cos(p1) * std::cos(p2) * std::sin(dl / 2) * std::sin(dl / 2);
    Leg leg;
    leg.km = 2 * kEarthKm * std::atan2(std::sqrt(a), std::sqrt(std::max(0.0, 1 - a)));
    const double y = std::sin(dl) * std::cos(p2);
    const double x = std::cos(p1) * std::sin(p2) - std::sin(p1) * std::cos(p2) * std::cos(dl);
    leg.bearing = std::fmod(std::atan2(y, x) / kRad + 360.0, 360.0);
    return leg;
}

QString CompassPoint(double bearing) {
    static const char* const kPoints[] = {"N", "NNE", "NE", "ENE", "E", "ESE", "SE", "SSE",
                                          "S", "SSW", "SW", "WSW", "W", "WNW", "NW", "NNW"};
    const int index = int(std::fmod(bearing + 11.25 + 720.0, 360.0) / 22.5) % 16;
    return QString::fromLatin1(kPoints[index]);
}

}  // namespace Aprs
