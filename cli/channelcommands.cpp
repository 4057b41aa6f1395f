#include "cli/channelcommands.h"

#include <QTextStream>

#include "clone/channels.h"
#include "clone/imagefile.h"

int ChannelsCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    bool all = false, csv = false;
    QStringList files;
    for (const QString& arg : args) {
        if (arg == QLatin1String("--all"))
            all = true;
        else if (arg == QLatin1String("--csv"))
            csv = true;
        else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1)
            return err << "quorlink channels: unknown option " << arg << "\n", 2;
        else
            files << arg;
    }
    if (files.size() != 1) {
        err << "quorlink channels: give one image file\n"
            << "Usage: quorlink channels FILE [--all] [--csv]\n";
        return 2;
    }
    LoadedImage loaded;
    QString error;
    if (!LoadImageFile(files[0], loaded, &error)) {
        err << error << "\n";
        return 3;
    }
    const QList<Channel> channels = DecodeChannels(loaded.image);
    if (csv) {
        out << ChannelsCsv(channels, all);
        return 0;
    }
    out << ChannelsTable(channels, all) << "\n"
        << UsedChannelCount(channels) << " of " << channels.size() << " channels used\n";
    for (const Bank& bank : DecodeBanks(loaded.image)) {
        if (!bank.inUse && !all)
            continue;
        QStringList members;
        for (int number : bank.members)
            members << QString::number(number);
        out << "Bank " << bank.number << " " << bank.name << ": "
            << (members.isEmpty() ? QStringLiteral("no channels") : members.join(' ')) << "\n";
    }
    return 0;
}

void PrintChannelComparison(const QByteArray& a, const QByteArray& b, QTextStream& out) {
    if (a == b) {
        out << "identical\n";
        return;
    }
    for (const QString& line : ChannelComparison(a, b))
        out << line << "\n";
    const int blocks = OtherDifferingBlocks(a, b);
    out << "other memory differs in " << blocks << (blocks == 1 ? " block\n" : " blocks\n");
}
