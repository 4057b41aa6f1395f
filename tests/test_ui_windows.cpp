// The windows on a 1024 x 768 screen at 150 % (QT_SCALE_FACTOR=1.5): the prompt window, the
// About box, the system font, every window's size, and every window as built (its controls,
// menus and tables against golden/windows.txt; QUORLINK_GOLDEN_OUT=FILE writes what a run saw).

#include <QAbstractItemView>
#include <QComboBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>

#include "diag/comportdiag.h"
#include "diag/ftdidiag.h"
#include "image/cloneimage.h"
#include "sim/demo.h"
#include "support/golden.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/fontface.h"
#include "ui/frmabout.h"
#include "ui/frmchannels.h"
#include "ui/frmmessages.h"
#include "ui/frmsettings.h"
#include "ui/frmstations.h"
#include "ui/importpreview.h"

namespace {

// A window as built, one line per control and menu entry: its class and name, its place
// where it is placed by hand, what it shows, and whether it is off, hidden or checked.
QString controlLine(const QObject* o) {
    QString line = QString(o->metaObject()->className()) + ' ' + o->objectName();
    const auto* w = qobject_cast<const QWidget*>(o);
    const QWidget* parent = w ? w->parentWidget() : nullptr;
    // Where a layout or a splitter places a control, its place depends on the fonts.
    if (parent && !parent->layout() && !parent->inherits("QSplitter") &&
        !parent->objectName().startsWith("qt_") && !w->isWindow())
        line += QString::asprintf(" @%d,%d,%d,%d", w->x(), w->y(), w->width(), w->height());
    const char* shows = o->inherits("QGroupBox") ? "title"
                        : o->inherits("QMenu")   ? "title"
                        : w && w->isWindow()     ? "windowTitle"
                                                 : "text";
    // A text box's text; the trace's lines are the transcripts' to check.
    QString text =
        o->property(o->inherits("QPlainTextEdit") && !o->inherits("TraceBox") ? "plainText" : shows)
            .toString();
    if (const auto* combo = qobject_cast<const QComboBox*>(o))
        text = QStringLiteral("%1 of %2").arg(combo->currentText()).arg(combo->count());
    else if (const auto* bar = qobject_cast<const QProgressBar*>(o))
        text = QStringLiteral("%1 of %2").arg(bar->value()).arg(bar->maximum());
    else if (const auto* view = qobject_cast<const QAbstractItemView*>(o); view && view->model())
        text = QStringLiteral("%1 rows").arg(view->model()->rowCount());
    // How a table, list or text box behaves: its selection, editing, scroll bars and wrapping.
    for (const char* name :
         {"selectionMode", "selectionBehavior", "editTriggers", "wordWrap", "readOnly",
          "lineWrapMode", "horizontalScrollBarPolicy", "verticalScrollBarPolicy"})
        if (o->inherits("QAbstractScrollArea") && o->metaObject()->indexOfProperty(name) >= 0)
            line += QStringLiteral(" %1=%2").arg(name).arg(o->property(name).toInt());
    if (const auto* label = qobject_cast<const QLabel*>(o))
        line += QStringLiteral(" align=%1 wrap=%2").arg(label->alignment()).arg(label->wordWrap());
    if (const auto* table = qobject_cast<const QTableView*>(o))
        line += QStringLiteral(" rowHeaders=%1 stretched=%2")
                    .arg(table->verticalHeader()->isVisibleTo(table))
                    .arg(table->horizontalHeader()->stretchLastSection());
    const auto* a = qobject_cast<const QAction*>(o);
    if (a && !a->shortcut().isEmpty())
        text += ' ' + a->shortcut().toString();
    line += " \"" + text + '"';
    if (const QString hint = o->property("placeholderText").toString(); !hint.isEmpty())
        line += " hint=\"" + hint + '"';
    if (w && w->isWindow() && w->minimumSize() == w->maximumSize())
        line += QString::asprintf(" fixed %dx%d", w->width(), w->height());
    QString plain = a ? a->text().remove('&') : QString();  // an entry's own tip is its text
    if (plain.endsWith(QLatin1String("...")))
        plain.chop(3);
    const QString tip = o->property("toolTip").toString();
    if (!tip.isEmpty() && tip != plain)
        line += " tip=\"" + tip + '"';
    if (!o->property("enabled").toBool())
        line += QStringLiteral(" off");
    if (w ? w->isHidden() && !w->isWindow() : !o->property("visible").toBool())
        line += QStringLiteral(" hidden");
    if (o->property("checked").toBool())
        line += QStringLiteral(" checked");
    return line;
}

void dump(const QObject* o, int depth, QStringList& out) {
    out << QString(depth * 2, ' ') + controlLine(o);
    if (const auto* menu = qobject_cast<const QMenu*>(o)) {
        for (const QAction* a : menu->actions())
            if (a->menu())
                dump(a->menu(), depth + 1, out);
            else
                out << QString(depth * 2 + 2, ' ') + controlLine(a);
        return;
    }
    // A table or list shows its headings, then each row's cells.
    if (const auto* view = qobject_cast<const QAbstractItemView*>(o); view && view->model()) {
        const QAbstractItemModel& m = *view->model();
        for (int r = -1; r < m.rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < m.columnCount(); ++c)
                cells
                    << (r < 0 ? m.headerData(c, Qt::Horizontal) : m.index(r, c).data()).toString();
            out << QString(depth * 2 + 2, ' ') + cells.join(" | ");
        }
    }
    if (const auto* scroll = qobject_cast<const QScrollArea*>(o); scroll && scroll->widget())
        return dump(scroll->widget(), depth + 1, out);
    // Qt's own parts of a control (scroll bars, a field's buttons) are not the program's;
    // menus are shown from their menu bar, other windows on their own.
    if (o->inherits("QAbstractScrollArea") || o->inherits("QComboBox") ||
        o->inherits("QAbstractSpinBox") || o->inherits("QLineEdit") || o->inherits("QMenuBar"))
        return;
    for (const QObject* child : o->children()) {
        const auto* w = qobject_cast<const QWidget*>(child);
        if (w && !w->objectName().startsWith("qt_") && !w->isWindow())
            dump(w, depth + 1, out);
    }
}

QStringList dumped(const QWidget& window) {
    QStringList out;
    dump(&window, 0, out);
    for (const QMenuBar* bar : window.findChildren<QMenuBar*>())
        for (const QAction* a : bar->actions())
            dump(a->menu(), 1, out);
    const QRegularExpression version("V?" + AppContext::VersionText().mid(1));
    return out.replaceInStrings("\n", "|").replaceInStrings(version, "VERSION");
}

}  // namespace

class WindowsTest : public QObject {
    Q_OBJECT
    const QMap<QString, QStringList> golden_ = readGolden("windows.txt");
    QString seen_;  // every window of this run, in the golden file's form

    // The window named, over the simulated radio's image; the main window and its windows
    // are the form's, the others `owned`.
    static QWidget* open(TestEnv& env, const QString& window, std::unique_ptr<QWidget>& owned) {
        Form1& form = env.form();
        const SimRadio radio(
            DemoModelNamed(window.section(' ', 1)).value_or(MemoryMap::Model::VX8R));
        env.ctx->clone.image = CloneImage(radio.identity + radio.memory + '\0');
        emit env.ctx->imageChanged();
        form.EnableButtons();
        if (window == "ComPortDiag")
            owned = std::make_unique<ComPortDiag>(*env.ctx);
        else if (window == "FTDIDiag")
            owned = std::make_unique<FTDIDiag>(*env.ctx);
        else if (window == "frmAbout")
            owned = std::make_unique<FrmAbout>();
        else if (window == "importPreview")
            owned = std::make_unique<ImportPreview>(&form, env.ctx->clone.image.bytes(),
                                                    env.ctx->clone.image.bytes());
        else if (window == "frmMessages")
            return &form.frmMessages();
        else if (window == "frmChannels")
            return form.mnuChannels->trigger(), form.frmChannels.data();
        else if (window.startsWith("frmSettings"))
            return form.mnuRadioSettings->trigger(), form.frmSettings.data();
        else if (window == "frmStations")
            return form.mnuHeardStations->trigger(), form.frmStations.data();
        return owned ? owned.get() : &form;
    }

private slots:
    void cleanupTestCase() { writeGoldenOut(seen_); }

    // Every control and menu entry of each window as built over the simulated radio's image:
    // its place, caption, tip and state, against the golden file.
    void windowsAsBuilt_data() {
        QTest::addColumn<QString>("window");
        for (const char* name : {"Form1", "frmMessages", "ComPortDiag", "FTDIDiag", "frmAbout",
                                 "frmChannels", "frmSettings", "frmStations", "frmSettings VX-8DR",
                                 "frmSettings VX-8GE", "importPreview"})
            QTest::newRow(name) << name;
    }
    void windowsAsBuilt() {
        QFETCH(QString, window);
        TestEnv env;
        std::unique_ptr<QWidget> owned;
        const QStringList lines = dumped(*open(env, window, owned));
        seen_ += "== " + window + '\n' + lines.join('\n') + "\n\n";
        QCOMPARE(lines, golden_.value(window));
    }

    // A click on a message raises only its own cancel flag (none while a write's blocks go
    // out) and changes nothing itself; the looking-for-radio message is announced once each
    // time it shows.
    void promptMessages() {
        const QStringList labels{"lblLookingForRig", "lblWaiting", "lblWaitForWrite"};
        for (const QString& name : labels) {
            TestEnv env;
            FrmMessages& w = env.form().frmMessages();
            QSignalSpy announced(&w, &FrmMessages::lookingForRigShown);
            w.show();
            auto* l = w.findChild<QLabel*>(name);
            l->show();
            l->show();
            QTest::mouseClick(l, Qt::LeftButton);
            const CancelRequests& cancel = env.ctx->cancel;
            QVERIFY(l->isVisible() && cancel.count(CancelKind::Read) == (name == "lblWaiting"));
            QCOMPARE(cancel.count(CancelKind::Identity), quint64(name == labels[0]));
            QCOMPARE(announced.count(), name == labels[0] ? 1 : 0);
        }
    }

    // The icon shows where no SVG image plugin is installed; the link goes to the desktop.
    void aboutBox() {
        QVERIFY(!FrmAbout::appIcon().pixmap(48, 48).isNull());
        QStringList opened;  // a failure to open is not reported
        setWebLinkOpener([&](const QString& t) { return opened << t, false; });
        FrmAbout about;
        QVERIFY(!about.picIcon->pixmap().isNull());
        about.show();
        QTest::mouseClick(about.lblLink, Qt::LeftButton);
        QCOMPARE(opened, QStringList{FrmAbout::webAddress()});
        QTest::mouseClick(about.cmdOK, Qt::LeftButton);
        QCOMPARE(about.result(), int(QDialog::Accepted));
        TestEnv env;  // Help ▸ About's box goes once it is closed
        env.form().mnuAbout->trigger();
        env.form().findChild<FrmAbout*>()->close();
        QTRY_VERIFY(!env.form().findChild<FrmAbout*>());
    }

    // Each window fits the screen with room for a title bar, every button of it shows whole,
    // and the windows made for the system face take the menus' face.
    void windowsFitTheScreen_data() {
        QTest::addColumn<QString>("window");
        QTest::addColumn<bool>("systemFace");
        for (const char* name : {"Form1", "ComPortDiag", "FTDIDiag", "frmAbout"})
            QTest::newRow(name) << name << true;
        QTest::newRow("frmMessages") << "frmMessages" << false;
        QTest::newRow("frmChannels") << "frmChannels" << false;
    }
    void windowsFitTheScreen() {
        QFETCH(QString, window);
        QFETCH(bool, systemFace);
        QApplication::setFont(QFont("DejaVu Serif"), "QMenu");
        TestEnv env;
        std::unique_ptr<QWidget> owned;
        QWidget* w = open(env, window, owned);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));

        const QRect screen = w->screen()->availableGeometry();  // 683 x 512
        // Room for a window manager's title bar, in scaled pixels.
        QVERIFY2(w->width() <= screen.width() && w->height() + 32 <= screen.height(),
                 qPrintable(QStringLiteral("%1 x %2").arg(w->width()).arg(w->height())));
        for (const QPushButton* b : w->findChildren<QPushButton*>()) {
            QVERIFY2(!b->isVisible() || b->visibleRegion() == QRegion(b->rect()),
                     qPrintable(b->objectName()));
            QVERIFY(!systemFace || b->font().family() == "DejaVu Serif");
        }
    }
};

int main(int argc, char** argv) {
    qputenv("QT_SCALE_FACTOR", "1.5");
    qputenv("TZ", "UTC");  // the heard stations' times
    return runOnScreen<WindowsTest>(1024, 768, argc, argv);
}
#include "test_ui_windows.moc"
