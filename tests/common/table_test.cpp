// The tables of tests/data are read as strictly as code: every file as its suite reads it, and
// each kind of mistake, fed from the text here, fails with its file and line.
#include <QDir>

#include "table.h"

namespace vantel::table {
namespace {

TEST(Tables, EveryDataFileReadsWithoutAMistake) {
    const QStringList files = QDir(QStringLiteral(VANTEL_TEST_DATA)).entryList({u"*.txt"_qs});
    ASSERT_GE(files.size(), 24);
    for (const QString &file : files) {
        try {
            Check(file.toStdString(), Text(file.toLatin1().constData()));
        } catch (const Error &e) {
            ADD_FAILURE() << e.what();
        }
    }
}

TEST(Tables, EveryMistakeFailsWithItsFileAndLine) {
    const struct {
        const char *file, *text, *error;
    } mistakes[] = {
        // A row before the first header, an unknown kind, step or check.
        {"link-roads.txt", "raod A\nroad B\nphone\n", "link-roads.txt:1: stands before"},
        {"link-faults.txt", "# c\nfualt A\nfault B\n", "link-faults.txt:2: stands before"},
        {"pdu-names.txt", "a | b\n[S.N] Call\nx | y\n", "pdu-names.txt:1: stands before"},
        {"pdu-names.txt", "[S.N] Call\n  x | y\n", "pdu-names.txt:2: goes on no row"},
        {"pdu-names.txt", "[S.N]\nx | y\n", "pdu-names.txt:1: a header"},
        {"link-vectors.txt", "boundary - 1003 0 -1\nboundry 00 00 0 0\n", "link-vectors.txt:2:"},
        {"link-vectors.txt", "frameend 1002031003FFFD 0\n", "link-vectors.txt:1: frameend needs"},
        {"link-roads.txt", "road A\nretreive\n", "link-roads.txt:2: unknown step"},
        {"link-roads.txt", "road A\nexpect wrot 0x00\n", "link-roads.txt:2: unknown check"},
        {"cli-runs.txt", "> out\n$ frame 03\n", "cli-runs.txt:1: stands before"},
        {"cli-runs.txt", "$ frame 03\n>x\n", "cli-runs.txt:2: unknown step"},
        {"dialogs-close.txt", "view|CloseButton\nview\n", "dialogs-close.txt:2: 1 cells"},
        {"core-real-pdus.txt", "at-sms/02 0791 00\n", "core-real-pdus.txt:1: not"},
        {"bench-mix.txt", "0791\n07 91\n", "bench-mix.txt:2: not a PDU"},
        {"notes.txt", "anything\n", "notes.txt: no reader"},
        // A check or counter without its value.
        {"link-roads.txt", "road A\nexpect logged\n", "link-roads.txt:2: logged without"},
        {"link-roads.txt", "road A\n\nexpect head\n", "link-roads.txt:3: head without"},
        {"link-roads.txt", "road A\nexpect tail \n", "link-roads.txt:2: tail without"},
        {"link-roads.txt", "road A\nexpect wrote\n", "link-roads.txt:2: wrote without"},
        {"link-roads.txt", "road A\nexpect wrote^\n", "link-roads.txt:2: wrote^ without"},
        {"link-roads.txt", "road A\nexpect wrote$\n", "link-roads.txt:2: wrote$ without"},
        {"link-roads.txt", "road A\nexpect #sent\n", "link-roads.txt:2: #sent without"},
        {"link-roads.txt", "road A\nexpect count 1\n", "link-roads.txt:2: count without"},
        {"link-roads.txt", "road A\nsend\n", "link-roads.txt:2: send without"},
        {"link-roads.txt", "road A\nretrieve 2\n", "link-roads.txt:2: retrieve takes no"},
        {"cli-runs.txt", "$ frame\n?\n", "cli-runs.txt:2: ? without"},
        // Steps only where they have an effect.
        {"link-roads.txt", "road A\nphone\ndisk full\n", "link-roads.txt:3: unknown step"},
        {"link-roads.txt", "road A\nunsent\n", "link-roads.txt:2: unknown step"},
        {"phonesim-sessions.txt", "session A\nretrieve\n", "phonesim-sessions.txt:2: unknown"},
        // The checks of a fault run stand under "after the run:", nothing else does.
        {"link-faults.txt", "fault A\nexpect #sent 1\nphone\n", "link-faults.txt:2: a check above"},
        {"link-faults.txt", "fault A\nafter the run:\nunsent\n", "link-faults.txt:3: only checks"},
        // Negative checks name what a positive one shows can appear; cells match something.
        {"link-roads.txt", "road A\nexpect wrote 0x1002\nexpect wrote! 0x1003\n",
         "link-roads.txt:3: no check shows \"1003\""},
        {"link-roads.txt", "road A\nexpect tail Messages Retrieved\nexpect unlogged Mesages\n",
         "link-roads.txt:3: no check shows"},
        {"link-roads.txt", "road A\nexpect count 1 Sent\nexpect count 0 Snet|Sent\n",
         "link-roads.txt:3: no check shows \"Snet\""},
        {"link-roads.txt", "road A\nexpect lines 0 MGS:\n", "link-roads.txt:2: no check shows"},
        {"pdu-names.txt", "[S.N] Call\nx | **\n", "pdu-names.txt:2: a cell that matches"},
        // A malformed line of a key=value record.
        {"pdu-real.txt", "name=a\npdu=00\ndcs 00\ntext=x\n", "pdu-real.txt:3: no key="},
        {"pdu-real.txt", "name=a\n\ndcs=00\n", "pdu-real.txt:3: stands before name"},
        {"pdu-real.txt", "name=a\nname=b\n", "pdu-real.txt:2: a second name"},
    };
    for (const auto &m : mistakes) {
        try {
            Check(m.file, QString::fromUtf8(m.text));
            ADD_FAILURE() << m.file << " accepted:\n" << m.text;
        } catch (const Error &e) {
            EXPECT_EQ(std::string(e.what()).substr(0, strlen(m.error)), m.error) << m.text;
        }
    }
    // The CSV reader takes RFC 4180 only: each of these is refused.
    for (const char *csv :
         {"a,b\r\n\"c\r\n", "a,b\r\nc\"d,e\r\n", "a\nb\r\n", "a,b\r\nc\r\n", "\"a\"b\r\n", "a,b"}) {
        EXPECT_THROW(CsvRecords(csv), Error) << csv;
    }
    EXPECT_EQ(CsvRecords("a,\"b,\"\"\r\n\",\r\n"),
              (QList<QStringList>{{u"a"_qs, u"b,\"\r\n"_qs, QString()}}));
    // Octets are compared whole: 10 03 does not stand in 01 00 30 0A.
    EXPECT_EQ(OctetIndex(u"0100300A10030A"_qs, u"1003"_qs), 4);
    EXPECT_EQ(OctetIndex(u"0100300A"_qs, u"1003"_qs), -1);
}

}  // namespace
}  // namespace vantel::table
