#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QScrollArea>
#include <QSpinBox>
#include <QStackedWidget>
#include <QUndoStack>

#include "edit/channeledits.h"
#include "image/imagefile.h"
#include "memory/settings.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/frmsettings.h"

// The Radio Settings window over the simulated radio's memory, as a VX-8R or (its identity
// changed) a VX-8DR, with the radio on COM3 for Write Radio.
namespace {

enum class Leave { Return, Tab, Click };

struct Window {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    // `values` are set before the image is held ("key=value").
    explicit Window(const QByteArray& identity = SimRadio::identityAH029(),
                    const QStringList& values = {}) {
        env.settings->set("Settings", "CommPort", "3");
        env.form();
        QByteArray image = identity + radio.memory + '\0';
        for (const QString& value : values)
            SetSetting(image, *FindSetting(*MemoryMap::ModelOf(image), value.section('=', 0, 0)),
                       value.section('=', 1));
        env.ctx->clone.image = CloneImage(image);
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
    // Shows the control's page and puts the focus in it.
    QWidget* focus(const QString& key) {
        auto* control = s().findChild<QWidget*>(key);
        for (int page = 0; page < s().stkGroups->count(); ++page)
            if (s().stkGroups->widget(page)->isAncestorOf(control))
                s().lstGroups->setCurrentRow(page);
        control->setFocus();
        return control;
    }
    // Types over the control's text.
    QWidget* type(const QString& key, const QString& text) {
        QWidget* control = focus(key);
        QTest::keyClick(control, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(control, text);
        return control;
    }
    // Another line edit on the control's page, to click.
    QLineEdit* other(QWidget* control) {
        for (QLineEdit* edit : s().findChildren<QLineEdit*>())
            if (edit->isVisible() && edit->isEnabled() && edit != control &&
                !control->isAncestorOf(edit))
                return edit;
        return nullptr;
    }
    void keys(QKeyCombination keys) {
        QTest::keyClick(QApplication::focusWidget(), keys.key(), keys.keyboardModifiers());
    }
    QString shown(QWidget* control) {
        if (auto* spin = qobject_cast<QSpinBox*>(control))
            return spin->cleanText();
        if (auto* combo = qobject_cast<QComboBox*>(control))
            return combo->currentText();
        return static_cast<QLineEdit*>(control)->text();
    }
};

}  // namespace

Q_DECLARE_METATYPE(Leave)

class SettingsWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Whatever kind of control, and however it is left, a refused text is named in the status
    // line with its caption and reason, the control shows the stored value again, and the
    // image, the steps and the unsaved mark stay as they were.
    void refusedValueShowsTheStoredOne_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<Leave>("leave");
        QTest::addColumn<QString>("caption");
        QTest::newRow("callsign of 8") << "aprs.callsign"
                                       << "KK7DSXYZ" << Leave::Return << "Callsign";
        QTest::newRow("latitude 95") << "aprs.latitude"
                                     << "95 00 00 N" << Leave::Tab << "Latitude";
        QTest::newRow("spin box, out of range") << "scan.volume_a"
                                                << "40" << Leave::Return << "Volume, band A";
        QTest::newRow("spin box, not below the high speed")
            << "smartbeacon.type_1_low_speed"
            << "25" << Leave::Tab << "Low speed, type 1";
        QTest::newRow("typed list") << "aprs.time_zone"
                                    << "+09:15" << Leave::Click << "Time zone";
        QTest::newRow("DTMF") << "dtmf.memory_1"
                              << "12X4" << Leave::Tab << "Memory 1";
        QTest::newRow("path") << "aprs_tx.digi_path_4"
                              << "WIDE1-1,TOOLONGX-1" << Leave::Click << "Digipeater path 4";
        QTest::newRow("text of 10") << "aprs_rx.message_group_1"
                                    << "ABCDEFGHIJ" << Leave::Return << "Message group 1";
    }
    void refusedValueShowsTheStoredOne() {
        QFETCH(QString, key);
        QFETCH(QString, typed);
        QFETCH(Leave, leave);
        QFETCH(QString, caption);
        Window w(SimRadio::identityAH29D(),
                 {"smartbeacon.type_1_low_speed=5", "smartbeacon.type_1_high_speed=20"});
        const QByteArray before = w.held();
        const int steps = w.env.form().channelEdits->stack().count();
        QWidget* control = w.type(key, typed);
        if (leave == Leave::Return)
            QTest::keyClick(control, Qt::Key_Return);
        else if (leave == Leave::Tab)
            QTest::keyClick(control, Qt::Key_Tab);
        else
            QTest::mouseClick(w.other(control), Qt::LeftButton);
        const QString status = w.s().lblStatus->text();
        QVERIFY2(status.startsWith(caption + ": \"" + typed + '"') && status.count(typed) == 1 &&
                     status.size() > caption.size() + typed.size() + 20,
                 qPrintable(status));
        QCOMPARE(w.shown(control), w.stored(key));
        QVERIFY(w.held() == before && !w.s().isWindowModified());
        QCOMPARE(w.env.form().channelEdits->stack().count(), steps);
    }

    // The window as a workplace: its own keys undo and redo while a field has the focus,
    // Escape drops what is typed and leaves the window open, Ctrl+S and Write Radio take the
    // value typed before they save or write, and a page change clears the line.
    void workplace() {
        Window w;
        FrmSettings& s = w.s();
        const QString was = w.stored("aprs.callsign");
        w.type("aprs.callsign", "kk7ds-9");
        w.keys(Qt::Key_Return);
        QCOMPARE(s.lblStatus->text(), "Done: Callsign: KK7DS");
        QCOMPARE(s.findChild<QComboBox*>("aprs.ssid")->currentText(), "9 (mobile)");
        const QList<std::pair<QKeyCombination, QString>> steps = {
            {Qt::CTRL | Qt::Key_Z, "Undone: "},
            {Qt::CTRL | Qt::Key_Y, "Redone: "},
            {Qt::CTRL | Qt::Key_Z, "Undone: "},
            {Qt::CTRL | Qt::SHIFT | Qt::Key_Z, "Redone: "}};
        for (const auto& [keys, said] : steps) {
            w.keys(keys);
            QCOMPARE(s.lblStatus->text(), said + "Callsign: KK7DS");
            QCOMPARE(w.stored("aprs.callsign"), said == "Undone: " ? was : "KK7DS");
        }
        QWidget* call = w.type("aprs.callsign", "W1AW");
        w.keys(Qt::Key_Escape);
        QVERIFY(w.shown(call) == "KK7DS" && s.isVisible());
        w.type("aprs.callsign", "W1AW");
        w.env.files.answers = {w.env.dir.filePath("s.img")};
        w.keys(Qt::CTRL | Qt::Key_S);
        LoadedImage saved;
        QVERIFY(LoadImageFile(w.env.dir.filePath("s.img"), saved, nullptr));
        QVERIFY(SettingText(saved.image, *FindSetting(MemoryMap::Model::VX8R, "aprs.callsign")) ==
                    "W1AW" &&
                !s.isWindowModified());
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
        FrmSettings& s = w.s();
        QCOMPARE(s.findChild<QLabel*>("lblGreyed")->text(),
                 "Where the VX-8DR keeps these is not proven: shown, not changed");
        QCOMPARE(s.findChild<QWidget*>("aprs.latitude")->toolTip(),
                 "Latitude\n40°44'53\"N, 40 44.88 N or 40.7481: 0-90°, N or S\n"
                 "Command line: aprs.latitude");
        auto suffix = [&](const char* key) { return s.findChild<QSpinBox*>(key)->suffix(); };
        w.focus("aprs.speed_unit");
        for (const QString unit : {"km/h", "knots", "mph"}) {
            auto* speedUnit = s.findChild<QComboBox*>("aprs.speed_unit");
            speedUnit->setCurrentIndex(speedUnit->findText(unit.left(4)));
            emit speedUnit->activated(speedUnit->currentIndex());
            QCOMPARE(suffix("smartbeacon.type_2_high_speed"), " " + unit);
        }
        QCOMPARE(suffix("smartbeacon.type_2_slow_rate") + suffix("smartbeacon.type_2_fast_rate") +
                     suffix("smartbeacon.type_2_turn_angle") +
                     suffix("smartbeacon.type_2_turn_time"),
                 " min s° s");
        QCOMPARE(s.findChild<QComboBox*>("aprs.ssid")->itemText(7), "7 (handheld)");
        s.lstGroups->setFocus();
        w.keys(Qt::Key_Tab);
        QWidget* tabbed = QApplication::focusWidget();
        QVERIFY(tabbed && tabbed->isVisible() && !tabbed->visibleRegion().isEmpty());
    }
};

int main(int argc, char** argv) {
    return runOnScreen<SettingsWindowTest>(1366, 768, argc, argv);
}
#include "test_ui_settings.moc"
