#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Monitor text "SRC>DST,DIGI*,DIGI:INFO" as the AX.25 frame a radio keeps: each address's
// six characters shifted left one bit, its SSID byte (bit 7 repeated, bit 0 on the last),
// then control 0x03, protocol 0xF0 and the information field.
inline QByteArray Ax25Frame(const QString& monitor) {
    const qsizetype colon = monitor.indexOf(QLatin1Char(':'));
    const QString head = monitor.left(colon);
    QStringList calls{head.section(QLatin1Char('>'), 1).section(QLatin1Char(','), 0, 0),
                      head.section(QLatin1Char('>'), 0, 0)};
    calls += head.section(QLatin1Char('>'), 1).split(QLatin1Char(',')).mid(1);
    const bool starred = head.contains(QLatin1Char('*'));
    bool repeated = starred;
    QByteArray frame;
    for (int i = 0; i < calls.size(); ++i) {
        QString call = calls[i];
        const bool mark = call.endsWith(QLatin1Char('*'));
        call.remove(QLatin1Char('*'));
        const QByteArray name =
            call.section(QLatin1Char('-'), 0, 0).toLatin1().leftJustified(6, ' ');
        for (char c : name)
            frame += char(c << 1);
        const int ssid = call.section(QLatin1Char('-'), 1).toInt();
        frame += char(0x60 | ssid << 1 | (i >= 2 && repeated ? 0x80 : 0) |
                      (i == calls.size() - 1 ? 1 : 0));
        if (mark)
            repeated = false;
    }
    return frame + QByteArray("\x03\xF0", 2) + monitor.mid(colon + 1).toLatin1();
}
