// Prints the CPU time of decoding a full image's 900 channels and writing them as CSV: in
// process, and as `quorlink channels FILE --csv` when the program's path is given
// (bench_channels [path/to/quorlink]). The target is under 50 ms of CPU for the command.
// Also prints how long the channel editor takes to open on that image (target 100 ms) and
// to commit one cell edit (target 5 ms) and to switch between the channels, the skip-search
// and the PMS memories (target 50 ms), on the offscreen platform unless another is set; and
// the whole `quorlink channels FILE` against `quorlink channels FILE --list pms`, which should
// take less.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <QAbstractItemModel>
#include <QApplication>
#include <QByteArray>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QUndoStack>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchtimes.h"
#include "core/context.h"
#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "memory/channelcsv.h"
#include "memory/channels.h"
#include "ui/frmchannels.h"

extern char** environ;

using bench::cpuMs;
using bench::selfCpuMs;

namespace {

uchar bcd(int twoDigits) {
    return uchar(((twoDigits / 10) << 4) | (twoDigits % 10));
}

// An AH029 image in file order with all 900 channels and both lists in use: 12.5 kHz frequencies
// (so that the lost fraction is put back), names of 8 characters, tones, DCS, every mode.
QByteArray FullImage() {
    QByteArray image(65227, '\0');
    image.replace(0, 5, "AH029");
    for (int i = 0; i < ChannelLayout::kSlotCount; ++i) {
        image[ChannelLayout::kFlagsOffset + i] = char(0x03 | (i % 3 == 0 ? 0x04 : 0));
        uchar* r = reinterpret_cast<uchar*>(image.data()) + ChannelLayout::kChannelsOffset +
                   i * ChannelLayout::kChannelSize;
        const int khz = 144000 + i * 25 / 2;
        r[1] = uchar(((i % 4) << 6) | ((i % 4) << 4) | (i % 16));
        r[2] = bcd(khz / 10000), r[3] = bcd(khz / 100 % 100), r[4] = bcd(khz % 100);
        r[5] = uchar(((i % 4) << 6) | (i % 4));
        for (int c = 0; c < 16; ++c)
            r[8 + c] = c < 8 ? uchar((i + c * 7) % 80) : 0xFF;
        r[25] = bcd(6), r[27] = uchar(i % 50), r[28] = uchar(i % 104);
    }
    return image;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Wall-clock milliseconds: the editor's figures are what a user waits.
void editorFigures(const QByteArray& image) {
    CloneState clone;
    clone.image = CloneImage(image);
    ImageEdits edits(clone);
    std::vector<double> opens, commits, switches;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        FrmChannels window(edits);
        window.show();
        QCoreApplication::processEvents();
        opens.push_back(timer.nsecsElapsed() / 1e6);
        if (i > 0)
            continue;
        for (int s = 1; s <= 30; ++s) {
            timer.restart();
            window.cboList->setCurrentIndex(s % 3);
            QCoreApplication::processEvents();
            switches.push_back(timer.nsecsElapsed() / 1e6);
        }
        window.cboList->setCurrentIndex(0);
        QAbstractItemModel& rows = *window.grdChannels->model();
        for (int n = 0; n < 100; ++n) {
            timer.restart();
            rows.setData(rows.index(0, int(ChannelField::Name)),
                         QStringLiteral("EDIT%1").arg(n % 2));
            QCoreApplication::processEvents();
            commits.push_back(timer.nsecsElapsed() / 1e6);
        }
    }
    std::printf("editor opens on a full image: median %.1f ms, max %.1f ms (%zu runs)\n",
                median(opens), *std::max_element(opens.begin(), opens.end()), opens.size());
    std::printf("an edit commits: median %.2f ms, max %.2f ms (%zu edits, %d undo steps)\n",
                median(commits), *std::max_element(commits.begin(), commits.end()), commits.size(),
                edits.stack().count());
    std::printf("switching lists: median %.1f ms, max %.1f ms (%zu switches)\n", median(switches),
                *std::max_element(switches.begin(), switches.end()), switches.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The offscreen platform's notes about window hints would bury the figures.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    const QByteArray image = FullImage();

    constexpr int kRuns = 200;
    std::vector<double> inProcess;
    qsizetype csvSize = 0;
    for (int i = 0; i < kRuns; ++i) {
        const double t0 = selfCpuMs();
        csvSize = ChannelsCsv(DecodeChannels(image), false).size();
        inProcess.push_back(selfCpuMs() - t0);
    }
    std::printf("decode + CSV in process: median %.2f ms CPU, max %.2f ms (%d runs, %lld chars)\n",
                median(inProcess), *std::max_element(inProcess.begin(), inProcess.end()), kRuns,
                static_cast<long long>(csvSize));
    editorFigures(image);

    if (argc < 2)
        return 0;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("full.img"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();
    const QByteArray program = argv[1], filePath = path.toLocal8Bit();
    // The CPU of the whole process, median and max of 20 runs; negative when it failed.
    const auto command = [&](std::vector<const char*> extra) {
        std::vector<double> runs;
        std::vector<char*> args = {const_cast<char*>(program.constData()),
                                   const_cast<char*>("channels"),
                                   const_cast<char*>(filePath.constData())};
        for (const char* arg : extra)
            args.push_back(const_cast<char*>(arg));
        args.push_back(nullptr);
        for (int i = 0; i < 20; ++i) {
            posix_spawn_file_actions_t actions;
            posix_spawn_file_actions_init(&actions);
            posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
            pid_t pid = 0;
            const int spawned = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
            posix_spawn_file_actions_destroy(&actions);
            int status = 0;
            rusage u{};
            if (spawned != 0 || wait4(pid, &status, 0, &u) < 0 || !WIFEXITED(status) ||
                WEXITSTATUS(status) != 0)
                return std::pair{-1.0, -1.0};
            runs.push_back(cpuMs(u));
        }
        return std::pair{median(runs), *std::max_element(runs.begin(), runs.end())};
    };
    for (const std::vector<const char*>& extra :
         {std::vector<const char*>{"--csv"}, {}, {"--list", "pms"}}) {
        QStringList shown{QString()};  // each argument after a space
        for (const char* arg : extra)
            shown << QString::fromLatin1(arg);
        const auto [med, max] = command(extra);
        if (med < 0) {
            std::printf("%s channels FILE%s failed\n", argv[1], qPrintable(shown.join(' ')));
            return 1;
        }
        std::printf(
            "quorlink channels FILE%s, whole process: median %.1f ms CPU, max %.1f ms "
            "(20 runs)\n",
            qPrintable(shown.join(' ')), med, max);
    }
    return 0;
}
