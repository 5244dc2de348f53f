// The vantel-pdu command contract, checked by running the program as a process. Expected values
// are worked out by hand from GSM 03.40 / 07.05; the frame builder below is the test's own.

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct Result {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Result RunPdu(const QStringList &args, const QByteArray &input = {}) {
    QProcess p;
    p.start(QStringLiteral(VANTEL_PDU), args);
    EXPECT_TRUE(p.waitForStarted(10000));
    p.write(input);
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(30000));
    Result r;
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// Every line of `out` must be one JSON object; returns them.
std::vector<QJsonObject> JsonLines(const QByteArray &out) {
    std::vector<QJsonObject> objects;
    EXPECT_TRUE(out.endsWith('\n'));
    for (const QByteArray &line : out.split('\n')) {
        if (line.isEmpty()) continue;
        QJsonParseError error;
        const QJsonDocument doc = QJsonDocument::fromJson(line, &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line.constData();
        EXPECT_TRUE(doc.isObject()) << line.constData();
        objects.push_back(doc.object());
    }
    return objects;
}

QJsonObject OneJson(const Result &r) {
    const auto objects = JsonLines(r.out);
    EXPECT_EQ(objects.size(), 1u) << r.out.constData();
    return objects.empty() ? QJsonObject{} : objects.front();
}

// GSM 07.05 Block-mode frame of hex content: DLE STX, content with 10 stuffed by 00, DLE ETX,
// two's-complement 16-bit sum high octet first (stuffed as well).
QString FrameHex(const QString &contentHex) {
    const QByteArray content = QByteArray::fromHex(contentHex.toLatin1());
    QByteArray out("\x10\x02", 2);
    unsigned sum = 0;
    auto put = [&out](unsigned char c) {
        out += char(c);
        if (c == 0x10) out += '\0';
    };
    for (const char c : content) {
        sum += static_cast<unsigned char>(c);
        put(static_cast<unsigned char>(c));
    }
    out += QByteArray("\x10\x03", 2);
    const unsigned check = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
    put(check >> 8);
    put(check & 0xFF);
    return QString::fromLatin1(out.toHex().toUpper());
}

// A message-list line: 17 columns of time, 20 of address, 50 of text, then the frame.
QString ListLine(QString time, QString address, QString text, const QString &frame) {
    auto column = [](QString s, QString fallback, int width) {
        if (s.isEmpty()) s = fallback;
        return (s + QString(width, u' ')).left(width);
    };
    return column(time, QStringLiteral("<no timestamp>"), 17) + u' ' +
           column(address, QStringLiteral("<no address>"), 20) + u' ' +
           column(text, QStringLiteral("<no text>"), 50) + u' ' + frame;
}

QByteArray Plain(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.toUtf8();
}

// --- frame and validate ------------------------------------------------------------------

TEST(VantelPdu, FrameBuildsStuffedFramesWithChecksum) {
    const struct {
        const char *content;
        const char *frame;
    } cases[] = {
        {"03", "1002031003FFFD"},
        {"220000", "10022200001003FFDE"},
        {"1E", "10021E1003FFE2"},
        {"F0", "1002F01003FF1000"},            // checksum low octet 10 stuffed
        {"f0", "1002F01003FF1000"},            // lower-case input
        {"101003", "100210001000031003FFDD"},  // content 10 stuffed
    };
    for (const auto &c : cases) {
        const Result plain = RunPdu({"frame", c.content});
        EXPECT_EQ(plain.exitCode, 0) << c.content;
        EXPECT_EQ(plain.out, QByteArray(c.frame) + '\n');
        const QJsonObject json = OneJson(RunPdu({"frame", "--json", c.content}));
        EXPECT_EQ(json.value("frame").toString(), QLatin1String(c.frame));
    }
}

TEST(VantelPdu, FrameRefusesContentThatIsNotHexOctets) {
    for (const char *bad : {"0", "GG", "12 34", "ABC"}) {
        const Result r = RunPdu({"frame", "--json", bad});
        EXPECT_EQ(r.exitCode, 1) << bad;
        const QJsonObject json = OneJson(r);
        EXPECT_FALSE(json.value("error").toString().isEmpty()) << bad;
        EXPECT_FALSE(json.contains("frame"));
    }
    EXPECT_EQ(RunPdu({"frame"}, "\n").exitCode, 1);  // an empty item
}

TEST(VantelPdu, ValidatePrintsContentOrErrorText) {
    const struct {
        const char *frame;
        bool ok;
        const char *text;
    } cases[] = {
        {"1002031003FFFD", true, "03"},
        {"10022200001003FFDE", true, "220000"},
        {"1002F01003FF1000", true, "F0"},
        {"1002F01003FF10", true, "F0"},  // missing final stuffing octet put back
        {"AB1002031003FFFD", true, "03"},
        {"1002031003FFFDAB", false, "Syntax error: Checksum incorrect"},
        {"10021010031003FFDD", false, "Syntax error: Missing stuffing octet(s)"},
        {"100203041003", false, "Syntax error: DLE/ETX missing"},
        {"1002031003FF", false, "Syntax error: Checksum incorrect"},
        {"1002031003", false, "Syntax error: PDU has insufficient length"},
        {"", false, "Syntax error: PDU has insufficient length"},  // an empty argument
        {"AAAAAAAAAAAAAA", false, "Syntax error: DLE/STX missing"},
    };
    for (const auto &c : cases) {
        const Result plain = RunPdu({"validate", c.frame});
        EXPECT_EQ(plain.exitCode, c.ok ? 0 : 1) << c.frame;
        EXPECT_EQ(plain.out, QByteArray(c.text) + '\n') << c.frame;
        const QJsonObject json = OneJson(RunPdu({"validate", "--json", c.frame}));
        EXPECT_EQ(json.value("ok").toBool(!c.ok), c.ok) << c.frame;
        EXPECT_EQ(json.value(c.ok ? "content" : "error").toString(), QLatin1String(c.text));
    }
}

// --- describe and technical --------------------------------------------------------------

TEST(VantelPdu, DescribeAccountsForFramesAndListLines) {
    const struct {
        const char *input;
        const char *account;
    } cases[] = {
        {"10022200001003FFDE",
         "Content: 10022200001003FFDE\r\nMessageContent: 220000\r\n"
         "Message Type: GET MESSAGE FAILURE\r\nLast Short Message: 00\r\n"
         "Cause: No such message\r\n"},
        {"98/07/15 14:30:00 12345 some text 1002031003FFFD",
         "Content: 1002031003FFFD\r\nMessageContent: 03\r\nMessage Type: GET NEXT MESSAGE\r\n"
         "No further decoding for that message type\r\n"},
        {"1002031003FFFE", "Content: 1002031003FFFE\r\nSyntax error: Checksum incorrect\r\n"},
    };
    for (const auto &c : cases) {
        const Result plain = RunPdu({"describe", c.input});
        EXPECT_EQ(plain.exitCode, 0);
        EXPECT_EQ(plain.out, Plain(QString::fromLatin1(c.account)));
        const QJsonObject json = OneJson(RunPdu({"describe", "--json", c.input}));
        EXPECT_EQ(json.value("describe").toString(), QLatin1String(c.account));
    }
}

// A DELIVER without service-centre address, from the alphanumeric sender "Vantel" (11
// semi-octets, packed D6B09B5E6603), time stamp 26-12-06 08:30:15 GMT+1, and the three
// septets 61 0A 40 ("a", line feed, inverted exclamation mark) packed as 61 05 10.
const QString kAlphaTpdu = QStringLiteral("000BD0D6B09B5E660300006221608003514003610510");
const QString kAlphaText = QStringLiteral("a\r\n\u00A1");

const QString kAlphaTechnical = QStringLiteral(
    "IEI: 06\r\nLENGTH: 7E\r\nMESSAGE REF: 02\r\nSTATUS: 01\r\nSC Address length: 00\r\n"
    "Message Type Indicator: 00\r\nMessage Type: SMS-DELIVER / SMS-DELIVER REPORT\r\n"
    "More Messages To Send: Yes\r\nStatus Report Indication: No\r\nReply Path: No\r\n"
    "Originating Address Length: 0B\r\nOriginating Address type: D0\r\n"
    "  Type of number: Alphanumeric\r\n  Numbering plan identifier: Unknown\r\n"
    "Originating Address: 6D0BB9E56630\r\n  Decoded: Vantel\r\n"
    "Protocol Identifier: Default\r\nData Coding Scheme: GSM Default Alphabet\r\n"
    "SC Timestamp: 62216080035140\r\n  decoded: 26/12/06 08:30:15\r\n"
    "Time Zone: GMT+1.00H\r\nUser Data Length: 03\r\n  decimal: 3\r\n"
    "Message: a\r\n\u00A1\r\n");

TEST(VantelPdu, TechnicalKeepsCrLfInJsonAndPrintsUtf8LinesPlain) {
    const QString params = QStringLiteral("067E020100") + kAlphaTpdu;
    const Result plain = RunPdu({"technical", params});
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out, Plain(kAlphaTechnical));
    EXPECT_TRUE(plain.out.contains("Message: a\n\xC2\xA1\n"));
    EXPECT_FALSE(plain.out.contains('\r'));

    const Result json = RunPdu({"technical", "--json", params});
    EXPECT_EQ(OneJson(json).value("technical").toString(), kAlphaTechnical);
    EXPECT_TRUE(json.out.contains("\\r\\n"));
}

TEST(VantelPdu, TechnicalPduLengthSkipsTwoDigitsAndShowsTheLength) {
    const QString params = QStringLiteral("067E020100AB2C") + kAlphaTpdu;
    const QString text = OneJson(RunPdu({"technical", "--json", "--pdu-length", params}))
                             .value("technical")
                             .toString();
    EXPECT_TRUE(text.contains(QStringLiteral(
        "SC Address length: 00\r\nPDU Length: 2C\r\nMessage Type Indicator: 00\r\n")))
        << text.toStdString();
    EXPECT_TRUE(text.endsWith(QStringLiteral("Message: a\r\n\u00A1\r\n")));
}

TEST(VantelPdu, DescribeOfAStoredMessageAddsTheTechnicalAccount) {
    const QString content = QStringLiteral("21067E020100") + kAlphaTpdu;
    const QString frame = FrameHex(content);
    const QString expected = "Content: " + frame + "\r\nMessageContent: " + content +
                             "\r\nMessage Type: MESSAGE\r\n" + kAlphaTechnical + "\r\n";
    EXPECT_EQ(OneJson(RunPdu({"describe", "--json", frame})).value("describe").toString(),
              expected);
}

// --- summary -----------------------------------------------------------------------------

struct SummaryCase {
    const char *name;
    QString pdu;  // as a phone lists it in PDU mode
    bool noSca;
    QString typeCode, scAddress, scAddressType, firstOctet, flagOrReference, address, addressType,
        pid, dcs, time, text, userData;
};

const SummaryCase kSummaries[] = {
    // at-sms/03: DELIVER, TP-MMS set, time zone 22 = 22 quarters
    {"deliver", "0791198948004544040C9119894882006200007050307040042206CF35689E9603", false,
     "MT-01", "919884005444", "International E.164", "04", "Yes", "919884280026",
     "International E.164", "00", "00", "07/05/03 07:04:40 GMT+5.50H", "Ok sir", "CF35689E9603"},
    // at-sms/09: service centre with an octet 10 (stuffed in the frame), subscriber number
    {"stuffed", "07917283010010F5040BC87238880900F10000993092516195800AE8329BFD4697D9EC37", false,
     "MT-01", "27381000015", "International E.164", "04", "Yes", "27838890001",
     "Subscriber National", "00", "00", "99/03/29 15:16:59 GMT+2.00H", "hellohello",
     "E8329BFD4697D9EC37"},
    // at-sms/05: SUBMIT, relative validity FF, message reference 4F
    {"submit", "0791539111161616114F048123000000FF06D0B79BFE9E03", false, "MO-01", "351911616161",
     "International E.164", "11", "4F", "3200", "Unknown E.164", "00", "00", " Rel: FF", "Pontos",
     "D0B79BFE9E03"},
    // the TPDU alone: alphanumeric sender, CR LF and an 8-bit character in the text
    {"alphanumeric", kAlphaTpdu, true, "MT-01", "", "", "00", "No", "Vantel",
     "Alphanumeric Unknown", "00", "00", "26/12/06 08:30:15 GMT+1.00H", kAlphaText, "610510"},
};

TEST(VantelPdu, SummaryOfListedPdusMatchesGsm0340Fields) {
    for (const SummaryCase &c : kSummaries) {
        SCOPED_TRACE(c.name);
        const QString content =
            (c.noSca ? QStringLiteral("21067E020100") : QStringLiteral("21067E0201")) + c.pdu;
        const QString frame = FrameHex(content);
        const QString line = ListLine(c.time, c.address, c.text, frame);

        QStringList args{"summary", "--json", "--pdu"};
        if (c.noSca) args << "--no-sca";
        const QJsonObject j = OneJson(RunPdu(args << c.pdu));
        EXPECT_TRUE(j.value("result").toBool());
        EXPECT_EQ(j.value("type_code").toString(), c.typeCode);
        EXPECT_EQ(j.value("sc_address").toString(), c.scAddress);
        EXPECT_EQ(j.value("sc_address_type").toString(), c.scAddressType);
        EXPECT_EQ(j.value("first_octet").toString(), c.firstOctet);
        EXPECT_EQ(j.value("flag_or_reference").toString(), c.flagOrReference);
        EXPECT_EQ(j.value("address").toString(), c.address);
        EXPECT_EQ(j.value("address_type").toString(), c.addressType);
        EXPECT_EQ(j.value("pid").toString(), c.pid);
        EXPECT_EQ(j.value("dcs").toString(), c.dcs);
        EXPECT_EQ(j.value("time").toString(), c.time);
        EXPECT_EQ(j.value("text").toString(), c.text);
        EXPECT_EQ(j.value("user_data").toString(), c.userData);
        EXPECT_EQ(j.value("line").toString(), line);
        EXPECT_EQ(j.size(), 14);

        // The stored frame itself gives the same line, printed with "\n" for CR LF.
        const Result plain = RunPdu({"summary", frame});
        EXPECT_EQ(plain.exitCode, 0);
        EXPECT_EQ(plain.out, Plain(line) + '\n');
    }
}

TEST(VantelPdu, SummaryPduWrapsLikeTheRetrievalLowerCaseAndLoneDigit) {
    const QString pdu = kSummaries[0].pdu;
    const QByteArray expected = RunPdu({"summary", "--pdu", pdu}).out;
    ASSERT_TRUE(expected.endsWith(FrameHex("21067E0201" + pdu).toLatin1() + '\n'));
    // Lower-case digits read the same; a lone last digit is not a pair and is left out.
    EXPECT_EQ(RunPdu({"summary", "--pdu", pdu.toLower()}).out, expected);
    EXPECT_EQ(RunPdu({"summary", "--pdu", pdu + "7"}).out, expected);
}

TEST(VantelPdu, SummaryOfAnInvalidFrameGivesResultFalseAndTheError) {
    const QString frame = QStringLiteral("1002031003FFFE");
    const Result r = RunPdu({"summary", "--json", frame});
    EXPECT_EQ(r.exitCode, 0);
    const QJsonObject j = OneJson(r);
    EXPECT_FALSE(j.value("result").toBool(true));
    EXPECT_EQ(j.value("error").toString(), QStringLiteral("Syntax error: Checksum incorrect"));
    EXPECT_EQ(j.value("line").toString(), "<invalid checksum>" + QString(72, u' ') + frame);
    // The shape stays the same as for a valid frame: every field is there, empty.
    for (const char *key :
         {"type_code", "sc_address", "sc_address_type", "first_octet", "flag_or_reference",
          "address", "address_type", "pid", "dcs", "time", "text", "user_data"}) {
        ASSERT_TRUE(j.value(key).isString()) << key;
        EXPECT_TRUE(j.value(key).toString().isEmpty()) << key;
    }
}

TEST(VantelPdu, SummaryOfAFrameThatIsNotAMessage) {
    const QString frame = QStringLiteral("1002031003FFFD");
    const QJsonObject j = OneJson(RunPdu({"summary", "--json", frame}));
    EXPECT_FALSE(j.value("result").toBool(true));
    EXPECT_EQ(j.value("text").toString(), QStringLiteral("<not an SMS message>"));
    EXPECT_EQ(j.value("type_code").toString(), QString());
    EXPECT_EQ(j.value("line").toString(),
              ListLine({}, {}, QStringLiteral("<not an SMS message>"), frame));
}

// --- standard input ----------------------------------------------------------------------

TEST(VantelPdu, StandardInputGivesOneJsonObjectPerLine) {
    QFile file(QStringLiteral(VANTEL_TEST_DATA "/cli-listed-pdus.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray input = file.readAll();
    ASSERT_TRUE(input.contains("\r\n"));
    const qsizetype lines = input.count('\n');

    const Result r = RunPdu({"summary", "--pdu", "--json"}, input);
    EXPECT_EQ(r.exitCode, 0);
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(qsizetype(objects.size()), lines);
    // Each line is wrapped on its own (the CR of the CR LF line end is not part of the PDU).
    const QList<QByteArray> pdus = input.split('\n');
    for (size_t i = 0; i < objects.size(); ++i) {
        const QString pdu = QString::fromLatin1(pdus[qsizetype(i)]).trimmed();
        EXPECT_TRUE(objects[i].value("line").toString().endsWith(FrameHex("21067E0201" + pdu)))
            << pdu.toStdString();
    }
}

// Many listed PDUs take a road of their own (and share the processors): every line must read
// exactly as the line of its stored frame, for every PDU of the vectors, in either case and
// with blanks around it.
TEST(VantelPdu, SummaryOfManyListedPdusReadsAsTheLinesOfTheirFrames) {
    QStringList pdus;
    QFile file(QStringLiteral(VANTEL_TEST_DATA "/pdu-real.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith("pdu=")) pdus << QString::fromLatin1(line.mid(4));
    }
    ASSERT_GE(pdus.size(), 40);
    pdus << QStringLiteral("") << QStringLiteral("0") << QStringLiteral("07911326040000F0040B9113");
    QByteArray listed, frames;
    for (int round = 0; round < 40; ++round) {
        for (const QString &pdu : pdus) {
            const QString variant = round % 3 == 1   ? pdu.toLower()
                                    : round % 3 == 2 ? QStringLiteral("  ") + pdu + u' '
                                                     : pdu;
            listed += variant.toUtf8() + (round % 2 ? "\r\n" : "\n");
            // The frame as the retrieval stores it: pairs of the trimmed line, a lone digit left
            // out.
            const QString pairs = variant.trimmed();
            const QByteArray octets =
                QByteArray::fromHex(pairs.left(pairs.size() / 2 * 2).toLatin1());
            frames += FrameHex(QStringLiteral("21067E0201") + QString::fromLatin1(octets.toHex()))
                          .toLatin1() +
                      '\n';
        }
    }
    ASSERT_GT(listed.size(), 1 << 16);
    const Result fast = RunPdu({"summary", "--pdu"}, listed);
    const Result general = RunPdu({"summary"}, frames);
    EXPECT_EQ(fast.exitCode, 0);
    EXPECT_EQ(general.exitCode, 0);
    EXPECT_TRUE(fast.out == general.out);
    EXPECT_GT(fast.out.size(), listed.size());
}

TEST(VantelPdu, StandardInputBatchReportsFailureButPrintsEveryItem) {
    const Result r = RunPdu({"validate", "--json"},
                            "1002031003FFFD\n1002031003FFFE\r\n  10022200001003FFDE  \n");
    EXPECT_EQ(r.exitCode, 1);
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0].value("content").toString(), QStringLiteral("03"));
    EXPECT_EQ(objects[1].value("error").toString(),
              QStringLiteral("Syntax error: Checksum incorrect"));
    EXPECT_EQ(objects[2].value("content").toString(), QStringLiteral("220000"));

    const Result plain = RunPdu({"frame"}, "03\n220000\n");
    EXPECT_EQ(plain.exitCode, 0);
    EXPECT_EQ(plain.out, QByteArray("1002031003FFFD\n10022200001003FFDE\n"));
}

// --- encode ------------------------------------------------------------------------------

TEST(VantelPdu, EncodeBuildsTheSendQueueEntry) {
    const struct {
        QStringList args;
        const char *entry;
    } cases[] = {
        {{"--to", "12345", "--sc", "0123", "--text", "abc"},
         "14,12345,0123,070204914421F3110005912143F50000A70361F118"},
        {{"--to", "12345", "--sc", "0123", "--text", "abc", "--mode", "pdu"},
         "14,12345,0123,04914421F3110005912143F50000A70361F118"},
        {{"--to=12345", "--sc=0123", "--text=abc", "--mode=pdu-skip-sca"},
         "14,12345,0123,110005912143F50000A70361F118"},
        // "name=number,sc" in the destination overrides --sc
        {{"--to", "Bob=12345,0123", "--sc", "999", "--text", "abc"},
         "14,12345,0123,070204914421F3110005912143F50000A70361F118"},
        {{"--to", "12345", "--text", "hello world", "--mode", "pdu-skip-sca"},
         "21,12345,,110005912143F50000A70BE8329BFD06DDDF723619"},
        // 8-bit with DCS F5: first octet 51 whatever the boxes, hex taken as typed
        {{"--to", "12345", "--text", "0A0B0C", "--dcs", "F5", "--reply-path", "--status-report"},
         "14,12345,,0702019151000591 2143F500F5A7030A0B0C"},
        {{"--to", "12345", "--text", "abc", "--reply-path", "--status-report", "--pid", "41",
          "--mode", "pdu-skip-sca"},
         "14,12345,,B10005912143F54100A70361F118"},
        // GSM 03.38: e acute is septet 05; the euro sign the escape and 65 (two septets)
        {{"--to", "12345", "--text", "\u00E9", "--mode", "pdu-skip-sca"},
         "12,12345,,110005912143F50000A70105"},
        {{"--to", "12345", "--text", "\u20AC", "--mode", "pdu-skip-sca"},
         "13,12345,,110005912143F50000A7029B32"},
        // UCS2: two octets a character
        {{"--to", "12345", "--text", "\u0448!", "--dcs", "08", "--mode", "pdu-skip-sca"},
         "15,12345,,110005912143F50008A70404480021"},
        // CR LF typed in the text: two septets 0D 0A
        {{"--to", "12345", "--text", "\r\n", "--mode", "pdu-skip-sca"},
         "13,12345,,110005912143F50000A7020D05"},
    };
    for (const auto &c : cases) {
        const QString entry = QString::fromLatin1(c.entry).remove(u' ');
        const Result plain = RunPdu(QStringList{"encode"} + c.args);
        EXPECT_EQ(plain.exitCode, 0) << entry.toStdString();
        EXPECT_EQ(plain.out, entry.toLatin1() + '\n');
        const QJsonObject j = OneJson(RunPdu(QStringList{"encode", "--json"} + c.args));
        EXPECT_EQ(j.value("entry").toString(), entry);
    }
}

TEST(VantelPdu, EncodeRefusesWhatTheSendButtonRefuses) {
    const QStringList refused[] = {
        {"--to", "12345", "--text", ""},                                 // no text with DCS 00
        {"--to", "12345", "--text", QString(255 * 153 + 1, u'a')},       // over 255 parts
        {"--to", "12345", "--text", "\u0448"},                           // not in the alphabet
        {"--to", "Bob", "--text", "abc"},                                // not a number
        {"--to", "12345", "--dcs", "F4", "--text", "ABC"},               // half an octet
        {"--to", "12345", "--dcs", "F4", "--text", QString(282, u'A')},  // over 140 octets
    };
    for (const QStringList &args : refused) {
        const Result r = RunPdu(QStringList{"encode", "--json"} + args);
        EXPECT_EQ(r.exitCode, 1) << args.join(u' ').left(40).toStdString();
        const QJsonObject j = OneJson(r);
        EXPECT_FALSE(j.value("error").toString().isEmpty());
        EXPECT_FALSE(j.contains("entry"));
    }
    EXPECT_EQ(OneJson(RunPdu({"encode", "--json", "--to", "1", "--text", ""})).value("error"),
              QStringLiteral("No text to send"));
    // Any other DCS lets an empty message through.
    EXPECT_EQ(
        RunPdu({"encode", "--to", "12345", "--dcs", "F0", "--text", "", "--mode", "pdu-skip-sca"})
            .out,
        QByteArray("11,12345,,110005912143F500F0A700\n"));
    // 160 characters and 140 octets are still sent as one message; 161 characters as two.
    EXPECT_EQ(RunPdu({"encode", "--to", "1", "--text", QString(160, u'a')}).out.count('\n'), 1);
    const Result two = RunPdu({"encode", "--json", "--to", "1", "--text", QString(161, u'a')});
    EXPECT_EQ(two.exitCode, 0);
    const auto parts = JsonLines(two.out);
    ASSERT_EQ(parts.size(), 2u);
    EXPECT_TRUE(parts[0].value("entry").toString().contains(u"A7A0050003"));
    const QString second = parts[1].value("entry").toString();
    EXPECT_TRUE(second.contains(u"A70F050003")) << second.toStdString();
    EXPECT_TRUE(second.endsWith(u"0202C2E170381C0E8701")) << second.toStdString();
    EXPECT_EQ(RunPdu({"encode", "--to", "1", "--dcs", "F4", "--text", QString(280, u'A')}).exitCode,
              0);
}

TEST(VantelPdu, EncodeReadsOneMessagePerLineFromStandardInput) {
    const Result r = RunPdu({"encode", "--json", "--to", "12345", "--mode", "pdu-skip-sca"},
                            "abc\r\n\nhello world\n");
    EXPECT_EQ(r.exitCode, 1);
    const auto objects = JsonLines(r.out);
    ASSERT_EQ(objects.size(), 3u);
    EXPECT_EQ(objects[0].value("entry").toString(),
              QStringLiteral("14,12345,,110005912143F50000A70361F118"));
    EXPECT_EQ(objects[1].value("error").toString(), QStringLiteral("No text to send"));
    EXPECT_EQ(objects[2].value("entry").toString(),
              QStringLiteral("21,12345,,110005912143F50000A70BE8329BFD06DDDF723619"));
}

// --- usage -------------------------------------------------------------------------------

TEST(VantelPdu, UsageErrorsExitTwoWithOneLineOnStandardError) {
    const QStringList cases[] = {
        {},
        {"decode"},
        {"validate", "--pdu", "1002031003FFFD"},
        {"summary", "--no-sca", "1002031003FFFD"},
        {"validate", "1002031003FFFD", "1002031003FFFD"},
        {"encode", "--text", "abc"},
        {"encode", "--to", "1", "--mode", "serial", "--text", "abc"},
        {"encode", "--to"},
        {"frame", "--json=1", "03"},
    };
    for (const QStringList &args : cases) {
        const Result r = RunPdu(args);
        EXPECT_EQ(r.exitCode, 2) << args.join(u' ').toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(r.err.count('\n'), 1) << r.err.constData();
        EXPECT_TRUE(r.err.endsWith('\n'));
    }
}

TEST(VantelPdu, HelpDocumentsEverySubcommand) {
    for (const QStringList &args : {QStringList{"--help"}, QStringList{"summary", "--help"}}) {
        const Result r = RunPdu(args);
        EXPECT_EQ(r.exitCode, 0);
        for (const char *word : {"technical", "describe", "summary", "frame", "validate", "encode",
                                 "--json", "--pdu-length", "--no-sca", "--mode"})
            EXPECT_TRUE(r.out.contains(word)) << word;
    }
}

}  // namespace
