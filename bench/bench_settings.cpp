// Prints the times of the radio settings: the Radio Settings window opened on a full VX-8DR
// image (target 100 ms) and one change committed in it (5 ms), on the offscreen platform
// unless another is set; and, given the program's path (bench_settings [path/to/quorlink]),
// the whole process of `quorlink settings IMAGE` (50 ms) and of `--set` of one key (60 ms).
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "benchtimes.h"
#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "memory/settings.h"
#include "ui/frmsettings.h"

using bench::median;
using bench::print;
using bench::runMs;

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // A VX-8DR image with every setting at its lowest offered value, and sound sums.
    QByteArray image(CloneLayout::kImageSize, '\0');
    image.replace(0, 5, "AH29D");
    for (const SettingRow& row : SettingRows(MemoryMap::Model::VX8DR))
        SetSetting(image, row, row.kind == SettingKind::List ? row.labels.value(0) : QString());
    FixSums(image);

    CloneState clone;
    clone.image = CloneImage(image);
    ImageEdits edits(clone);
    std::vector<double> open, commit;
    for (int i = 0; i < 20; ++i) {
        QElapsedTimer timer;
        timer.start();
        auto* window = new FrmSettings(edits);
        window->show();
        QCoreApplication::processEvents();
        open.push_back(timer.nsecsElapsed() / 1e6);
        auto* squelch = window->findChild<QSpinBox*>(QStringLiteral("scan.squelch_a"));
        timer.restart();
        squelch->setValue(1 + i % 15);
        commit.push_back(timer.nsecsElapsed() / 1e6);
        delete window;
    }
    print("Radio Settings window opened on a VX-8DR image", open);
    print("one change committed", commit);

    if (argc < 2)
        return 0;
    QTemporaryDir dir;
    const QByteArray path = dir.filePath(QStringLiteral("dr.img")).toLocal8Bit();
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(image) != image.size())
        return 1;
    file.close();
    std::vector<double> printed, set;
    for (int i = 0; i < 20; ++i) {
        printed.push_back(runMs({argv[1], "settings", path}));
        set.push_back(runMs(
            {argv[1], "settings", path, "--set", "scan.squelch_a=" + QByteArray::number(i % 16)}));
    }
    if (std::min(*std::min_element(printed.begin(), printed.end()),
                 *std::min_element(set.begin(), set.end())) < 0) {
        std::printf("%s settings failed\n", argv[1]);
        return 1;
    }
    print("quorlink settings IMAGE, whole process", printed);
    print("quorlink settings IMAGE --set KEY=VALUE, whole process", set);
    return 0;
}
