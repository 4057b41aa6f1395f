#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QtTest>

// The layers, bottom up; every include points down or stays in its own group. The
// transfers, the link and the core never see a window, so the command line needs no display.
//   core < link < clone < sim < {cli | windows: ui, diag, gui, app} < app/main_*.cpp
class LayersTest : public QObject {
    Q_OBJECT
private slots:
    void nothingPointsUp() {
        // QUORLINK_LAYERS_ROOT checks another tree (an older checkout) with the same rules.
        const QString root = qEnvironmentVariable("QUORLINK_LAYERS_ROOT", QUORLINK_SOURCE_DIR);
        const QHash<QString, std::pair<QString, int>> groups = {
            {"core", {"core", 0}},    {"link", {"link", 1}},   {"clone", {"clone", 2}},
            {"sim", {"sim", 3}},      {"cli", {"cli", 4}},     {"ui", {"windows", 4}},
            {"diag", {"windows", 4}}, {"gui", {"windows", 4}}, {"app", {"windows", 4}}};
        auto groupOf = [&](const QString& path) -> std::pair<QString, int> {
            if (path.startsWith("app/main_"))
                return {"main", 5};
            return groups.value(path.section('/', 0, 0), {QString(), -1});
        };
        // Qt's window classes: a layer below the windows that names one needs a display.
        const QRegularExpression widgets(
            "^<(QtWidgets/.*|QtGui/.*|Q(Widget|Application|GuiApplication|Dialog|MainWindow|Label|"
            "PushButton|GroupBox|ProgressBar|MessageBox|Menu|MenuBar|Action|PlainTextEdit|Screen|"
            "Font|ComboBox|LineEdit|TextEdit|Icon|Pixmap))>$");
        const QRegularExpression include("^\\s*#\\s*include\\s*([<\"][^>\"]+[>\"])",
                                         QRegularExpression::MultilineOption);
        QStringList violations;
        int files = 0;
        QDirIterator it(root, {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = QDir(root).relativeFilePath(it.next());
            const auto from = groupOf(rel);
            if (from.second < 0)
                continue;  // tests, benchmarks, build trees
            ++files;
            QFile file(it.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            auto matches = include.globalMatch(QString::fromUtf8(file.readAll()));
            while (matches.hasNext()) {
                const QString target = matches.next().captured(1);
                const auto to = groupOf(target.mid(1, target.size() - 2));
                const bool bad =
                    target.startsWith('<')
                        ? from.first != "windows" && from.first != "main" &&
                              widgets.match(target).hasMatch()
                        : to.second >= 0 && to.first != from.first && to.second >= from.second;
                if (bad)
                    violations << rel + " includes " + target;
            }
        }
        QVERIFY2(files > 40, qPrintable(QString("only %1 files under %2").arg(files).arg(root)));
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join('\n')));
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "test_app_layers.moc"
