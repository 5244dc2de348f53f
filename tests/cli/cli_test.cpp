// The vantel-pdu command contract, checked by running the program as a process: the runs of
// tests/data/cli-runs.txt (arguments, input, exit status and the whole output), and the road of
// its own that many listed PDUs take, compared byte for byte with the general one.

#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct Outcome {
    QString args;  // as written in the data file
    QByteArray in, out, err;
    int exitCode = 0;
};

Outcome RunPdu(const QStringList &args, const QByteArray &input = {}) {
    QProcess p;
    p.start(QStringLiteral(VANTEL_PDU), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    Outcome r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
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

QStringList Arguments(const QString &line) {
    QStringList words;
    QString word;
    bool quoted = false, started = false;
    for (const QChar c : line) {
        if (c == u'"') {
            quoted = !quoted;
            started = true;
        } else if (c == u' ' && !quoted) {
            if (started) words << Unescaped(word);
            word.clear();
            started = false;
        } else {
            word += c;
            started = true;
        }
    }
    if (started) words << Unescaped(word);
    return words;
}

std::vector<Outcome> ReadRuns() {
    QFile file(QStringLiteral(VANTEL_TEST_DATA "/cli-runs.txt"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    std::vector<Outcome> runs;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString rest = QString::fromUtf8(line.mid(2));
        if (line.startsWith('$'))
            runs.push_back({rest, {}, {}, {}, 0});
        else if (runs.empty() || line.isEmpty() || line.startsWith('#'))
            continue;
        else if (line.startsWith('<'))
            runs.back().in += Unescaped(rest).toUtf8();
        else if (line.startsWith('?'))
            runs.back().exitCode = rest.toInt();
        else if (line.startsWith('>'))
            runs.back().out += line.mid(2) + '\n';
        else if (line.startsWith('!'))
            runs.back().err += line.mid(2) + '\n';
        else
            ADD_FAILURE() << "unreadable line: " << line.constData();
    }
    return runs;
}

TEST(VantelPdu, EveryRunOfTheTableGivesItsOutputAndExitStatus) {
    const std::vector<Outcome> runs = ReadRuns();
    ASSERT_GE(runs.size(), 50u);
    for (const Outcome &want : runs) {
        SCOPED_TRACE("vantel-pdu " + want.args.left(120).toStdString());
        const Outcome got = RunPdu(Arguments(want.args), want.in);
        EXPECT_EQ(got.exitCode, want.exitCode);
        EXPECT_EQ(got.out.toStdString(), want.out.toStdString());
        EXPECT_EQ(got.err.toStdString(), want.err.toStdString());
        if (!want.args.contains(QStringLiteral("--json"))) continue;
        for (const QByteArray &line : got.out.split('\n'))
            EXPECT_TRUE(line.isEmpty() || QJsonDocument::fromJson(line).isObject()) << line.data();
    }
}

TEST(VantelPdu, HelpDocumentsEverySubcommand) {
    for (const QStringList &args : {QStringList{"--help"}, QStringList{"summary", "--help"}}) {
        const Outcome r = RunPdu(args);
        EXPECT_EQ(r.exitCode, 0);
        for (const char *word : {"technical", "describe", "summary", "frame", "validate", "encode",
                                 "--json", "--pdu-length", "--no-sca", "--mode"})
            EXPECT_TRUE(r.out.contains(word)) << word;
    }
}

// Many listed PDUs on standard input take a road of their own (shared among the processors):
// every line must read exactly as the line of the frame the retrieval stores for it, in either
// case, with blanks around it, with CR LF or LF, and as --json gives it.
TEST(VantelPdu, SummaryOfManyListedPdusReadsAsTheLinesOfTheirFrames) {
    QStringList pdus;
    QFile listed(QStringLiteral(VANTEL_TEST_DATA "/cli-listed-pdus.txt"));
    QFile real(QStringLiteral(VANTEL_TEST_DATA "/pdu-real.txt"));
    ASSERT_TRUE(listed.open(QIODevice::ReadOnly));
    for (const QByteArray &line : listed.readAll().split('\n'))
        if (!line.trimmed().isEmpty()) pdus << QString::fromLatin1(line.trimmed());
    ASSERT_GE(pdus.size(), 40);
    if (real.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : real.readAll().split('\n'))
            if (line.startsWith("pdu=")) pdus << QString::fromLatin1(line.mid(4).trimmed());
    }
    pdus << QString() << QStringLiteral("0") << QStringLiteral("07911326040000F0040B9113");
    QByteArray input, contents;
    for (int round = 0; round < 30; ++round) {
        for (const QString &pdu : pdus) {
            const QString variant = round % 3 == 1   ? pdu.toLower()
                                    : round % 3 == 2 ? QStringLiteral("  ") + pdu + u' '
                                                     : pdu;
            input += variant.toUtf8() + (round % 2 ? "\r\n" : "\n");
            // The retrieval's MESSAGE content: the pairs of the line, a lone last digit left out.
            contents += "21067E0201" + pdu.left(pdu.size() / 2 * 2).toLatin1() + '\n';
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
    QByteArray fromJson;
    for (const QByteArray &line : json.out.split('\n')) {
        if (line.isEmpty()) continue;
        QString text = QJsonDocument::fromJson(line)[QLatin1String("line")].toString();
        fromJson += text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).toUtf8() + '\n';
    }
    EXPECT_TRUE(fromJson == general.out);
}

}  // namespace
