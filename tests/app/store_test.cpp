#include <gtest/gtest.h>

#include <sys/resource.h>

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <csignal>

#include "app/messagestore.h"
#include "frames.h"

namespace vantel {
namespace {

using test::DeliverFrame;
using test::StampText;

const QString kIgnored = QStringLiteral("Duplicate Message Ignored");
const QString kSameTime = QStringLiteral("Duplicate Timestamp - different message");

class StoreTest : public ::testing::Test {
protected:
    StoreTest() : store([this](const QString &t) { traced << t; }, QDir(dir.path())) {}

    QByteArray fileBytes(const QString &name) {
        QFile f(store.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void writeFile(const QString &name, const QByteArray &bytes) {
        QFile f(store.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QStringList lines() const { return store.model().items(); }

    QTemporaryDir dir;
    QStringList traced;
    MessageStore store;
};

TEST_F(StoreTest, ListLineHasFixedColumnsAndTheFrameFromColumn91) {
    const QString frame = DeliverFrame("31641600986", "020826193741", "How are you?");
    EXPECT_TRUE(store.AddMessage(frame));
    ASSERT_EQ(store.model().count(), 1);
    const QString line = store.model().at(0);
    EXPECT_EQ(line.left(18), StampText("020826193741") + u' ');
    EXPECT_EQ(line.mid(18, 21), QStringLiteral("31641600986").leftJustified(20) + u' ');
    EXPECT_EQ(line.mid(39, 51), QStringLiteral("How are you?").leftJustified(50) + u' ');
    EXPECT_EQ(line.mid(90), frame);
    EXPECT_EQ(store.frameAt(0), frame);
    EXPECT_EQ(store.countLabel(), u" 1 item");
}

TEST_F(StoreTest, LongTextAndAddressAreCutToTheirColumns) {
    const QString text(60, u'x');
    store.AddMessage(DeliverFrame("123456789012345678901234", "020826193741", text));
    const QString line = store.model().at(0);
    EXPECT_EQ(line.mid(18, 20), QStringLiteral("12345678901234567890"));
    EXPECT_EQ(line.mid(39, 50), QString(50, u'x'));
    EXPECT_EQ(line.at(89), u' ');
}

TEST_F(StoreTest, SameMessageTwiceIsListedOnceAndTraced) {
    const QString frame = DeliverFrame("4412345", "030101120000", "hello");
    store.AddMessage(frame);
    QSignalSpy added(&store, &MessageStore::messageAdded);
    EXPECT_TRUE(store.AddMessage(frame));  // the result does not tell a duplicate
    EXPECT_EQ(store.model().count(), 1);
    EXPECT_EQ(added.count(), 0);
    EXPECT_EQ(traced, QStringList{kIgnored});
}

TEST_F(StoreTest, DifferentMessagesWithOneTimeStampAreBothKeptWithANote) {
    store.AddMessage(DeliverFrame("4412345", "030101120000", "first"));
    store.AddMessage(DeliverFrame("4412345", "030101120000", "second"));
    EXPECT_EQ(store.model().count(), 2);
    EXPECT_EQ(traced, QStringList{kSameTime});
    // The note comes once for every entry sharing the time, also when the line is a duplicate.
    traced.clear();
    store.AddMessage(DeliverFrame("4412345", "030101120000", "first"));
    EXPECT_EQ(traced, (QStringList{kSameTime, kIgnored}));
}

TEST_F(StoreTest, DamagedFramesAreListedAsInvalidChecksum) {
    EXPECT_FALSE(store.AddMessage(QStringLiteral("10022101001003FFFF")));
    EXPECT_FALSE(store.AddMessage(QStringLiteral("garbage with spaces")));
    ASSERT_EQ(store.model().count(), 2);
    EXPECT_EQ(traced, QStringList{kSameTime});
    for (const QString &line : lines()) {
        EXPECT_TRUE(line.startsWith(QStringLiteral("<invalid checksum>") + QString(72, u' ')));
    }
    const int spaced = store.model().indexOf(QStringLiteral("<invalid checksum>") +
                                             QString(72, u' ') + "garbage with spaces");
    ASSERT_GE(spaced, 0);
    EXPECT_EQ(store.frameAt(spaced), u"garbage with spaces");
}

TEST_F(StoreTest, CountLabelFollowsAddsAndRemovals) {
    QSignalSpy labels(&store, &MessageStore::countChanged);
    store.AddMessage(DeliverFrame("111", "030101120000", "a"));
    store.AddMessage(DeliverFrame("222", "030101120001", "b"));
    store.RemoveMessage(0);
    store.RemoveMessage(0);
    store.RemoveMessage(0);  // nothing left: no change
    QStringList seen;
    for (const auto &args : labels)
        seen << args.at(0).toString();
    EXPECT_EQ(seen, (QStringList{" 1 item", " 2 items", " 1 item", " 0 items"}));
}

TEST_F(StoreTest, RemovedLineCanBeAddedAgain) {
    const QString frame = DeliverFrame("111", "030101120000", "a");
    store.AddMessage(frame);
    store.RemoveMessage(0);
    traced.clear();
    store.AddMessage(frame);
    EXPECT_EQ(store.model().count(), 1);
    EXPECT_TRUE(traced.isEmpty());
}

TEST_F(StoreTest, BatchAddMatchesOneByOneAdds) {
    QStringList frames;
    for (int i = 0; i < 40; ++i)
        frames << DeliverFrame(QString::number(1000 + i % 7),
                               QStringLiteral("0301011200%1").arg(i % 5, 2, 10, QChar(u'0')),
                               QStringLiteral("text %1").arg(i % 9));
    frames << QStringLiteral("bad") << QStringLiteral("bad") << QStringLiteral("worse");

    MessageStore single([&](const QString &t) { traced << t; });
    for (const QString &f : frames)
        single.AddMessage(f);
    const QStringList singleTrace = traced;
    traced.clear();

    store.AddMessages(frames.mid(0, 17));
    store.AddMessages(frames.mid(17));
    EXPECT_EQ(store.model().count(), 0);  // waiting for more
    store.flushPending();
    EXPECT_EQ(lines(), single.model().items());
    EXPECT_EQ(traced, singleTrace);
    for (qsizetype i = 1; i < lines().size(); ++i)
        EXPECT_FALSE(SortedListModel::lessThan(lines()[i], lines()[i - 1]));
}

TEST_F(StoreTest, ListFileRoundTripDropsDuplicatesAndKeepsSortedOrder) {
    const QString late = DeliverFrame("111", "040101120000", "late");
    const QString early = DeliverFrame("222", "030101120000", "early");
    store.AppendListFile(late);
    store.AppendListFile(early);
    store.AppendListFile(late);
    EXPECT_EQ(fileBytes("vantelq.dat"),
              (late + "\r\n" + early + "\r\n" + late + "\r\n").toLatin1());

    const auto read = store.ReadListFile(MessageListFile);
    ASSERT_TRUE(read.has_value());
    store.AddMessages(*read);
    EXPECT_EQ(traced, QStringList{kIgnored});
    ASSERT_TRUE(store.SaveListFile());
    EXPECT_EQ(fileBytes("vantelq.dat"), (early + "\r\n" + late + "\r\n").toLatin1());
}

TEST_F(StoreTest, MissingFileReadsAsNothing) {
    EXPECT_FALSE(store.ReadListFile(MessageListFile).has_value());
    writeFile("smsaddr.dat", "");
    EXPECT_EQ(store.ReadListFile(AddressListFile), QStringList());
}

struct SplitCase {
    const char *name;
    QByteArray bytes;
    QStringList lines;
};

TEST(SplitListFileTest, KeepsEveryLine) {
    const SplitCase cases[] = {
        {"crlf", "a\r\nb\r\n", {"a", "b"}},
        {"no final line end", "a\r\nb", {"a", "b"}},
        {"bare lf", "a\nb\n", {"a", "b"}},
        {"empty line inside", "a\r\n\r\nb\r\n", {"a", "", "b"}},
        {"lone cr stays in its line", "a\rb\r\n", {"a\rb"}},
        {"empty file", "", {}},
        {"windows-1252",
         "M\xfcller\r\n\x80\r\n",
         {QStringLiteral("M\u00fcller"), QStringLiteral("\u20ac")}},
    };
    for (const SplitCase &c : cases) {
        EXPECT_EQ(SplitListFile(c.bytes), c.lines) << c.name;
        if (!c.bytes.isEmpty() && c.bytes.endsWith("\r\n")) {
            EXPECT_EQ(JoinListFile(c.lines), c.bytes) << c.name;
        }
        // Taken a line at a time while a long file loads, the same lines come out.
        ListFileLines lines(c.bytes);
        QStringList one;
        while (!lines.atEnd()) {
            const QStringList next = lines.take(1);
            ASSERT_EQ(next.size(), 1) << c.name;
            one += next;
        }
        EXPECT_EQ(one, c.lines) << c.name;
    }
}

TEST_F(StoreTest, BadFileLoadsEveryGoodLineAndSavesDamagedLinesUnchanged) {
    const QString good1 = DeliverFrame("111", "030101120000", "one");
    const QString good2 = DeliverFrame("222", "030101120001", "two");
    QByteArray binary;
    for (int i = 1; i < 256; ++i)
        if (i != '\n' && i != '\r') binary += char(i);
    const QByteArray longLine(2 * 1024 * 1024, 'A');
    const QByteArray file = good1.toLatin1() + "\r\n" + binary + "\r\n" + longLine + "\r\n" +
                            "1002 21 damaged frame\r\n" + good2.toLatin1();  // no final line end
    writeFile("vantelq.dat", file);

    const auto read = store.ReadListFile(MessageListFile);
    ASSERT_TRUE(read.has_value());
    store.AddMessages(*read);
    store.flushPending();
    EXPECT_EQ(store.model().count(), 5);
    QStringList frames;
    for (int row = 0; row < store.model().count(); ++row)
        frames << store.frameAt(row);
    EXPECT_TRUE(frames.contains(good1));
    EXPECT_TRUE(frames.contains(good2));

    ASSERT_TRUE(store.SaveListFile());
    const QByteArray saved = fileBytes("vantelq.dat");
    for (const QByteArray &line : {good1.toLatin1(), binary, longLine,
                                   QByteArray("1002 21 damaged frame"), good2.toLatin1()})
        EXPECT_TRUE(saved.contains("\n" + line + "\r\n") || saved.startsWith(line + "\r\n"))
            << line.left(30).toStdString();
    EXPECT_TRUE(saved.endsWith("\r\n"));
}

TEST_F(StoreTest, FailedSaveLeavesTheOldFileWholeAndSaysSo) {
    const QByteArray old = "old contents\r\n";
    writeFile("vantelq.dat", old);
    for (int i = 0; i < 200; ++i)
        store.AddMessage(DeliverFrame(QString::number(100000 + i), "030101120000", "message"));

    // A disk that fills up: writes past 4 KiB fail.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit small = saved;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    const bool ok = store.SaveListFile();
    setrlimit(RLIMIT_FSIZE, &saved);

    EXPECT_FALSE(ok);
    EXPECT_EQ(fileBytes("vantelq.dat"), old);
    EXPECT_TRUE(traced.contains(QStringLiteral("Error saving vantelq.dat: File too large")))
        << traced.join(u'\n').toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"vantelq.dat"});
}

TEST_F(StoreTest, SaveIntoMissingFolderFailsWithTraceLine) {
    MessageStore lost([this](const QString &t) { traced << t; }, QDir(dir.filePath("gone")));
    EXPECT_FALSE(lost.WriteListFile(AddressListFile, {"a"}));
    ASSERT_EQ(traced.size(), 1);
    EXPECT_TRUE(traced[0].startsWith(u"Error saving smsaddr.dat: ")) << traced[0].toStdString();
}

}  // namespace
}  // namespace vantel
