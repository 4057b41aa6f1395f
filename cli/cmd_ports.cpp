#include "cli/command.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include "core/errors.h"

namespace cli {

int portsCommand(Invocation& inv) {
    ConfigStore config(inv.parser.value(kConfig));
    QtPortFactory ports(&config);
    // Without a stored choice no port is marked.
    LinkState choice;
    choice.PortNumber = 0;
    try {
        if (config.contains(ConfigKeys::kSection, ConfigKeys::kCommPort))
            choice.loadStoredChoice(config);
    } catch (const RunError&) {
        // A stored number beyond any port marks nothing.
    }
    const int stored = choice.PortNumber;
    const QString& storedFtdi = choice.FTDIDescription;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    int present = 0;
    for (int n = PortMap::kFirstCom; n <= PortMap::kLastCom; ++n) {
        if (!ports.map().isPresent(n))
            continue;
        ++present;
        const QString path = ports.map().devicePathFor(n);
        const QString real = QFileInfo(path).canonicalFilePath();
        QString usb;
        for (const QSerialPortInfo& info : infos) {
            if (info.systemLocation() != real && info.systemLocation() != path)
                continue;
            if (info.hasVendorIdentifier())
                usb = QStringLiteral("  %1:%2")
                          .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                          .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
            if (!info.serialNumber().isEmpty())
                usb += QStringLiteral("  serial ") + info.serialNumber();
        }
        out(QStringLiteral("%1 COM%2  %3%4").arg(n == stored ? "*" : " ").arg(n).arg(path, usb));
    }
    if (present == 0)
        out(QStringLiteral("  no COM ports"));
    std::unique_ptr<D2xx> d2xx = createLibFtdiD2xx();
    try {
        quint32 count = 0;
        if (d2xx->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY) != FT_OK)
            count = 0;
        for (quint32 i = 0; i < count; ++i) {
            QByteArray description(FT_DESCRIPTION_SIZE, '\0');
            if (d2xx->FT_ListDevices(i, reinterpret_cast<quint8*>(description.data()),
                                     FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) != FT_OK)
                continue;
            const QString text = QString::fromLatin1(description.constData());
            out(QStringLiteral("%1 FTDI  %2")
                    .arg(stored == kFtdiPort && text == storedFtdi ? "*" : " ", text));
        }
        if (count == 0)
            out(QStringLiteral("  no FTDI cables"));
    } catch (const RunError& e) {
        out(QStringLiteral("  FTDI cables cannot be listed: ") + e.description());
    }
    return kDone;
}

}  // namespace cli
