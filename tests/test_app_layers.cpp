#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// The layers, bottom up; every include points down or stays in its own group. The
// transfers, the link and the core never see a window, so the command line needs no display.
//   core < link < clone < sim < {cli | windows: ui, diag, gui, app} < app/main_*.cpp
namespace {

struct Group {
    QString name;
    int rank;
};

Group groupOf(const QString& path) {
    const QString folder = path.section(QLatin1Char('/'), 0, 0);
    if (folder == QLatin1String("app") &&
        path.section(QLatin1Char('/'), 1).startsWith(QLatin1String("main_")))
        return {QStringLiteral("main"), 5};
    static const QHash<QString, Group> groups = {
        {"core", {"core", 0}},    {"link", {"link", 1}},   {"clone", {"clone", 2}},
        {"sim", {"sim", 3}},      {"cli", {"cli", 4}},     {"ui", {"windows", 4}},
        {"diag", {"windows", 4}}, {"gui", {"windows", 4}}, {"app", {"windows", 4}},
    };
    return groups.value(folder, {QString(), -1});
}

// Qt's window classes: a layer below the windows that names one needs a display.
const QRegularExpression kWidgetHeader(QStringLiteral(
    "^<(QtWidgets/.*|QtGui/.*|Q(Widget|Application|GuiApplication|Dialog|MainWindow|Label|"
    "PushButton|GroupBox|ProgressBar|MessageBox|Menu|MenuBar|Action|PlainTextEdit|Screen|"
    "Font|ComboBox|LineEdit|TextEdit|Icon|Pixmap))>$"));

// Every include of the source tree at `root` that breaks the layers, one line each.
QStringList layerViolations(const QString& root, int* filesSeen) {
    QStringList found;
    const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s*([<\"][^>\"]+[>\"])"),
                                     QRegularExpression::MultilineOption);
    QDirIterator it(root, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString rel = QDir(root).relativeFilePath(it.next());
        const Group from = groupOf(rel);
        if (from.rank < 0)
            continue;  // tests, benchmarks, build trees
        ++*filesSeen;
        QFile file(it.filePath());
        if (!file.open(QIODevice::ReadOnly))
            return {rel + QStringLiteral(": cannot be read")};
        auto matches = include.globalMatch(QString::fromUtf8(file.readAll()));
        while (matches.hasNext()) {
            const QString target = matches.next().captured(1);
            bool bad = false;
            if (target.startsWith(QLatin1Char('<'))) {
                bad = from.name != QLatin1String("windows") && from.name != QLatin1String("main") &&
                      kWidgetHeader.match(target).hasMatch();
            } else {
                const Group to = groupOf(target.mid(1, target.size() - 2));
                bad = to.rank >= 0 && to.name != from.name && to.rank >= from.rank;
            }
            if (bad)
                found << rel + QStringLiteral(" includes ") + target;
        }
    }
    return found;
}

}  // namespace

class LayersTest : public QObject {
    Q_OBJECT
private slots:
    void nothingPointsUp() {
        // QUORLINK_LAYERS_ROOT checks another tree (an older checkout) with the same rules.
        const QString root = qEnvironmentVariable("QUORLINK_LAYERS_ROOT", QUORLINK_SOURCE_DIR);
        int files = 0;
        const QStringList violations = layerViolations(root, &files);
        QVERIFY2(files > 40,
                 qPrintable(QStringLiteral("only %1 files under %2").arg(files).arg(root)));
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join(QLatin1Char('\n'))));
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "test_app_layers.moc"
