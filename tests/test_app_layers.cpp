#include <QDirIterator>
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
        const QDir root(qEnvironmentVariable("QUORLINK_LAYERS_ROOT", QUORLINK_SOURCE_DIR));
        const QStringList order{"core", "link", "clone", "sim", "cli", "windows", "main"};
        auto layerOf = [&](const QString& path) {
            const QString top = path.section('/', 0, 0);
            if (path.startsWith("app/main_"))
                return 6;
            if (QStringList{"ui", "diag", "gui", "app"}.contains(top))
                return 5;
            return int(order.indexOf(top));  // cli and the windows are side by side
        };
        // Qt's window classes: a layer below the windows that names one needs a display.
        const QRegularExpression widgets(
            "^<(QtWidgets/.*|QtGui/.*|Q(Widget|Application|GuiApplication|Dialog|MainWindow|Label|"
            "PushButton|GroupBox|ProgressBar|MessageBox|Menu|MenuBar|Action|PlainTextEdit|Screen|"
            "Font|ComboBox|LineEdit|TextEdit|Icon|Pixmap))>$");
        const QRegularExpression include("^\\s*#\\s*include\\s*([<\"][^>\"]+[>\"])",
                                         QRegularExpression::MultilineOption);
        // Above the link only the Transport interface is known, never which kind it is.
        const QRegularExpression concreteTransport("\\b(Com|Ftdi)Transport\\b");
        QStringList violations;
        int files = 0;
        QDirIterator it(root.path(), {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = root.relativeFilePath(it.next());
            const int from = layerOf(rel);
            if (from < 0)
                continue;  // tests, benchmarks, build trees
            ++files;
            QFile file(it.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            if (from != 1 && concreteTransport.match(text).hasMatch())
                violations << rel + " names a concrete transport";
            for (const auto& m : include.globalMatch(text)) {
                const QString target = m.captured(1);
                const int to = layerOf(target.mid(1, target.size() - 2));
                // The command line starts a QGuiApplication, on the offscreen platform, for the
                // PDF writer's fonts.
                const bool guiForPdf =
                    rel == "cli/commandline.cpp" && target == "<QGuiApplication>";
                const bool bad = target.startsWith('<')
                                     ? from < 5 && widgets.match(target).hasMatch() && !guiForPdf
                                     : to > from || (from == 5 && to == 4);
                if (bad)
                    violations << rel + " includes " + target;
            }
        }
        QVERIFY2(files > 40,
                 qPrintable(QString("only %1 files under %2").arg(files).arg(root.path())));
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join('\n')));
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "test_app_layers.moc"
