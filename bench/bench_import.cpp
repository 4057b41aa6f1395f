// Prints the CPU time of taking a 900-row channel CSV into an image: in process (reading the
// CSV with every field validated, then encoding the 900 channels), and as `quorlink import
// IMAGE CSV --output OUT` when the program's path is given (bench_import [path/to/quorlink]).
// The targets are at most 50 ms of CPU in process and 100 ms for the whole command.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchtimes.h"
#include "image/imagefile.h"
#include "image/memorymap.h"
#include "memory/channelcsv.h"
#include "memory/channeledit.h"

extern char** environ;

using bench::cpuMs;
using bench::selfCpuMs;

namespace {

// 900 rows in the exchanged layout: 12.5 and 6.25 kHz channels, names of 8 characters,
// every duplex, tone mode, mode, power and skip.
QString FullCsv() {
    const char* duplexes[] = {"", "-", "+", "split"};
    const char* toneModes[] = {"", "Tone", "TSQL", "DTCS"};
    const char* modes[] = {"FM", "AM", "WFM"};
    const char* powers[] = {"5.0W", "2.5W", "1.0W", "0.1W"};
    const char* skips[] = {"", "S", "P"};
    QString csv = QStringLiteral(
        "Location,Name,Frequency,Duplex,Offset,Tone,rToneFreq,cToneFreq,DtcsCode,DtcsPolarity,"
        "RxDtcsCode,CrossMode,Mode,TStep,Skip,Power,Comment,URCALL,RPT1CALL,RPT2CALL,DVCODE\n");
    for (int i = 0; i < 900; ++i) {
        const double mhz = 144.0 + i * (i % 2 ? 0.00625 : 0.0125);
        csv += QStringLiteral(
                   "%1,Chan %2,%3,%4,%5,%6,88.5,100.0,%7,NN,%7,Tone->Tone,%8,%9,%10,%11,"
                   ",,,,\n")
                   .arg(i + 1)
                   .arg(i, 3, 10, QLatin1Char('0'))
                   .arg(mhz, 0, 'f', 6)
                   .arg(QString::fromLatin1(duplexes[i % 4]))
                   .arg(i % 4 == 3 ? QStringLiteral("440.000000") : QStringLiteral("0.600000"))
                   .arg(QString::fromLatin1(toneModes[i % 4]))
                   .arg(i % 2 ? QStringLiteral("023") : QStringLiteral("754"))
                   .arg(QString::fromLatin1(modes[i % 3]))
                   .arg(i % 2 ? QStringLiteral("6.25") : QStringLiteral("12.50"))
                   .arg(QString::fromLatin1(skips[i % 3]))
                   .arg(QString::fromLatin1(powers[i % 4]));
    }
    return csv;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QByteArray blank(CloneLayout::kImageSize, '\0');
    blank.replace(0, 5, "AH029");
    FixSums(blank);  // a sound image: import refuses one whose sums disagree
    const QString csv = FullCsv();

    constexpr int kRuns = 50;
    std::vector<double> inProcess;
    int imported = 0;
    for (int i = 0; i < kRuns; ++i) {
        QByteArray image = blank;
        const double t0 = selfCpuMs();
        const CsvImport import = ParseChannelsCsv(csv);
        ApplyChannelsCsv(image, import, false);
        MemoryMap::RefreshSumsFor(blank, image);
        inProcess.push_back(selfCpuMs() - t0);
        imported = int(import.channels.size()) + int(import.refusals.size()) * 1000;
    }
    if (imported != 900) {
        std::printf("the CSV did not import whole (%d)\n", imported);
        return 1;
    }
    std::printf(
        "900-row CSV read, validated and encoded in process: median %.2f ms CPU, max %.2f ms "
        "(%d runs)\n",
        median(inProcess), *std::max_element(inProcess.begin(), inProcess.end()), kRuns);

    if (argc < 2)
        return 0;
    QTemporaryDir dir;
    const QString imagePath = dir.filePath(QStringLiteral("full.img"));
    const QString csvPath = dir.filePath(QStringLiteral("full.csv"));
    QFile imageFile(imagePath), csvFile(csvPath);
    if (!imageFile.open(QIODevice::WriteOnly) || imageFile.write(blank) != blank.size() ||
        !csvFile.open(QIODevice::WriteOnly) || csvFile.write(csv.toUtf8()) < 0)
        return 1;
    imageFile.close();
    csvFile.close();
    const QByteArray program = argv[1], image = imagePath.toLocal8Bit(),
                     list = csvPath.toLocal8Bit(),
                     output = dir.filePath(QStringLiteral("out.img")).toLocal8Bit();
    std::vector<double> runs;
    for (int i = 0; i < 20; ++i) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        char* args[] = {const_cast<char*>(program.constData()),
                        const_cast<char*>("import"),
                        const_cast<char*>(image.constData()),
                        const_cast<char*>(list.constData()),
                        const_cast<char*>("--output"),
                        const_cast<char*>(output.constData()),
                        const_cast<char*>("--force"),  // the run before left OUT
                        nullptr};
        pid_t pid = 0;
        if (posix_spawn(&pid, args[0], &actions, nullptr, args, environ) != 0)
            return 1;
        posix_spawn_file_actions_destroy(&actions);
        int status = 0;
        rusage u{};
        wait4(pid, &status, 0, &u);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::printf("%s import failed (status %d)\n", args[0], status);
            return 1;
        }
        runs.push_back(cpuMs(u));
    }
    std::printf(
        "quorlink import IMAGE CSV --output OUT --force, whole process: median %.1f ms CPU, max "
        "%.1f ms "
        "(%zu runs)\n",
        median(runs), *std::max_element(runs.begin(), runs.end()), runs.size());
    return 0;
}
