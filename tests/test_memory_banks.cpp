#include <QtTest>

#include "memory/bankedit.h"
#include "memory/channeledit.h"
#include "memory/channelorder.h"
#include "support/channelfixture.h"

// Bank memberships changed directly and carried by the channel operations, checked against
// the bytes the radio keeps: the in-use word (0006 with members, FFFF without) at 0x054A +
// 2·bank and the ascending list of channel indexes, FFFF after the last, at 0x198A +
// 200·bank (banks counted from 0 there).
class BanksTest : public QObject {
    Q_OBJECT

    static ChannelField field(const QString& name) {
        for (int f = 0; f < kChannelFieldCount; ++f)
            if (ChannelFieldName(ChannelField(f)) == name)
                return ChannelField(f);
        return ChannelField::Number;
    }

    // One operation as the table writes it: "add 4 5" puts channel 5 in bank 4.
    static QString apply(QByteArray& img, const QString& op) {
        const QStringList w = op.split(' ');
        QList<int> n;
        for (const QString& part : w.mid(1, 3))
            n << part.section(',', 0, 0).toInt();
        QList<int> listed;  // "1,3" or "1-10"
        for (const QString& part : w.value(1).split(','))
            for (int c = part.section('-', 0, 0).toInt(); c <= part.section('-', -1).toInt(); ++c)
                listed << c;
        const QString verb = w[0];
        if (verb == "add")
            return AddToBank(img, n[0], n[1]);
        if (verb == "remove")
            return RemoveFromBank(img, n[0], n[1]);
        if (verb == "unmask")
            return UnmaskChannel(img, n[0]) ? QString() : "not masked";
        if (verb == "clear")
            return ClearChannel(img, n[0]), QString();
        if (verb == "copy")
            return PutChannelBytes(img, n[1], ChannelBytes(img, n[0])), QString();
        if (verb == "banks")
            return SetChannelBanks(img, n[0], {n.begin() + 1, n.end()});
        if (verb == "rename")
            return RenameBank(img, n[0], w[2]);
        if (verb == "up" || verb == "down")
            return MoveChannels(img, listed, verb == "up" ? -1 : 1);
        if (verb == "insert")
            return InsertChannel(img, n[0]);
        if (verb == "delete")
            return DeleteChannel(img, n[0]);
        if (verb == "sort")
            return SortChannels(img, listed, field(w[2]));
        return SetFieldOnChannels(img, listed, field(w[2]), w[3]);
    }

private slots:
    // Expected: "bank B WORD MEMBERS..." (FFFF fills the rest), "slot S C" (slot S holds
    // what channel C held), "ch N FIELD TEXT", "bytes OFFSET HEX"; or a refusal.
    void changes_data() {
        QTest::addColumn<QString>("ops");  // setup steps first, separated by ";"
        QTest::addColumn<QString>("refusal");
        QTest::addColumn<QStringList>("expected");
        auto row = [](const char* tag, const char* ops, const QStringList& expected,
                      const char* refusal = "") {
            QTest::newRow(tag) << QString(ops) << QString(refusal) << expected;
        };
        row("add to a bank not in use", "add 4 5", {"bank 4 0006 0004"});
        row("add: the list stays sorted", "add 1 5", {"bank 1 0006 0000 0001 0004 0383"});
        row("remove", "remove 1 2", {"bank 1 0006 0000 0383"});
        row("the last member removed", "remove 3 4", {"bank 3 FFFF"});
        row("clearing takes a channel out of its banks", "clear 4",
            {"bank 3 FFFF", "ch 4 Frequency "});
        row("a full bank refuses the 101st", "add 2 5", {},
            "Bank 2 FULL is full: a bank holds at most 100 channels");
        row("an empty channel joins no bank", "add 1 9", {}, "Channel 9 is empty");
        row("a channel's banks", "banks 5 1 3",
            {"bank 1 0006 0000 0001 0004 0383", "bank 3 0006 0003 0004"});
        row("a channel's banks, one full", "banks 5 1 2", {}, "Bank 2 FULL is full");
        row("a move carries memberships", "down 2",
            {"slot 3 2", "slot 2 3", "bank 1 0006 0000 0002 0383"});
        row("a run moves up", "up 3,4",
            {"slot 2 3", "slot 3 4", "slot 4 2", "bank 1 0006 0000 0003 0383", "bank 3 0006 0002"});
        row("no move up from channel 1", "up 1,5", {}, "Channel 1 is the first channel");
        // The masked channel 9 shifts with its neighbours, to the empty slot 10.
        row("an insert shifts members down to the empty slot", "insert 1",
            {"slot 1 10", "slot 2 1", "slot 10 9", "bank 1 0006 0001 0002 0383",
             "bank 3 0006 0004"});
        row("an insert in the skip-search list", "copy 1 950;copy 2 951;insert 950",
            {"slot 951 1", "slot 952 2", "slot 950 11", "bank 1 0000 0000 0001 FFFF 0384 0383"});
        row("no move up across lists", "copy 1 1001;up 1001", {}, "PMS L1 is the first entry");
        row("no insert without an empty slot below", "copy 1 900;insert 900", {},
            "No channel from 900 to 900 is empty");
        row("a delete shifts up to the next empty slot", "delete 1",
            {"slot 1 2", "slot 8 9", "ch 9 Frequency ", "bank 1 0006 0000 0383",
             "bank 3 0006 0002"});
        row("a sort carries memberships", "sort 1-10 Frequency",
            {"slot 1 8", "slot 2 4", "slot 6 1", "bank 1 0006 0003 0005 0383", "bank 3 0006 0001"});
        row("a sort of a channel listed twice", "sort 1,1,2 Frequency", {"slot 1 2", "slot 2 1"});
        row("unmask: the used bit set again", "unmask 9", {"bytes 2C52 03"});
        row("unmask: one not masked is refused", "unmask 1", {}, "not masked");
        row("a sort puts an empty slot last", "clear 1;sort 1-3 Frequency", {"ch 3 Frequency "});
        row("a bulk edit leaves the banks' bytes", "set 1,2 Tone 100.0",
            {"ch 1 Tone 100.0", "ch 2 Tone 100.0", "bank 1 0000 0000 0001 FFFF 0384 0383"});
        row("a bulk edit refused whole", "set 1,8 Name X", {},
            "Channel 8: Frequency ? does not decode");
        row("rename", "rename 2 CLUB", {"bytes 136E 0C151E0BFFFFFFFFFFFFFFFFFFFFFFFF"});
        row("a name outside the table", "rename 2 CAFÉ", {}, "Bank 2: Name \"CAFÉ\" holds É");
    }
    void changes() {
        QFETCH(QString, ops);
        QFETCH(QString, refusal);
        QFETCH(QStringList, expected);
        QByteArray img = BankFixtureImage();
        QStringList steps = ops.split(';');
        for (const QString& setup : steps.mid(0, steps.size() - 1))
            QCOMPARE(apply(img, setup), QString());
        const QByteArray before = img;
        const QString said = apply(img, steps.last());
        QVERIFY2(refusal.isEmpty() ? said.isEmpty() : said.startsWith(refusal), qPrintable(said));
        if (!said.isEmpty())
            QCOMPARE(img.toHex(), before.toHex());
        for (const QString& e : expected) {
            const QStringList w = e.split(' ');
            if (w[0] == "bank") {
                const int b = w[1].toInt() - 1;
                QCOMPARE(img.mid(ChannelLayout::kBankInUseOffset + 2 * b, 2).toHex().toUpper(),
                         w[2]);
                QCOMPARE(
                    img.mid(ChannelLayout::kBankMembersOffset + 200 * b, 200).toHex().toUpper(),
                    w.mid(3).join("").leftJustified(400, 'F'));
            } else if (w[0] == "slot") {
                QCOMPARE(ChannelBytes(img, w[1].toInt()),
                         ChannelBytes(BankFixtureImage(), w[2].toInt()));
            } else if (w[0] == "ch") {
                QCOMPARE(DecodeChannelAt(img, w[1].toInt()).text(field(w[2])), w[3]);
            } else {
                QCOMPARE(img.mid(w[1].toInt(nullptr, 16), w[2].size() / 2).toHex().toUpper(), w[2]);
            }
        }
        // The VFO records, with the region sums among them, are never touched, nor the final
        // checksum: the sums are the commit's.
        QVERIFY(img.mid(0x064A, 0x0300) == before.mid(0x064A, 0x0300) &&
                img.back() == before.back());
    }

    // Every field of a channel in two banks edited as the editor stores it, then over two
    // channels at once: the memberships remain.
    void editsKeepBanks() {
        QByteArray img = BankFixtureImage();
        QCOMPARE(SetChannelBanks(img, 5, {1, 3}), QString());
        const QStringList texts = {"CALL", "145.5", "+",  "0.6", "TSQL", "100.0",
                                   "754",  "AM",    "25", "L2",  "S"};
        for (int f = int(ChannelField::Name); f < kChannelFieldCount; ++f) {
            Channel ch = DecodeChannels(img)[4];
            QCOMPARE(SetChannelField(ch, ChannelField(f), texts[f - 1]), QString());
            QCOMPARE(StoreChannel(img, ch), QString());
            QCOMPARE(SetFieldOnChannels(img, {4, 5}, ChannelField(f), texts[f - 1]), QString());
            QCOMPARE(ChannelBanksText(DecodeBanks(img), 5), "1 3");
            QCOMPARE(ChannelBanksText(DecodeBanks(img), 4), "3");
        }
        QCOMPARE(DecodeChannels(img)[3].text(ChannelField::Skip), "S");
    }
};

QTEST_GUILESS_MAIN(BanksTest)
#include "test_memory_banks.moc"
