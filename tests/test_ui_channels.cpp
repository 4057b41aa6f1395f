#include <QAbstractItemModel>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QTableView>
#include <QTableWidget>
#include <QUndoStack>

#include "edit/imageedits.h"
#include "image/imagefile.h"
#include "memory/channeledit.h"
#include "support/channelfixture.h"
#include "support/testenv.h"
#include "support/testmain.h"
#include "ui/channelmodel.h"
#include "ui/frmchannels.h"

Q_DECLARE_METATYPE(ChannelField)
Q_DECLARE_METATYPE(QList<int>)
Q_DECLARE_METATYPE(MsgAnswer)

// The channel editor over the channel fixture, handed to the main window as a held image,
// with a simulated radio on COM3 for the write.
namespace {

const auto kBanks = ChannelField(kChannelFieldCount);  // the column after the fields

struct Window {
    TestEnv env;
    SimRadio& radio = env.radioOnCom(3);
    Window() { env.config->set("Settings", "CommPort", "3"); }
    CloneState& clone() { return env.ctx->clone; }
    QByteArray held() { return clone().image.bytes(); }
    QString at(const QString& name) { return env.dir.filePath(name); }
    void hold(const QByteArray& fileImage, const QString& path = {}) {
        env.form();  // its start-up sets the image held
        clone().image = CloneImage(fileImage);
        clone().ImagePath = path;
        emit env.ctx->imageChanged();
        env.form().EnableButtons();
    }
    FrmChannels& window() {
        if (!env.form().frmChannels)
            env.form().mnuChannels->trigger();
        return *env.form().frmChannels;
    }
    QUndoStack& steps() { return env.form().imageEdits->stack(); }
    QStringList column(ChannelField field) {
        QAbstractItemModel& rows = *window().grdChannels->model();
        QStringList texts;
        for (int row = 0; row < rows.rowCount(); ++row)
            texts << rows.index(row, int(field)).data().toString();
        return texts;
    }
    QModelIndex cell(int number, ChannelField field) {
        window().chkShowEmpty->setChecked(true);
        QAbstractItemModel& rows = *window().grdChannels->model();
        const auto found = rows.match(rows.index(0, 0), Qt::DisplayRole, QString::number(number), 1,
                                      Qt::MatchExactly);
        return found.value(0).siblingAtColumn(int(field));
    }
    QString text(int number, ChannelField field) { return cell(number, field).data().toString(); }
    // Types into a cell's line editor, or picks from its list, then presses Enter.
    void type(int number, ChannelField field, const QString& text) {
        QTableView* grid = window().grdChannels;
        grid->edit(cell(number, field));
        QWidget* editor = grid->indexWidget(cell(number, field));
        if (auto* list = qobject_cast<QComboBox*>(editor)) {
            if (!text.isNull())  // a null text leaves the list as it opened
                list->setCurrentIndex(list->findText(text));
        } else {
            static_cast<QLineEdit*>(editor)->clear();
            QTest::keyClicks(editor, text);
        }
        QTest::keyClick(editor, Qt::Key_Return);
        QCoreApplication::processEvents();  // the view commits the editor's value queued
    }
    // Ticks or unticks banks in a channel's banks list, then presses Enter.
    void tick(int number, const QList<int>& banks) {
        QTableView* grid = window().grdChannels;
        grid->edit(cell(number, kBanks));
        auto* list = static_cast<QListWidget*>(grid->indexWidget(cell(number, kBanks)));
        for (int b : banks)
            list->item(b - 1)->setCheckState(list->item(b - 1)->checkState() ? Qt::Unchecked
                                                                             : Qt::Checked);
        QTest::keyClick(list, Qt::Key_Return);
        QCoreApplication::processEvents();
    }
    QString names(int from, int to) {
        QStringList names;
        for (int n = from; n <= to; ++n)
            names << DecodeChannelAt(held(), n).name;
        return names.join(',');
    }
    void select(const QList<int>& numbers) {
        window().grdChannels->clearSelection();
        for (int n : numbers)
            window().grdChannels->selectionModel()->select(
                cell(n, ChannelField::Number),
                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Runs `what` on the modal box that opens next, once its loop runs.
    void answer(const std::function<void(QDialog*)>& what) {
        QTimer::singleShot(
            0, [what] { what(static_cast<QDialog*>(QApplication::activeModalWidget())); });
    }
    void keys(QKeyCombination keys) {  // shortcuts act in the active window
        window().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window()));
        QTest::keyClick(window().grdChannels, keys.key(), keys.keyboardModifiers());
    }
};

}  // namespace

class ChannelsWindowTest : public QObject {
    Q_OBJECT
private slots:
    // Opened before there is an image, the window shows none; it follows each new image,
    // opens beside the main window with every column in sight, and Escape leaves it open.
    void followsTheImageHeld() {
        Window w;
        QCOMPARE(w.window().lblUsed->text(), "No image: read the radio or open a file.");
        QVERIFY(w.window().isVisible() && !w.window().isModal());
        w.hold(FixtureImage(), w.at("x.img"));
        QCOMPARE(w.window().lblUsed->text(), "8 used, 1 masked of 900, 9 shown");
        QCOMPARE(w.window().windowTitle(), "Channels - x.img[*]");
        const QHeaderView* header = w.window().grdChannels->horizontalHeader();
        QVERIFY(header->length() <= w.window().grdChannels->viewport()->width());
        const QRect main = w.env.form().frameGeometry();
        QVERIFY(w.window().x() > main.right() || w.window().frameGeometry().right() < main.x());
        QTest::keyClicks(w.window().txtFilter, "RPT");
        QCOMPARE(w.window().lblUsed->text(), "8 used, 1 masked of 900, 2 shown");
        QTest::keyClick(w.window().grdChannels, Qt::Key_Escape);
        QVERIFY(w.window().isVisible());
        w.clone().image = CloneImage();
        emit w.env.ctx->imageChanged();
        QCOMPARE(w.column(ChannelField::Number), QStringList());
    }

    void filtersAndSorts_data() {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<bool>("showEmpty");
        QTest::addColumn<ChannelField>("sortBy");  // down when by number, up otherwise
        QTest::addColumn<QStringList>("numbers");  // or, with one entry, how many
        const ChannelField ch = ChannelField::Number;
        QTest::newRow("by number, down")
            << "" << false << ch << QStringList{"9", "8", "7", "6", "5", "4", "3", "2", "1"};
        QTest::newRow("by frequency, in MHz not text")
            << "1" << false << ChannelField::Frequency << QStringList{"4", "3", "2", "5", "1", "9"};
        QTest::newRow("by name") << "RPT" << false << ChannelField::Name << QStringList{"2", "5"};
        QTest::newRow("by tone, in its list's order, not text")
            << "" << false << ChannelField::Tone
            << QStringList{"6", "1", "3", "4", "7", "9", "2", "5", "8"};
        QTest::newRow("by banks, the channels in none first")
            << "" << false << ChannelField(kBanksColumn)
            << QStringList{"3", "4", "5", "6", "7", "8", "9", "1", "2"};
        QTest::newRow("name, any case") << "sim" << false << ch << QStringList{"9", "1"};
        QTest::newRow("no match") << "zz" << true << ch << QStringList{};
        QTest::newRow("empty shown") << "" << true << ch << QStringList{"900"};
        QTest::newRow("empty shown, filtered") << "88.1" << true << ch << QStringList{"4"};
    }
    void filtersAndSorts() {
        QFETCH(QString, filter);
        QFETCH(bool, showEmpty);
        QFETCH(ChannelField, sortBy);
        QFETCH(QStringList, numbers);
        Window w;
        w.hold(FixtureImage());
        QTest::keyClicks(w.window().txtFilter, filter);
        w.window().chkShowEmpty->setChecked(showEmpty);
        w.window().grdChannels->sortByColumn(
            int(sortBy), sortBy == ChannelField::Number ? Qt::DescendingOrder : Qt::AscendingOrder);
        const QStringList shown = w.column(ChannelField::Number);
        QVERIFY(shown == numbers || (numbers == QStringList{"900"} && shown.size() == 900));
    }

    // A cell takes what validation takes; a refusal says why and the cell keeps its value.
    void editsInPlace_data() {
        QTest::addColumn<ChannelField>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("status");
        QTest::newRow("name") << ChannelField::Name << "CALL"
                              << "CALL"
                              << "";
        QTest::newRow("name, typing stops at 16 and at what the radio lacks")
            << ChannelField::Name << "A~BCDEFGHIJKLMNOPQR"
            << "ABCDEFGHIJKLMNOP"
            << "";
        QTest::newRow("a refusal, then a good edit replaces it")
            << ChannelField::Frequency << "abc|750"
            << "750.000000"
            << "Done: Channel 1: Frequency";
        QTest::newRow("frequency, 6.25 kHz") << ChannelField::Frequency << "146.50625"
                                             << "146.506250"
                                             << "";
        QTest::newRow("frequency, not stored")
            << ChannelField::Frequency << "146.5212"
            << "146.520000"
            << "Channel 1: Frequency 146.5212 MHz cannot be stored; nearest 146.521000";
        QTest::newRow("offset") << ChannelField::Offset << "0.6"
                                << "0.600000"
                                << "";
        QTest::newRow("duplex, from its list") << ChannelField::Duplex << "-"
                                               << "-"
                                               << "";
        QTest::newRow("power, from its list") << ChannelField::Power << "L2 1 W"
                                              << "L2 1 W"
                                              << "";
    }
    void editsInPlace() {
        QFETCH(ChannelField, field);
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(QString, status);
        Window w;
        w.hold(FixtureImage());
        for (const QString& text : typed.split('|'))
            w.type(1, field, text);
        QCOMPARE(w.text(1, field), shown);
        QCOMPARE(w.window().lblStatus->text().left(status.size()), status);
        QCOMPARE(w.steps().count(), status.startsWith("Channel") ? 0 : 1);
        QCOMPARE(w.window().isWindowModified(), !status.startsWith("Channel"));
    }

    // A cell edit or a paste over fixture channel 6 (no sub-VFO, mark, half deviation and
    // unknown bits set) changes only the edited field's bytes and the final checksum; the
    // channel pasted back as it was copied changes nothing.
    void editsChangeOnlyTheirField_data() {
        QTest::addColumn<ChannelField>("field");  // Number: paste the text as a CSV row
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<int>>("changed");  // record bytes; -1 the flag byte
        auto row = [](const char* tag, ChannelField field, const char* text, QList<int> changed) {
            QTest::newRow(tag) << field << QString(text) << changed;
        };
        using F = ChannelField;
        row("name", F::Name, "PMR2", {11});
        row("frequency on 5 kHz: mark kept", F::Frequency, "446.1", {3, 4});
        row("frequency on 6.25 kHz: mark", F::Frequency, "446.0125", {0, 4});
        row("duplex", F::Duplex, "-", {1});
        row("offset", F::Offset, "440.0125", {26});
        row("tone mode", F::ToneMode, "Tone", {5});
        row("tone", F::Tone, "100.0", {27});
        row("dcs", F::Dcs, "023", {28});
        row("mode", F::Mode, "AM", {1});
        row("step", F::Step, "12.50", {1});
        row("power", F::Power, "L1 0.05 W", {5});
        row("skip", F::Skip, "S", {-1});
        row("pasted as copied", F::Number, kFixtureChannels[5].csv, {});
        QTest::newRow("pasted, one name changed")
            << F::Number << QString(kFixtureChannels[5].csv).replace(",PMR,", ",PMR2,")
            << QList<int>{11};
    }
    void editsChangeOnlyTheirField() {
        QFETCH(ChannelField, field);
        QFETCH(QString, text);
        QFETCH(QList<int>, changed);
        Window w;
        w.hold(FixtureImage());
        const QByteArray before = w.held();
        if (field == ChannelField::Number) {
            QApplication::clipboard()->setText(kCsvHeader + QString("\n") + text);
            w.select({6});
            w.keys(Qt::CTRL | Qt::Key_V);
        } else {
            w.type(6, field, text);
        }
        QList<int> expected;
        for (int at : changed)
            expected << (at < 0 ? ChannelLayout::kFlagsOffset + 5
                                : ChannelLayout::kChannelsOffset + 5 * 32 + at);
        if (!changed.isEmpty())
            expected << int(before.size()) - 1;  // the final checksum
        QList<int> differ;
        const QByteArray after = w.held();
        for (int at = 0; at < before.size(); ++at)
            if (before[at] != after[at])
                differ << at;
        QCOMPARE(differ, expected);
    }

    // A list opened and left with Enter keeps the channel's value.
    void listLeftAsItWas() {
        Window w;
        w.hold(FixtureImage());
        w.type(1, ChannelField::Power, QString());
        QCOMPARE(w.text(1, ChannelField::Power), "Hi 5 W");
    }

    // Two edits, each one step: both undone give the image back byte for byte, and redone
    // both again, by the keys.
    void undoAndRedo() {
        Window w;
        w.hold(FixtureImage());
        w.type(1, ChannelField::Name, "CALL");
        w.type(1, ChannelField::Frequency, "146.55");
        const QByteArray edited = w.held();
        w.keys(Qt::CTRL | Qt::Key_Z);
        w.keys(Qt::CTRL | Qt::Key_Z);
        QCOMPARE(w.window().lblStatus->text(), "Undone: Channel 1: Name");
        QCOMPARE(w.held(), CloneImage(FixtureImage()).bytes());
        QVERIFY(!w.window().isWindowModified() && !w.env.form().isWindowModified());
        w.keys(Qt::CTRL | Qt::SHIFT | Qt::Key_Z);
        w.keys(Qt::CTRL | Qt::Key_Y);
        QCOMPARE(w.held(), edited);
        QVERIFY(w.text(1, ChannelField::Name) == "CALL" && w.window().isWindowModified());
    }

    // Pasted rows go to consecutive channels from the first selected one, as one step; a
    // paste that cannot be stored whole changes nothing and says why.
    void paste_data() {
        QTest::addColumn<QString>("clipboard");  // empty: channels 1-3 copied by Ctrl+C
        QTest::addColumn<int>("at");
        QTest::addColumn<QString>("status");
        QTest::newRow("copied rows keep their banks") << "" << 20 << "Pasted 3 channels at 20-22";
        QTest::newRow("copied, pasted into another image")
            << "another image" << 20 << "Pasted 3 channels at 20-22";
        QTest::newRow("from a spreadsheet, tab-separated")
            << "Location\tName\tFrequency\n1\tSIMPLEX\t146.52\n2\tRPT\t145.23\n3\tAIR\t118.010"
            << 20 << "Pasted 3 channels at 20-22";
        QTest::newRow("past 900") << "" << 899
                                  << "Paste refused: 3 rows from channel 899 on would run past "
                                     "channel 900";
        QTest::newRow("a bad row") << "Location,Frequency\n1,146.52\n2,1200\n3,1" << 20
                                   << "Paste refused: line 3: Frequency 1200 MHz is outside";
    }
    void paste() {
        QFETCH(QString, clipboard);
        QFETCH(int, at);
        QFETCH(QString, status);
        Window w;
        w.hold(FixtureImage());
        QApplication::clipboard()->setText(clipboard);
        if (clipboard.isEmpty() || clipboard == "another image") {
            w.select({1, 2, 3});
            w.keys(Qt::CTRL | Qt::Key_C);
        }
        if (clipboard == "another image")
            w.hold(BankFixtureImage());
        w.select({at, at + 1});
        w.keys(Qt::CTRL | Qt::Key_V);
        QCOMPARE(w.window().lblStatus->text().left(status.size()), status);
        const bool pasted = status.startsWith("Pasted");
        QCOMPARE(w.steps().count(), pasted ? 1 : 0);
        // Only rows copied from the image held bring their banks (bank 1 holds 1 and 2).
        QCOMPARE(DecodeBank(w.held(), 1).members.contains(at), pasted && clipboard.isEmpty());
        if (pasted)
            for (int n = 0; n < 3; ++n)
                QCOMPARE(DecodeChannels(w.held())[at - 1 + n].text(ChannelField::Frequency),
                         DecodeChannels(FixtureImage())[n].text(ChannelField::Frequency));
    }

    // Delete clears the selected channels as one step, taking them out of bank 1; its undo
    // puts back every byte, the bank's members too.
    void deleteClears() {
        Window w;
        w.hold(FixtureImage());
        w.select({1, 2});
        w.keys(Qt::Key_Delete);
        QVERIFY(DecodeChannels(w.held())[0].empty && DecodeChannels(w.held())[1].empty);
        QCOMPARE(DecodeBank(w.held(), 1).members, QList<int>{900});
        QCOMPARE(w.window().lblUsed->text(), "6 used, 1 masked of 900, 900 shown");
        w.steps().undo();
        QCOMPARE(w.held(), CloneImage(FixtureImage()).bytes());
        QCOMPARE(w.text(2, ChannelField::Name), "RPT");
    }

    // The banks column: ticking joins or leaves banks as one step, over several selected
    // channels only the banks ticked or unticked; a full bank refuses with the reason and
    // changes nothing.
    void banksColumn_data() {
        QTest::addColumn<QList<int>>("channels");  // selected; the first one's cell is edited
        QTest::addColumn<QList<int>>("ticked");
        QTest::addColumn<QString>("banks");  // of the last channel
        QTest::addColumn<QString>("status");
        QTest::newRow("join bank 3") << QList<int>{1} << QList<int>{3} << "1 3"
                                     << "Done: Channel 1: Banks";
        QTest::newRow("leave bank 1, join 24") << QList<int>{2} << QList<int>{1, 24} << "24"
                                               << "Done: Channel 2: Banks";
        QTest::newRow("two channels: only the ticked bank changes")
            << QList<int>{1, 4} << QList<int>{24} << "3 24"
            << "Done: Set Banks on 2 channels";
        QTest::newRow("bank 2 is full")
            << QList<int>{5} << QList<int>{2} << ""
            << "Channel 5: Bank 2 FULL is full: a bank holds at most 100 channels";
    }
    void banksColumn() {
        QFETCH(QList<int>, channels);
        QFETCH(QList<int>, ticked);
        QFETCH(QString, banks);
        QFETCH(QString, status);
        Window w;
        w.hold(BankFixtureImage());
        w.select(channels);
        w.tick(channels.first(), ticked);
        QCOMPARE(w.text(channels.last(), kBanks), banks);
        QCOMPARE(w.window().lblStatus->text(), status);
        QCOMPARE(w.steps().count(), status.startsWith("Done") ? 1 : 0);
        w.type(channels.first(), ChannelField::Name, "NEW");  // another field keeps the banks
        QCOMPARE(w.text(channels.last(), kBanks), banks);
    }

    // The banks pane renames under the channel-name rules (typing stops at 16 characters and
    // at what the radio lacks), and picking a bank shows only its members in use.
    void banksPane() {
        Window w;
        w.hold(BankFixtureImage());
        QTableWidget* pane = w.window().grdBanks;
        auto rename = [pane](const QString& name) {
            pane->editItem(pane->item(3, 1));
            auto* editor = static_cast<QLineEdit*>(pane->indexWidget(pane->model()->index(3, 1)));
            editor->clear();
            QTest::keyClicks(editor, name);
            QTest::keyClick(editor, Qt::Key_Return);
            QCoreApplication::processEvents();
        };
        rename("A~BCDEFGHIJKLMNOPQR");
        QCOMPARE(pane->item(3, 1)->text(), "ABCDEFGHIJKLMNOP");
        rename("CLUB");
        QVERIFY(DecodeBank(w.held(), 3).name == "CLUB" && pane->item(3, 1)->text() == "CLUB");
        pane->selectRow(1);
        QCOMPARE(w.column(ChannelField::Number), (QStringList{"1", "2"}));
        pane->selectRow(0);
        QCOMPARE(w.column(ChannelField::Number).size(), 9);
    }

    // A masked row says so in every cell and, while current, in the status line; a tone or
    // code its tone mode does not use is greyed, its value kept.
    void greyedCells_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("greyed");  // the columns greyed, by caption; * every one
        QTest::newRow("no tone") << 1 << "Tone DCS";
        QTest::newRow("Tone") << 2 << "DCS";
        QTest::newRow("TSQL") << 5 << "DCS";
        QTest::newRow("DTCS") << 6 << "Tone";
        QTest::newRow("masked") << 9 << "*";
    }
    void greyedCells() {
        QFETCH(int, number);
        QFETCH(QString, greyed);
        Window w;
        w.hold(FixtureImage());
        const QString note = greyed != "*" ? QString()
                                           : "Channel 9 is masked on the radio: hidden there, its "
                                             "data kept. Edit ▸ Unmask shows it again.";
        const QModelIndex row = w.cell(number, ChannelField::Number);
        for (int c = 0; c < kColumnCount; ++c) {
            const QString caption = row.model()->headerData(c, Qt::Horizontal).toString();
            const QString tip = row.siblingAtColumn(c).data(Qt::ToolTipRole).toString();
            QVERIFY2(note.isEmpty() ? !tip.contains("masked") : tip.startsWith(note),
                     qPrintable(caption));
            QCOMPARE(row.siblingAtColumn(c).data(Qt::ForegroundRole).isValid(),
                     greyed == "*" || greyed.split(' ').contains(caption));
        }
        w.window().grdChannels->setCurrentIndex(row);
        QCOMPARE(w.window().lblStatus->text(), note);
        w.window().grdChannels->setCurrentIndex(w.cell(3, ChannelField::Name));
        QCOMPARE(w.window().lblStatus->text(), QString());
    }

    // The PMS list in the same table, without banks: a pair out of order is marked, not
    // refused. The masked channel 9 is greyed, kept unless its owner agrees to store over it,
    // and unmasked with its data.
    void listsAndMasked() {
        Window w;
        w.hold(FixtureImage());
        QAbstractItemModel& rows = *w.window().grdChannels->model();
        w.env.boxes.answers = {MsgAnswer::Cancel};
        w.type(9, ChannelField::Name, "NEW");
        QVERIFY(w.env.boxes.texts().value(0).startsWith("ch 9 is masked on the radio"));
        QVERIFY(DecodeChannelAt(w.held(), 9).masked && w.steps().count() == 0);
        w.select({9});
        w.window().mnuUnmask->trigger();
        QCOMPARE(w.window().lblStatus->text(), "Unmasked: the radio shows them again");
        QCOMPARE(ChannelBytes(w.held(), 9).mid(1), ChannelBytes(FixtureImage(), 9).mid(1));
        QCOMPARE(w.text(9, ChannelField::Name), "SIMPL");
        w.window().cboList->setCurrentIndex(2);
        QCOMPARE(w.window().lblUsed->text(), "0 of 100 used, 100 shown");
        QVERIFY(w.window().grdChannels->isColumnHidden(int(kBanks)));
        QVERIFY(rows.setData(rows.index(0, int(ChannelField::Frequency)), "146"));
        QVERIFY(rows.setData(rows.index(1, int(ChannelField::Frequency)), "144"));
        QCOMPARE(DecodeChannelAt(w.held(), 1002).frequencyHz, 144'000'000);
        QVERIFY(rows.index(1, int(ChannelField::Frequency))
                    .data(Qt::ToolTipRole)
                    .toString()
                    .startsWith("L1 146.000000 is above U1 144.000000"));
        QCOMPARE(w.column(ChannelField::Number).mid(0, 3), (QStringList{"L1", "U1", "L2"}));
        w.env.files.answers = {w.at("pms.csv")};  // Export takes the list shown
        w.env.form().mnuExportChannels->trigger();
        QVERIFY(fileBytes(w.at("pms.csv"))
                    .endsWith("\n2,,144.000000,,0.000000,,88.5,88.5,023,NN,023,"
                              "Tone->Tone,FM,5.00,,5.0W,,,,,\n"));
    }

    // The Edit menu's order commands on the selection, each one step or a refusal with the
    // reason; go to a channel the filters hide shows it.
    void orderCommands_data() {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("names");  // channels 1-5 after it
        QTest::addColumn<QString>("status");
        QTest::newRow("delete, shift up") << QList<int>{2, 4} << "mnuDeleteShift"
                                          << "SIMPLEX,AIR,RPT1,PMR,Q9 a,^? ..Z"
                                          << "Deleted 2 channels and shifted the channels below up";
        QTest::newRow("sort by name") << QList<int>{1, 2, 3, 4, 5} << "sort"
                                      << "AIR,FM,RPT,RPT1,SIMPLEX"
                                      << "Sorted channels 1-5 by Name";
        QTest::newRow("filtered: a sort of all shown moves no hidden channel")
            << QList<int>{2, 5} << "filtered sort"
            << "SIMPLEX,RPT1,AIR,FM,RPT"
            << "Sorted 2 selected channels of 2-5 by Name";
        QTest::newRow("filtered: a move passes over hidden channels")
            << QList<int>{5} << "filtered mnuMoveUp"
            << "SIMPLEX,RPT1,AIR,FM,RPT"
            << "Moved 1 channel up";
        QTest::newRow("first cannot move up")
            << QList<int>{1, 2} << "mnuMoveUp"
            << "SIMPLEX,RPT,AIR,FM,RPT1"
            << "Channel 1 is the first channel: the selection cannot move up";
        QTest::newRow("set for selected") << QList<int>{1, 3} << "set"
                                          << "SIMPLEX,RPT,AIR,FM,RPT1"
                                          << "Set Power on 2 channels";
        QTest::newRow("set a bad value") << QList<int>{1, 3} << "badset"
                                         << "SIMPLEX,RPT,AIR,FM,RPT1"
                                         << "Channel 1: Power";
    }
    void orderCommands() {
        QFETCH(QList<int>, selected);
        QFETCH(QString, command);
        QFETCH(QString, names);
        QFETCH(QString, status);
        Window w;
        w.hold(FixtureImage());
        if (command.startsWith("filtered"))
            w.window().txtFilter->setText("RPT");  // shows 2 and 5
        w.select(selected);
        if (command.endsWith("sort"))
            w.window().SortSelected(ChannelField::Name,
                                    command == "sort" ? Qt::AscendingOrder : Qt::DescendingOrder);
        else if (command.endsWith("set"))
            w.window().SetForSelected(ChannelField::Power, command == "set" ? "L2 1 W" : "lots");
        else
            w.window().findChild<QAction*>(command.section(' ', -1))->trigger();
        QCOMPARE(w.names(1, 5), names);
        QCOMPARE(w.window().lblStatus->text().left(status.size()), status);
        QCOMPARE(w.steps().count(), status.startsWith("Channel") ? 0 : 1);
        if (command == "set")
            QCOMPARE(w.text(3, ChannelField::Power), "L2 1 W");
        w.window().txtFilter->setText("RPT");
        w.window().GoTo(900);
        QCOMPARE(w.window().grdChannels->currentIndex().data().toString(), "900");
    }

    // Channels another program stored with mode code 3: the Mode cell and the status line
    // explain the mode, and Export names them in its box.
    void foreignMode_data() {
        QTest::addColumn<QString>("said");  // in the tooltip, the box or the status line
        const QString note = kForeignModeNote;
        QTest::newRow("tooltip") << note;
        QTest::newRow("status line, channel 3 current") << "Channel 3: " + note;
        QTest::newRow("export") << "channels 3, 5-6 left out: " + note;
    }
    void foreignMode() {
        QFETCH(QString, said);
        const QString action = QTest::currentDataTag();
        QByteArray image = FixtureImage();
        for (int n : {3, 5, 6})  // mode code 3
            image[ChannelLayout::kChannelsOffset + 32 * (n - 1) + 1] |= char(0xC0);
        Window w;
        w.hold(image);
        w.env.files.answers = {w.at("out")};
        if (action == "export")
            w.env.form().mnuExportChannels->trigger();
        w.window().selectNumbers({3, 5});
        const QString shown = action == "tooltip"
                                  ? w.cell(3, ChannelField::Mode).data(Qt::ToolTipRole).toString()
                              : action == "export" ? w.env.boxes.texts().value(0)
                                                   : w.window().lblStatus->text();
        QVERIFY2(shown.contains(said), qPrintable(shown));
    }

    // The keyboard and many rows: after Go to Channel the table has the focus, so that a
    // paste goes where it went; the current cell shows in its selected row; Shift+F10 opens
    // the table's menu. A double-click on one of several selected rows edits the field of
    // them all; Set for Selected says how many channels it changes and sets banks too.
    void keyboardAndManyRows() {
        Window w;
        w.hold(FixtureImage());
        w.select({1, 2});
        w.keys(Qt::CTRL | Qt::Key_C);
        w.answer([](QDialog* box) {
            static_cast<QInputDialog*>(box)->setIntValue(30);
            box->accept();
        });
        w.keys(Qt::CTRL | Qt::Key_G);
        QVERIFY(QTest::qWaitForWindowActive(&w.window()));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
        QVERIFY(w.window().lblStatus->text().startsWith("Pasted 2 channels at 30-31"));
        QTableView* grid = w.window().grdChannels;
        const QImage shot = grid->viewport()->grab().toImage();
        const QPoint current = grid->visualRect(grid->currentIndex()).topLeft() + QPoint(2, 2);
        QVERIFY(shot.pixel(current) != shot.pixel(current + QPoint(grid->columnWidth(0), 0)));
        QTest::keyClick(grid, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(QApplication::activePopupWidget(), w.window().mnuContext);
        w.window().mnuContext->close();
        w.select({1, 2, 3});
        const QPoint at = grid->visualRect(w.cell(2, ChannelField::Power)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, at);  // as a window system sends
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(grid->viewport(), Qt::LeftButton, {}, at);
        w.type(2, ChannelField::Power, "L2 1 W");  // in the list the double-click opened
        QCOMPARE(w.text(1, ChannelField::Power) + w.text(3, ChannelField::Power), "L2 1 WL2 1 W");
        QString heading;
        w.answer([&](QDialog* box) {
            heading = box->findChild<QLabel*>("lblHeading")->text();
            const auto lists = box->findChildren<QComboBox*>();
            lists[0]->setCurrentIndex(lists[0]->findText("Banks"));
            lists[1]->setEditText("24");
            box->accept();
        });
        w.window().mnuSetSelected->trigger();
        QCOMPARE(heading, "Changes 3 channels.");
        QCOMPARE(DecodeBank(w.held(), 24).members, (QList<int>{1, 2, 3}));
    }

    // A move, an insert and a bulk edit, then saved and opened again: the channels and bank 1
    // are where the three put them. (Undo and redo of every step: test_edit_commit.)
    void orderSavedAndReopened() {
        Window w;
        w.hold(FixtureImage());
        w.select({2});
        w.keys(Qt::CTRL | Qt::Key_Down);  // RPT below AIR
        QCOMPARE(w.window().selectedNumbers(), QList<int>{3});
        w.select({1});
        w.keys(Qt::Key_Insert);  // 1-8 shift down to 2-9
        w.select({2, 3, 4});
        w.type(3, ChannelField::Power, "L2 1 W");
        QCOMPARE(w.steps().count(), 3);
        w.env.files.answers = {w.at("ordered.img"), w.at("ordered.img")};
        w.env.form().mnuSaveImageAs->trigger();
        w.hold(FixtureImage());
        w.env.form().mnuOpenImage->trigger();
        const QByteArray image = w.held();
        QCOMPARE(w.names(1, 5), ",SIMPLEX,AIR,RPT,FM");
        for (int n = 2; n <= 5; ++n)
            QCOMPARE(DecodeChannelAt(image, n).text(ChannelField::Power),
                     n < 5 ? "L2 1 W" : "L3 2.5 W");
        // Slot 10's bytes (used, not valid: empty) moved up to 1; the masked 9 shifted to 10.
        QCOMPARE(image.mid(ChannelLayout::kFlagsOffset, 10).toHex(), "02030303070bf303ff01");
        QCOMPARE(image.mid(ChannelLayout::kChannelsOffset + 4 * 32, 32),
                 QByteArray::fromHex(kFixtureChannels[3].record));
        QCOMPARE(image.mid(ChannelLayout::kBankInUseOffset, 4).toHex(), "0006ffff");
        QCOMPARE(image.mid(ChannelLayout::kBankMembersOffset, 8).toHex(), "000100030383ffff");
    }

    // Closing with unsaved edits asks; only Save and Discard let the program end, and a save
    // that does not happen keeps it open with the edits.
    void closingAsks_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("question");
        QTest::addColumn<bool>("closed");
        QTest::addColumn<bool>("saved");
        QTest::newRow("Save") << "x.img" << MsgAnswer::Save << "Save changes to x.img?" << true
                              << true;
        QTest::newRow("Discard") << "x.img" << MsgAnswer::Discard << "Save changes to x.img?"
                                 << true << false;
        QTest::newRow("Cancel") << "x.img" << MsgAnswer::Cancel << "Save changes to x.img?" << false
                                << false;
        QTest::newRow("Save, read image, dialog cancelled")
            << "" << MsgAnswer::Save
            << "Save changes to VX-8R_" + QDate::currentDate().toString("yyyy-MM-dd") + ".img?"
            << false << false;
    }
    void closingAsks() {
        QFETCH(QString, path);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, question);
        QFETCH(bool, closed);
        QFETCH(bool, saved);
        Window w;
        w.hold(FixtureImage(), path.isEmpty() ? path : w.at(path));
        w.type(1, ChannelField::Name, "CALL");
        const QByteArray edited = w.held();
        w.env.boxes.answers = {answer};
        QCOMPARE(w.env.form().close(), closed);
        QCOMPARE(w.env.boxes.texts(), QStringList{question});
        QCOMPARE(w.env.quitRequests, int(closed));
        QCOMPARE(w.held(), edited);
        QCOMPARE(fileBytes(w.at("x.img")).left(CloneLayout::kImageSize),
                 saved ? edited : QByteArray());
        QCOMPARE(w.env.form().isWindowModified(), !saved);
    }

    // Read Radio asks too; Cancel reads nothing.
    void readAsksFirst() {
        Window w;
        w.hold(FixtureImage());
        w.type(1, ChannelField::Name, "CALL");
        w.env.boxes.answers = {MsgAnswer::Cancel};
        w.env.form().cmdRead->click();
        QVERIFY(w.radio.pcBytes.isEmpty() && w.window().isWindowModified());
    }

    // Write Radio sends the edited image, with its checksum right; nothing changes it while
    // the blocks go out.
    void writeSendsTheEdits() {
        Window w;
        w.hold(w.radio.identity + w.radio.memory + '\0');
        w.type(5, ChannelField::Frequency, "145.5");
        QString midWrite;
        w.env.clock.afterMs(5000, [&] {
            midWrite = w.env.form().imageEdits->setField(6, ChannelField::Frequency, "145.6");
        });
        w.env.form().cmdWriteRig->click();
        QCOMPARE(midWrite, "The channels cannot change while a transfer runs.");
        QVERIFY(w.radio.writesReceived == 1 && w.radio.lastWriteChecksumOk);
        const QByteArray written = w.radio.identity + w.radio.lastWriteImage + '\0';
        QCOMPARE(DecodeChannels(written)[4].text(ChannelField::Frequency), "145.500000");
        QCOMPARE(w.radio.lastWriteImage, w.held().mid(10, SimRadio::kDataSize));
    }

    // Import takes a CSV as one step; with refused rows it lists them and imports the others
    // only when asked. Export writes the channels in use and names what it left out; the PDF
    // export says why it wrote nothing.
    void importAndExport() {
        Window w;
        w.hold(FixtureImage());
        // Another program's export: a channel 0, a step the radio lacks, a tone mode it lacks.
        QVERIFY(writeBytes(w.at("bad.csv"),
                           "Location,Frequency,TStep,Tone\n0,146.52,5.00,\n"
                           "3,146.52,125.00,\n4,146.52,,Cross\n"));
        QVERIFY(writeBytes(w.at("good.csv"), "Location,Name,Frequency\n1,CALL,146.55\n2,,\n"));
        QVERIFY(writeBytes(w.at("q.csv"), "Location,Frequency\n1,\"146.52\n"));
        w.env.files.answers = {w.at("q.csv"), w.at("bad.csv"), w.at("bad.csv"), w.at("good.csv"),
                               w.at("out")};
        w.env.form().mnuImportChannels->trigger();
        QCOMPARE(w.env.boxes.texts().last(), "Nothing was imported from " + w.at("q.csv") +
                                                 ": line 2: a quote opened here is never closed.");
        for (const MsgAnswer answer : {MsgAnswer::Cancel, MsgAnswer::Ok}) {
            w.env.boxes.answers = {answer};
            w.env.form().mnuImportChannels->trigger();
        }
        const auto& asked = w.env.boxes.shown[w.env.boxes.shown.size() - 2];
        QVERIFY(asked.text.endsWith("is refused:\r\n\r\nline 4: Tone mode Cross (no CrossMode) "
                                    "is a pair the radio cannot make: it has Tone, TSQL and DTCS, "
                                    "each the same both ways") &&
                asked.okCaption == "Import the 1 good row");
        QVERIFY(w.env.boxes.texts().last().contains("line 2: Location 0 skipped"));
        QVERIFY(w.steps().count() == 1 && w.text(3, ChannelField::Step) == "20.00");
        w.steps().undo();
        w.env.form().mnuImportChannels->trigger();
        QVERIFY(w.env.boxes.texts().last().startsWith("Imported 1 channel from"));
        QVERIFY(w.text(1, ChannelField::Name) == "CALL" && DecodeChannels(w.held())[1].empty);
        w.steps().undo();
        QCOMPARE(w.held(), CloneImage(FixtureImage()).bytes());
        w.env.form().mnuExportChannels->trigger();
        QCOMPARE(fileBytes(w.at("out.csv")).count('\n'), 8);
        QVERIFY(
            w.env.boxes.texts().last().endsWith("channel 8 left out: Frequency ? does not decode"));
        w.env.files.answers = {w.at("none/list"), w.at("list")};
        w.env.form().mnuExportChannelsPdf->trigger();
        QVERIFY(w.env.boxes.texts().last().startsWith("Cannot save"));
        w.env.form().mnuExportChannelsPdf->trigger();
        QVERIFY(fileBytes(w.at("list.pdf")).startsWith("%PDF"));
        // "Pocket card" exports the card, so titled; Cancel asks for no file.
        w.env.boxes.answers = {MsgAnswer::No, MsgAnswer::Ok, MsgAnswer::Cancel};
        w.env.files.answers = {w.at("card.pdf"), w.at("never.pdf")};
        w.env.form().mnuExportChannelsPdf->trigger();
        QVERIFY(fileBytes(w.at("card.pdf")).contains(QByteArray("\0c\0a\0r\0d", 8)));
        w.env.form().mnuExportChannelsPdf->trigger();
        QCOMPARE(w.env.files.answers.size(), size_t(1));
    }
};

// A 1366 x 768 screen, the common laptop one: room for the editor beside the main window.
int main(int argc, char** argv) {
    return runOnScreen<ChannelsWindowTest>(1366, 768, argc, argv);
}
#include "test_ui_channels.moc"
