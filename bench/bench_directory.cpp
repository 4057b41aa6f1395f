// Prints the time of taking the repeaters near a point from a repeater directory export of
// 20 000 entries (some 30 MB of JSON) into an image: in process (reading the file, the JSON,
// filtering by distance, placing and storing the 200 channels within 50 km, the sums), the
// window's preview opening on it, and, when the program's path is given
// (bench_directory [path/to/quorlink]), `quorlink import IMAGE DIR.json --near 40,-75
// --within 50 --output OUT` as a whole process. The targets are 300 ms for the whole process
// and 200 ms for the preview, in a Release build.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchtimes.h"
#include "image/imagefile.h"
#include "image/memorymap.h"
#include "memory/channelimport.h"
#include "sources/importfile.h"
#include "sources/repeaterbook.h"
#include "ui/importpreview.h"

extern char** environ;

using bench::cpuMs;
using bench::selfCpuMs;

namespace {

constexpr int kEntries = 20'000, kNear = 200;

// 20 000 entries with every field the export carries: the first 200 within 50 km of
// 40° N 75° W, the others farther than 150 km; a tenth off the air, a tenth digital only.
QByteArray Directory() {
    QJsonArray results;
    quint32 seed = 12345;
    auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
    for (int i = 0; i < kEntries; ++i) {
        const bool near = i < kNear;
        const double lat =
            near ? 40.0 + (next() % 600) / 1000.0 - 0.3 : 41.5 + (next() % 6000) / 1000.0;
        const double lon =
            near ? -75.0 + (next() % 600) / 1000.0 - 0.3 : -120.0 + (next() % 40000) / 1000.0;
        const double mhz = i % 2 ? 146.0 + (next() % 160) * 0.015 : 442.0 + (next() % 300) * 0.025;
        const bool vhf = mhz < 200;
        const QString out = QString::number(mhz, 'f', 5);
        const QString in = QString::number(mhz + (vhf ? -0.6 : 5.0), 'f', 5);
        static const char* const kTones[] = {"67.0",  "71.9",  "77.0",  "82.5",  "88.5",
                                             "94.8",  "100.0", "107.2", "114.8", "123.0",
                                             "131.8", "141.3", "151.4", "162.2", "173.8"};
        const QString tone = QString::fromLatin1(kTones[next() % 15]);
        results.append(QJsonObject{
            {"State ID", "42"},
            {"Rptr ID", QString::number(10000 + i)},
            {"Frequency", out},
            {"Input Freq", in},
            {"PL", tone},
            {"TSQ", i % 3 ? tone : QString()},
            {"Nearest City", QStringLiteral("City Number %1").arg(i)},
            {"Landmark", i % 4 ? QString() : QStringLiteral("Hill %1").arg(i)},
            {"Region", ""},
            {"State", "Pennsylvania"},
            {"Country", "United States"},
            {"Lat", QString::number(lat, 'f', 4)},
            {"Long", QString::number(lon, 'f', 4)},
            {"Precise", "0"},
            {"Callsign", QStringLiteral("W%1ABC").arg(i % 10)},
            {"Use", i % 7 ? "OPEN" : "CLOSED"},
            {"Operational Status", near || i % 10 ? "On-air" : "Off-air"},
            {"AllStar Node", ""},
            {"EchoLink Node", i % 5 ? "" : QString::number(100000 + i)},
            {"IRLP Node", ""},
            {"Wires Node", ""},
            {"FM Analog", near || i % 10 != 1 ? "Yes" : "No"},
            {"FM Bandwidth", "25 kHz"},
            {"DMR", i % 10 == 1 ? "Yes" : "No"},
            {"DMR Color Code", ""},
            {"DMR ID", ""},
            {"D-Star", "No"},
            {"NXDN", "No"},
            {"APCO P-25", "No"},
            {"P-25 NAC", ""},
            {"M17", "No"},
            {"M17 CAN", ""},
            {"Tetra", "No"},
            {"Tetra MCC", ""},
            {"Tetra MNC", ""},
            {"System Fusion", "No"},
            {"Notes", QStringLiteral("Linked to the county net; weekly net Tuesdays 8 pm.")},
            {"Last Update", "2026-11-02"},
        });
    }
    return QJsonDocument(QJsonObject{{"count", QString::number(kEntries)}, {"results", results}})
        .toJson(QJsonDocument::Compact);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QByteArray blank(CloneLayout::kImageSize, '\0');
    blank.replace(0, 5, "AH029");
    FixSums(blank);
    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("blank.img"));
    const QString jsonPath = dir.filePath(QStringLiteral("directory.json"));
    const QByteArray json = Directory();
    QFile imageFile(imagePath), jsonFile(jsonPath);
    if (!imageFile.open(QIODevice::WriteOnly) || imageFile.write(blank) != blank.size() ||
        !jsonFile.open(QIODevice::WriteOnly) || jsonFile.write(json) != json.size())
        return 1;
    imageFile.close();
    jsonFile.close();

    constexpr int kRuns = 5;
    std::vector<double> storing, storingCpu, preview, previewCpu;
    qsizetype stored = 0;
    for (int i = 0; i < kRuns; ++i) {
        QElapsedTimer timer;
        timer.start();
        double cpu = selfCpuMs();
        QByteArray bytes;
        QList<DirectoryEntry> entries;
        QString error;
        if (!ReadImportFile(jsonPath, &bytes, &error) ||
            !ReadRepeaterDirectory(bytes, &entries, &error)) {
            std::printf("%s\n", qPrintable(error));
            return 1;
        }
        CsvImport import = DirectoryChannels(entries, {std::make_pair(40.0, -75.0), 50});
        QByteArray image = blank;
        PlaceImport(image, import, ChannelList::Channels, 1, false);
        ApplyChannelsCsv(image, import, false);
        MemoryMap::RefreshSumsFor(blank, image);
        storing.push_back(timer.nsecsElapsed() / 1e6);
        storingCpu.push_back(selfCpuMs() - cpu);
        stored = import.channels.size();

        // The window has read the file when its preview opens.
        timer.restart();
        cpu = selfCpuMs();
        ImportPreview dialog(nullptr, blank, entries, std::make_pair(40.0, -75.0));
        dialog.show();
        app.processEvents();
        preview.push_back(timer.nsecsElapsed() / 1e6);
        previewCpu.push_back(selfCpuMs() - cpu);
    }
    if (stored != kNear) {
        std::printf("%lld channels stored, not %d\n", qlonglong(stored), kNear);
        return 1;
    }
    std::printf(
        "directory of %d entries (%.1f MB) read, filtered by distance, %d channels "
        "stored, in process: median %.1f ms CPU, %.1f ms elapsed (%d runs)\n",
        kEntries, json.size() / 1e6, kNear, median(storingCpu), median(storing), kRuns);
    std::printf("the preview opening on it: median %.1f ms CPU, %.1f ms elapsed (%d runs)\n",
                median(previewCpu), median(preview), kRuns);
    if (argc < 2)
        return 0;
    const QByteArray program = argv[1], image = imagePath.toLocal8Bit(),
                     list = jsonPath.toLocal8Bit(),
                     output = dir.filePath(QStringLiteral("out.img")).toLocal8Bit();
    std::vector<double> runs, runsCpu;
    for (int i = 0; i < kRuns; ++i) {
        const char* args[] = {program.constData(), "import",  image.constData(),
                              list.constData(),    "--near",  "40,-75",
                              "--within",          "50",      "--output",
                              output.constData(),  "--force", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        QElapsedTimer timer;
        timer.start();
        pid_t pid = 0;
        if (posix_spawn(&pid, args[0], &actions, nullptr, const_cast<char**>(args), environ) != 0)
            return 1;
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage u{};
        wait4(pid, &status, 0, &u);
        runs.push_back(timer.nsecsElapsed() / 1e6);
        runsCpu.push_back(cpuMs(u));
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("%s import failed (status %d)\n", args[0], status);
            return 1;
        }
    }
    std::printf(
        "quorlink import IMAGE DIR.json --near 40,-75 --within 50 --output OUT, whole "
        "process: median %.1f ms CPU, %.1f ms elapsed (%zu runs)\n",
        median(runsCpu), median(runs), runs.size());
    return 0;
}
