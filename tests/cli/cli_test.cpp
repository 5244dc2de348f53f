// The vantel-pdu command contract, checked by running the program as a process: the runs of
// tests/data/cli-runs.txt (arguments, input, exit status and the whole output), and the road of
// its own that many listed PDUs take, compared byte for byte with the general one. The same
// table holds the command lines of vantel and vantel-phonesim that end before they start work.

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include "table.h"

namespace {

struct Outcome {
    QByteArray out, err;
    int exitCode = 0;
};

Outcome RunProgram(const QString &program, const QStringList &args, const QByteArray &input = {}) {
    QProcess p;
    // In a folder of its own, without a display: what answers must not need one.
    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QString::fromLatin1(name));
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(dir.path());
    p.start(program, args);
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000)) << args.join(u' ').left(100).toStdString();
    const int code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    return {p.readAllStandardOutput(), p.readAllStandardError(), code};
}

Outcome RunPdu(const QStringList &args, const QByteArray &input = {}) {
    return RunProgram(QStringLiteral(VANTEL_PDU), args, input);
}

// \r, \n and X{N} of the data file.
QString Unescaped(QString text) {
    static const QRegularExpression repeat(QStringLiteral("(.)\\{(\\d+)\\}"));
    for (auto m = repeat.match(text); m.hasMatch(); m = repeat.match(text))
        text.replace(m.capturedStart(), m.capturedLength(),
                     m.captured(1).repeated(m.captured(2).toInt()));
    return text.replace(QStringLiteral("\\r"), QStringLiteral("\r"))
        .replace(QStringLiteral("\\n"), QStringLiteral("\n"));
}

TEST(VantelPdu, EveryRunOfTheTableGivesItsOutputAndExitStatus) {
    std::vector<std::pair<QString, Outcome>> runs;  // the arguments as written, and what to get
    QList<QByteArray> inputs;
    for (const vantel::table::Record &r :
         vantel::table::Records("cli-runs.txt", vantel::table::kCliRun)) {
        ASSERT_TRUE(r.error.isEmpty()) << r.error;
        Outcome &want = runs.emplace_back(r.name, Outcome{}).second;
        QByteArray &input = inputs.emplace_back();
        for (const vantel::table::Line &line : r.lines) {
            const QChar key = line.text[0];
            const QByteArray rest =
                line.text.mid(2).toUtf8().replace("{VERSION}", VANTEL_VERSION);
            if (key == u'<') input += Unescaped(line.text.mid(2)).toUtf8();
            if (key == u'?') want.exitCode = rest.toInt();
            if (key == u'~') want.out = '~' + rest;  // words the output must hold
            if (key == u'>' || key == u'!') (key == u'>' ? want.out : want.err) += rest + '\n';
        }
    }
    ASSERT_GE(runs.size(), 50u);
    const QMap<QString, QString> programs{
        {QStringLiteral("vantel-pdu"), QStringLiteral(VANTEL_PDU)},
        {QStringLiteral("vantel"), QStringLiteral(VANTEL)},
        {QStringLiteral("vantel-phonesim"), QStringLiteral(VANTEL_PHONESIM)}};
    for (size_t i = 0; i < runs.size(); ++i) {
        const auto &[command, want] = runs[i];
        SCOPED_TRACE(command.left(120).toStdString());
        QStringList argv = QProcess::splitCommand(command);
        for (QString &arg : argv)
            arg = Unescaped(arg);
        // A run names its program first unless it is vantel-pdu's.
        const QString program = programs.contains(argv.value(0)) ? argv.takeFirst()
                                                                 : QStringLiteral("vantel-pdu");
        const Outcome got = RunProgram(programs[program], argv, inputs[qsizetype(i)]);
        EXPECT_EQ(got.exitCode, want.exitCode);
        EXPECT_EQ(got.err.toStdString(), want.err.toStdString());
        const bool words = want.out.startsWith('~');  // then only these words are looked for
        EXPECT_EQ((words ? want.out : got.out).toStdString(), want.out.toStdString());
        for (const QByteArray &word : words ? want.out.mid(1).split(' ') : QList<QByteArray>())
            EXPECT_TRUE(got.out.contains(word)) << word.constData();
    }
}

// Many listed PDUs on standard input take a road of their own (shared among the processors):
// every line must read exactly as the line of the frame the retrieval stores for it, in either
// case, with blanks around it, with CR LF or LF, and as --json gives it.
TEST(VantelPdu, SummaryOfManyListedPdusReadsAsTheLinesOfTheirFrames) {
    // Cut short; the last one's frame ends in a checksum octet 10, stuffed.
    QList<QByteArray> pdus{"", "0", "07911326040000F0040B9113", "07911326040000F0040B9113D0"};
    for (const vantel::table::Line &line :
         vantel::table::Lex("cli-listed-pdus.txt", vantel::table::Text("cli-listed-pdus.txt")))
        pdus << line.text.toLatin1();
    for (const auto &record :
         vantel::table::KeyRecords("pdu-real.txt", vantel::table::Text("pdu-real.txt"), u"name"_qs))
        for (const auto &[key, value] : record)
            if (key == u"pdu") pdus << value.toLatin1();
    ASSERT_GE(pdus.size(), 45);
    QByteArray input, contents;
    for (int round = 0; round < 30; ++round) {
        for (const QByteArray &pdu : pdus) {
            input += round % 3 == 1 ? pdu.toLower() : round % 3 ? "  " + pdu + ' ' : pdu;
            input += round % 2 ? "\r\n" : "\n";
            // The retrieval's MESSAGE content: the pairs of the line, a lone last digit left out.
            contents += "21067E0201" + pdu.left(pdu.size() / 2 * 2) + '\n';
        }
    }
    ASSERT_GT(input.size(), 1 << 16);
    const Outcome frames = RunPdu({"frame"}, contents);
    const Outcome general = RunPdu({"summary"}, frames.out);
    const Outcome fast = RunPdu({"summary", "--pdu"}, input);
    const Outcome json = RunPdu({"summary", "--pdu", "--json"}, input);
    EXPECT_EQ(frames.exitCode + general.exitCode + fast.exitCode + json.exitCode, 0);
    EXPECT_GT(fast.out.size(), input.size());
    EXPECT_TRUE(fast.out == general.out);
    // A line's text may hold a line break: the JSON lines are joined back the same way.
    QString fromJson;
    for (const QByteArray &line : json.out.split('\n'))
        if (!line.isEmpty()) fromJson += QJsonDocument::fromJson(line)["line"].toString() + '\n';
    EXPECT_TRUE(fromJson.replace("\r\n", "\n").toUtf8() == general.out);
}

// Input long enough to be shared among the processors: a line that is not hex is named by its
// number in the whole input, whichever part it fell in, and the lines around it are decoded.
TEST(VantelPdu, LinesThatAreNotHexAreNamedByTheirNumberInLongInput) {
    const QByteArray pdu = "0791198948004544040C9119894882006200007050307040042206CF35689E9603";
    const QList<int> bad{1, 2, 40000, 79999, 80000};
    QByteArray input, errors;
    for (int n = 1; n <= 80000; ++n) {
        input += (bad.contains(n) ? QByteArray("x") + QByteArray::number(n) : pdu) + '\n';
        if (bad.contains(n))
            errors += "vantel-pdu: line " + QByteArray::number(n) + ": Not hex digits\n";
    }
    const Outcome got = RunPdu({"summary", "--pdu"}, input);
    EXPECT_EQ(got.exitCode, 1);
    EXPECT_EQ(got.err.toStdString(), errors.toStdString());
    EXPECT_EQ(got.out.count('\n'), 80000 - bad.size());
}

}  // namespace
