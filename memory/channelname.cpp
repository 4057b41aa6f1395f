#include "memory/channelname.h"

#include <cstring>

#include "memory/channels.h"

namespace {

using namespace ChannelLayout;

int NameCode(QChar c) {
    const char* at =
        c.unicode() < 128 && c.unicode() > 0 ? std::strchr(kNameTable, char(c.unicode())) : nullptr;
    return at ? int(at - kNameTable) : -1;
}

// As the other refusals of a channel's fields put it: "Name "x" is longer than 16 characters".
QString refusal(const QString& quoted, const QString& reason) {
    return QStringLiteral("%1 %2 %3")
        .arg(ChannelFieldName(ChannelField::Name), EscapedControls(quoted),
             EscapedControls(reason));
}

}  // namespace

QString EscapedControls(const QString& text) {
    QString shown;
    for (QChar c : text) {
        if (c == QLatin1Char('\0'))
            shown += QStringLiteral("\\0");
        else if (c == QLatin1Char('\n'))
            shown += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            shown += QStringLiteral("\\r");
        else if (c == QLatin1Char('\t'))
            shown += QStringLiteral("\\t");
        else if (c.category() == QChar::Other_Control)
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

QString NameRefusal(const QString& name) {
    const QString quoted = QLatin1Char('"') + name + QLatin1Char('"');
    for (QChar c : name)
        if (NameCode(c) < 0)
            return refusal(
                quoted,
                QStringLiteral("holds %1, which is not in the radio's character table").arg(c));
    if (name.size() > kNameSize)
        return refusal(quoted, QStringLiteral("is longer than %1 characters").arg(kNameSize));
    return {};
}

QString CheckChannelName(QString* name) {
    while (name->endsWith(QLatin1Char(' ')))
        name->chop(1);
    return NameRefusal(*name);
}
