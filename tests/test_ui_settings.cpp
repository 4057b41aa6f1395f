#include <QComboBox>
#include <QListWidget>
#include <QMenuBar>
#include <QSpinBox>
#include <QUndoStack>

#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "memory/settings.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmsettings.h"

// The Radio Settings window over the simulated radio's memory, as a VX-8R or (its identity
// changed) a VX-8DR, with the radio on COM3 for Write Radio.
namespace {

// How a field is left: a key, or a click elsewhere.
constexpr int kReturn = Qt::Key_Return, kTab = Qt::Key_Tab, kClick = 0;

struct Window {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    explicit Window(const QByteArray& identity = SimRadio::identityAH029()) {
        env.config->set("Settings", "CommPort", "3");
        env.form();
        env.ctx->clone.image = CloneImage(identity + radio.memory + '\0');
        emit env.ctx->imageChanged();
        env.form().EnableButtons();
        env.form().mnuRadioSettings->trigger();
        s().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&s()));
    }
    FrmSettings& s() { return *env.form().frmSettings; }
    QByteArray held() { return env.ctx->clone.image.bytes(); }
    QString stored(const QString& key) {
        return SettingText(held(), *FindSetting(*MemoryMap::ModelOf(held()), key));
    }
    // Shows the control's page and types over its text.
    QWidget* type(const QString& key, const QString& text) {
        s().lstGroups->setCurrentRow(SettingGroups().indexOf(key.section('.', 0, 0)));
        auto* control = s().findChild<QWidget*>(key);
        control->setFocus();
        QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(control, text);
        return control;
    }
    void keys(QKeyCombination keys) {
        QTest::keyClick(QApplication::focusWidget(), keys.key(), keys.keyboardModifiers());
    }
    QString shown(QWidget* c) {  // a spin box's number, a list's or a field's text
        auto* spin = qobject_cast<QSpinBox*>(c);
        return spin ? spin->cleanText()
                    : c->property(c->inherits("QComboBox") ? "currentText" : "text").toString();
    }
};

}  // namespace

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Whatever kind of control, and however it is left, a refused text is named in the status
    // line with its caption and reason, the control shows the stored value again, and the
    // image, the steps and the unsaved mark stay as they were.
    void refusedValueShowsTheStoredOne_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("leave");
        QTest::addColumn<QString>("caption");
        auto add = [](const char* row, const char* key, const char* typed, int leave,
                      const char* caption) {
            QTest::newRow(row) << QString(key) << QString(typed) << leave << QString(caption);
        };
        add("callsign of 8", "aprs.callsign", "KK7DSXYZ", kReturn, "Callsign");
        add("latitude 95", "aprs.latitude", "95 00 00 N", kTab, "Latitude");
        add("spin box, out of range", "scan.volume_a", "40", kReturn, "Volume, band A");
        add("spin box, equal to the high speed", "smartbeacon.type_1_low_speed", "025", kTab,
            "Low speed, type 1");
        add("typed list", "aprs.time_zone", "+09:15", kClick, "Time zone");
        add("DTMF", "dtmf.memory_1", "12X4", kTab, "Memory 1");
        add("path", "aprs_tx.digi_path_4", "WIDE1-1,TOOLONGX-1", kClick, "Digipeater path 4");
        add("text of 10", "aprs_rx.message_group_1", "ABCDEFGHIJ", kReturn, "Message group 1");
    }
    void refusedValueShowsTheStoredOne() {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(int, leave);
        QFETCH(QString, caption);
        Window w(SimRadio::identityAH29D());  // SmartBeaconing type 1: 18 to 25
        const QByteArray before = w.held();
        const int steps = w.env.form().imageEdits->stack().count();
        QWidget* control = w.type(key, typed);
        if (leave != kClick)
            QTest::keyClick(control, Qt::Key(leave));
        else
            QTest::mouseClick(
                w.s().lstGroups->viewport(), Qt::LeftButton, {},
                w.s().lstGroups->visualItemRect(w.s().lstGroups->currentItem()).center());
        const QString status = w.s().lblStatus->text();
        QVERIFY2(status.startsWith(caption + ": \"" + typed + "\" ") && status.count(typed) == 1,
                 qPrintable(status));
        QCOMPARE(w.shown(control), w.stored(key));
        QVERIFY(w.held() == before && !w.s().isWindowModified() &&
                w.env.form().imageEdits->stack().count() == steps);
    }

    // Every list shows the value the image holds, not its first one.
    void listsShowTheImage() {
        Window w(SimRadio::identityAH29D());
        int notFirst = 0;
        for (const SettingRow& row : SettingRows(MemoryMap::Model::VX8DR))
            if (auto* list = w.s().findChild<QComboBox*>(row.key)) {
                notFirst += list->currentIndex() > 0;
                const QString shown = w.shown(list), stored = w.stored(row.key);
                QVERIFY2(shown == stored || shown.startsWith(stored + " ("), qPrintable(shown));
            }
        QVERIFY(notFirst > 5);
    }

    // The window as a workplace: its own keys undo and redo while a field has the focus,
    // Escape drops what is typed and leaves the window open, Ctrl+S and Write Radio take the
    // value typed before they save or write, and a page change clears the line.
    void workplace() {
        Window w;
        FrmSettings& s = w.s();
        const QString was = w.stored("aprs.callsign");
        w.type("aprs.callsign", "kk7ds-9\r");  // and Return
        QCOMPARE(s.lblStatus->text(), "Done: Callsign: KK7DS");
        QCOMPARE(s.findChild<QComboBox*>("aprs.ssid")->currentText(), "9 (mobile)");
        const QKeyCombination steps[] = {Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::Key_Y,
                                         Qt::CTRL | Qt::Key_Z, Qt::CTRL | Qt::SHIFT | Qt::Key_Z};
        for (int i = 0; i < 4; ++i) {
            w.keys(steps[i]);
            QCOMPARE(s.lblStatus->text(),
                     (i % 2 ? "Redone: " : "Undone: ") + QString("Callsign: KK7DS"));
            QCOMPARE(w.stored("aprs.callsign"), i % 2 ? "KK7DS" : was);
        }
        QWidget* call = w.type("aprs.callsign", "W1AW");
        w.keys(Qt::Key_Escape);
        QVERIFY(w.shown(call) == "KK7DS" && s.isVisible());
        w.type("aprs.callsign", "W1AW");
        w.env.files.answers = {w.env.dir.filePath("s.img")};
        w.keys(Qt::CTRL | Qt::Key_S);
        LoadedImage saved;
        QVERIFY(LoadImageFile(w.env.dir.filePath("s.img"), saved, nullptr));
        QVERIFY(saved.image == w.held() && w.stored("aprs.callsign") == "W1AW");
        s.lstGroups->setCurrentRow(2);
        QCOMPARE(s.lblStatus->text(), "");
        w.type("aprs_tx.status_text_1", "QRV");
        QAction* radio = s.menuBar->actions().last();  // Read Radio, Write Radio
        QTest::mouseClick(s.menuBar, Qt::LeftButton, {}, s.menuBar->actionGeometry(radio).center());
        radio->menu()->hide();
        radio->menu()->actions().at(1)->trigger();
        QVERIFY(w.radio.writesReceived == 1 && w.radio.lastWriteImage == w.held().mid(10, 65216));
        QCOMPARE(w.stored("aprs_tx.status_text_1").trimmed(), "QRV");
    }

    // Each page with greyed settings says why; each tip gives the caption, the forms and the
    // key; numbers show their units, speeds in the radio's own unit; the SSIDs are explained;
    // the first Tab lands on a control in sight.
    void explainsItself() {
        Window w(SimRadio::identityAH29D());
        QCOMPARE(w.s().findChild<QLabel*>("lblGreyed")->text(),
                 "Where the VX-8DR keeps these is not proven: shown, not changed");
        QCOMPARE(w.s().findChild<QWidget*>("aprs.latitude")->toolTip(),
                 "Latitude\n40°44'53\"N, 40 44.88 N or 40.7481: 0-90°, N or S\n"
                 "Command line: aprs.latitude");
        auto* speedUnit = w.s().findChild<QComboBox*>("aprs.speed_unit");  // mph
        emit speedUnit->activated(speedUnit->findText("knot"));
        QString type2;  // values outside the ranges (67, 74, 95) shown as stored
        for (const char* v :
             {"low_speed", "high_speed", "slow_rate", "fast_rate", "turn_angle", "turn_time"})
            type2 +=
                w.s().findChild<QSpinBox*>(QStringLiteral("smartbeacon.type_2_") + v)->text() + ',';
        QCOMPARE(type2, "67 knots,74 knots,81 min,88 s,95°,109 s,");
        QCOMPARE(w.s().findChild<QComboBox*>("aprs.ssid")->itemText(7), "7 (handheld)");
        QTest::keyClick(&w.s(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "aprs.callsign");
    }
};

int main(int argc, char** argv) {
    return runOnScreen<SettingsWindowTest>(1366, 768, argc, argv);
}
#include "test_ui_settings.moc"
