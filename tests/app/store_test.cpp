#include <QSignalSpy>

#include "app/messagestore.h"
#include "windowfixture.h"

namespace vantel::test {
namespace {

const QString kIgnored = QStringLiteral("Duplicate Message Ignored");
const QString kSameTime = QStringLiteral("Duplicate Timestamp - different message");

class StoreTest : public ::testing::Test {
protected:
    QByteArray listFile() {
        QFile f(store.filePath(MessageListFile));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QStringList traced;
    MessageStore store{[this](const QString &t) { traced << t; }, QDir(dir.path())};
};

// A duplicate is listed once; every other entry with the same time gets a note, also when the
// line is a duplicate; a removed line can come again; damaged frames are listed as received.
TEST_F(StoreTest, DuplicatesAreListedOnceAndSharedTimeStampsNoted) {
    QSignalSpy labels(&store, &MessageStore::countChanged);
    const QString first = DeliverFrame("4412345", "030101120000", "first");
    const QString second = DeliverFrame("4412345", "030101120000", "second");
    const QString steps[] = {first,
                             first,
                             second,
                             first,
                             "-",
                             "-",
                             "-",
                             first,
                             "10022101001003FFFF",
                             "garbage with spaces"};
    const QStringList notes[] = {{}, {kIgnored}, {kSameTime}, {kSameTime, kIgnored}, {}, {}, {},
                                 {}, {},         {kSameTime}};
    for (int i = 0; i < 10; ++i) {
        traced.clear();
        // The third removal finds nothing left; a duplicate adds "true" too.
        EXPECT_TRUE(steps[i] == u"-" ? (store.RemoveMessage(0), true)
                                     : store.AddMessage(steps[i]) == (i < 8))
            << i;
        EXPECT_EQ(traced, notes[i]) << i;
    }
    QStringList seen;
    for (const auto &args : labels)
        seen << args.at(0).toString();
    EXPECT_EQ(seen, (QStringList{" 1 item", " 2 items", " 1 item", " 0 items", " 1 item",
                                 " 2 items", " 3 items"}));
    const QString damaged = QStringLiteral("<invalid checksum>") + QString(72, u' ');
    EXPECT_EQ(store.model().items().filter(damaged).size(), 2);
    EXPECT_EQ(store.frameAt(store.model().indexOf(damaged + "garbage with spaces")),
              u"garbage with spaces");
}

TEST_F(StoreTest, BatchAddMatchesOneByOneAdds) {
    QStringList frames = {"bad", "bad", "worse"};
    for (int i = 0; i < 40; ++i)
        frames << DeliverFrame(QString::number(1000 + i % 7),
                               QStringLiteral("0301011200%1").arg(i % 5, 2, 10, QChar(u'0')),
                               QStringLiteral("text %1").arg(i % 9));
    MessageStore single([&](const QString &t) { traced << t; });
    for (const QString &f : frames)
        single.AddMessage(f);
    const QStringList singleTrace = std::exchange(traced, {});
    store.AddMessages(frames.mid(0, 17));
    store.AddMessages(frames.mid(17));
    EXPECT_EQ(store.model().count(), 0);  // waiting for more
    store.flushPending();
    EXPECT_EQ(store.model().items(), single.model().items());
    EXPECT_EQ(traced, singleTrace);
    for (qsizetype i = 1; i < store.model().count(); ++i)
        EXPECT_FALSE(SortedListModel::lessThan(store.model().at(i), store.model().at(i - 1)));
}

TEST(SplitListFileTest, KeepsEveryLine) {
    const struct {
        QByteArray bytes;
        QStringList lines;
        bool loneCr = false;  // a CR alone ends a line too (the send queue)
    } cases[] = {
        {"a\r\nb\r\n", {"a", "b"}},
        {"a\r\nb", {"a", "b"}},  // no final line end
        {"a\nb\n", {"a", "b"}},
        {"a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"a\rb\r\n", {"a\rb"}},  // a lone CR stays in its line
        {"", {}},
        {"M\xfcller\r\n\x80\r\n", {u"M\u00fcller"_qs, u"\u20ac"_qs}},  // Windows-1252
        {"a\rb\rc\r", {"a", "b", "c"}, true},
        {"a\rb\nc\r\nd", {"a", "b", "c", "d"}, true},
        {"a\r\rb\r\r\n", {"a", "", "b", ""}, true},
        {"\r\n\r", {"", ""}, true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(SplitListFile(c.bytes, c.loneCr), c.lines) << c.bytes.toStdString();
        EXPECT_TRUE(!c.bytes.endsWith("\r\n") || c.loneCr || JoinListFile(c.lines) == c.bytes);
        // Taken a line at a time while a long file loads, the same lines come out.
        ListFileLines lines(c.bytes, c.loneCr);
        QStringList one;
        while (!lines.atEnd())
            one += lines.take(1).value(0, u"<none>"_qs);
        EXPECT_EQ(one, c.lines) << c.bytes.toStdString();
    }
}

// Appended frames reach the file as they come; a file read back loads every line, drops the
// duplicates and saves sorted, with damaged lines unchanged and a line end after the last.
TEST_F(StoreTest, ListFileRoundTripKeepsEveryLineOnceInSortedOrder) {
    EXPECT_FALSE(store.ReadListFile(MessageListFile).has_value());  // missing: nothing
    const QString late = DeliverFrame("111", "040101120000", "late");
    const QString early = DeliverFrame("222", "030101120000", "early");
    for (const QString &frame : {late, early, late})
        EXPECT_TRUE(store.AppendListFile(frame));
    EXPECT_EQ(listFile(), (late + "\r\n" + early + "\r\n" + late + "\r\n").toLatin1());
    QByteArray binary;
    for (int i = 1; i < 256; ++i)
        if (i != '\n' && i != '\r') binary += char(i);
    const QList<QByteArray> odd = {binary, QByteArray(2 * 1024 * 1024, 'A'), "1002 21 damaged"};
    QFile f(store.filePath(MessageListFile));
    ASSERT_TRUE(f.open(QIODevice::Append) && f.write(odd.join("\r\n")));  // no final line end
    f.close();

    const auto read = store.ReadListFile(MessageListFile);
    ASSERT_TRUE(read.has_value());
    store.AddMessages(*read);
    store.flushPending();
    EXPECT_EQ(store.model().count(), 5);
    EXPECT_TRUE(traced.contains(kIgnored));
    ASSERT_TRUE(store.SaveListFile());
    const QByteArray saved = listFile();
    EXPECT_TRUE(saved.startsWith((early + "\r\n" + late + "\r\n").toLatin1()));
    for (const QByteArray &line : odd)
        EXPECT_TRUE(saved.contains("\n" + line + "\r\n")) << line.left(30).toStdString();
    EXPECT_EQ(saved.size(), (early + late).size() + odd.join("").size() + 10);
}

TEST_F(StoreTest, FailedSaveLeavesTheOldFileWholeAndSaysSo) {
    ASSERT_TRUE(store.WriteListFile(MessageListFile, {"old contents"}));
    for (int i = 0; i < 200; ++i)
        store.AddMessage(DeliverFrame(QString::number(100000 + i), "030101120000", "message"));
    bool ok;
    {
        DiskFull full(4096);
        ok = store.SaveListFile();
    }
    EXPECT_FALSE(ok);
    EXPECT_EQ(listFile(), "old contents\r\n");
    EXPECT_TRUE(traced.contains(QStringLiteral("Error saving vantelq.dat: File too large")));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"vantelq.dat"});
    // A folder that has gone.
    MessageStore lost([this](const QString &t) { traced << t; }, QDir(dir.filePath("gone")));
    EXPECT_FALSE(lost.WriteListFile(AddressListFile, {"a"}));
    EXPECT_TRUE(traced.last().startsWith(u"Error saving smsaddr.dat: "))
        << traced.last().toStdString();
}

}  // namespace
}  // namespace vantel::test
