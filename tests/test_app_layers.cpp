#include <QDirIterator>
#include <QRegularExpression>
#include <QtTest>

// The build keeps the folders' order (an include that points up does not compile). What it
// cannot see: below the windows nothing names a window or display class, not even one of
// Qt's GUI module, which the printing layer's PDF needs, so the command line runs without a
// display; and above the link only the Transport interface is known, never which kind.
class LayersTest : public QObject {
    Q_OBJECT
private slots:
    void whatTheBuildCannotSee() {
        const QDir root(QUORLINK_SOURCE_DIR);
        const QStringList belowWindows{"core",  "aprs", "link", "image",    "sources", "memory",
                                       "print", "edit", "transfer", "sim",     "cli"};
        const QRegularExpression windowClass(
            "^<(QtWidgets/.*|QtGui/.*|Q(Widget|Application|GuiApplication|Dialog|MainWindow|Label|"
            "PushButton|GroupBox|ProgressBar|MessageBox|Menu|MenuBar|Action|PlainTextEdit|Screen|"
            "Font|ComboBox|LineEdit|TextEdit|Icon|Pixmap))>$");
        const QRegularExpression include("^\\s*#\\s*include\\s*(<[^>]+>)",
                                         QRegularExpression::MultilineOption);
        const QRegularExpression concreteTransport("\\b(Com|Ftdi)Transport\\b");
        QStringList violations;
        int files = 0;
        QDirIterator it(root.path(), {"*.h", "*.cpp"}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString rel = root.relativeFilePath(it.next());
            const QString top = rel.section('/', 0, 0);
            if (rel.count('/') != 1 || QStringList{"tests", "bench", "build"}.contains(top))
                continue;
            ++files;
            QFile file(it.filePath());
            QVERIFY(file.open(QIODevice::ReadOnly));
            const QString text = QString::fromUtf8(file.readAll());
            if (top != "link" && concreteTransport.match(text).hasMatch())
                violations << rel + " names a concrete transport";
            if (!belowWindows.contains(top))
                continue;
            for (const auto& m : include.globalMatch(text)) {
                // The command line starts a QGuiApplication, on the offscreen platform, for
                // the PDF writer's fonts.
                const bool guiForPdf =
                    rel == "cli/commandline.cpp" && m.captured(1) == "<QGuiApplication>";
                if (windowClass.match(m.captured(1)).hasMatch() && !guiForPdf)
                    violations << rel + " includes " + m.captured(1);
            }
        }
        // The main window's parts are handed what they need, never the window itself: nothing
        // it includes from app/ includes it back.
        const QRegularExpression appInclude("^\\s*#\\s*include\\s*\"app/(\\w+)\\.h\"",
                                            QRegularExpression::MultilineOption);
        auto appIncludes = [&](const QString& rel) {
            QFile file(root.filePath(rel));
            QStringList names;
            if (file.open(QIODevice::ReadOnly))
                for (const auto& m : appInclude.globalMatch(QString::fromUtf8(file.readAll())))
                    names << m.captured(1);
            return names;
        };
        for (const QString& part : appIncludes("app/form1.h") + appIncludes("app/form1.cpp"))
            for (const QString& rel : {"app/" + part + ".h", "app/" + part + ".cpp"})
                if (part != "form1" && appIncludes(rel).contains("form1"))
                    violations << rel + " includes app/form1.h";
        QVERIFY2(files > 40,
                 qPrintable(QString("only %1 files under %2").arg(files).arg(root.path())));
        QVERIFY2(violations.isEmpty(), qPrintable(violations.join('\n')));
    }

    // ARCHITECTURE.md's drawing and table of the layers are what CMakeLists.txt links: each
    // folder on the line of its longest chain down to core, and its links named in its row.
    void layersAsBuilt() {
        const auto read = [](const QString& name) {
            QFile file(QStringLiteral(QUORLINK_SOURCE_DIR "/") + name);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        const auto lines = [](const QString& pattern, const QString& text) {
            return QRegularExpression(pattern, QRegularExpression::MultilineOption)
                .globalMatch(text);
        };
        QMap<QString, QStringList> built, drawnLinks;
        for (const auto& m : lines("^quorlink_folder\\((\\w+)([^)]*)\\)", read("CMakeLists.txt")))
            for (const QString& to : m.captured(2).split(' ', Qt::SkipEmptyParts))
                if (!to.startsWith('$'))
                    built[m.captured(1)] << QString(to).remove(QRegularExpression("^quorlink_"));
        std::function<int(const QString&)> height = [&](const QString& folder) {
            int h = 0;
            for (const QString& to : built.value(folder))
                h = built.contains(to) ? std::max(h, height(to) + 1) : h;
            return h;
        };
        QMap<int, QStringList> heights, drawn;
        for (const QString& folder : built.keys())
            heights[height(folder)] << folder;
        const QString layers =
            read("ARCHITECTURE.md").section("\n## Layers", 1).section("\n## ", 0, 0);
        for (const auto& m : lines("^(\\d+) +([a-z ]+)$", layers))
            drawn[m.captured(1).toInt()] = m.captured(2).split(' ', Qt::SkipEmptyParts);
        for (const auto& m : lines("^\\| `(\\w+)` \\|([^|]*)\\|$", layers))
            for (const auto& to : lines("`([\\w:]+)`", m.captured(2)))
                drawnLinks[m.captured(1)] << to.captured(1);
        for (auto* map : {&built, &drawnLinks})
            for (QStringList& to : *map)
                to.sort();
        for (QStringList& folders : drawn)
            folders.sort();
        QVERIFY(built.size() >= 11);
        QCOMPARE(drawn, heights);
        QCOMPARE(drawnLinks, built);
    }
};

QTEST_GUILESS_MAIN(LayersTest)
#include "test_app_layers.moc"
