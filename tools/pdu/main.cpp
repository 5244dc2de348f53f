// vantel-pdu: the decoding core on the command line, for scripts and for people who paste PDUs.
// Each subcommand handles one item (an argument, or each line of standard input) and prints one
// result per item: plain text, or one JSON object per line with --json.

#include <QFile>
#include <QStringList>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>
#include <vector>

#include "app/jsonline.h"
#include "app/listline.h"
#include "app/listrecords.h"
#include "app/messageexport.h"
#include "app/messagestore.h"
#include "blockmode/diagnostics.h"
#include "blockmode/frame.h"
#include "compose/encoder.h"
#include "listedsummary.h"
#include "pdu/primitives.h"
#include "pdu/summary.h"
#include "pdu/technical.h"
#include "pdu/userdata.h"

namespace vantel {
namespace {

constexpr char kHelp[] = R"(Usage: vantel-pdu SUBCOMMAND [OPTIONS] [INPUT]

Decodes and builds GSM 03.40 messages and GSM 07.05 Block-mode frames.
Without INPUT, every line of standard input is one item and gives one result.
Hex input may use either case; blanks around it and the line end are ignored
(with --pdu, blanks inside it too). Input of technical and summary that is
not hex digits is an error; the decoders read whatever hex they are given.
Results go to standard output; an item that fails gives its reason on
standard error instead (after "line N:" for a line of standard input).

Subcommands:
  technical [--pdu-length] [HEX]
      Field-by-field account of a stored message's parameters: IEI, LENGTH,
      MESSAGE REF, STATUS, service-centre address field, TPDU (a MESSAGE frame's
      content without its type 21). --pdu-length: the service-centre address
      is followed by two skipped digits and a PDU length octet.
  describe [FRAME]
      Account of a Block-mode frame, or of a message-list line (its last word).
  summary [--pdu [--no-sca]] [FRAME]
      The message-list line of a stored frame: 17 columns of time, 20 of
      address, 50 of text, then the frame. --pdu: the input is a PDU as a phone
      lists it in PDU mode (service-centre address field, then TPDU; with
      --no-sca the TPDU alone), wrapped into a MESSAGE frame first. The text
      follows the DCS (hex for 8-bit data); a status report gives its
      recipient, discharge time and status.
  summary --csv|--jsonl [--pdu [--no-sca]] [--names FILE] [--country-code N]
          [FRAME]
      Every item as one record of an export for spreadsheets (--csv: RFC 4180,
      UTF-8, CR LF, a header row) or scripts (--jsonl: one JSON object a
      line). An item may also be a message-list line (its last word is the
      frame). Fields: time (ISO 8601 with the zone, for a time stamp only:
      empty for a validity), kind (deliver, submit, status report, reserved,
      not a message, invalid frame), number ("+" first when international),
      name (from --names), text (a concatenated message's whole text once
      every part is among the items), part ("2/3"), status (the STATUS octet
      stored with the message) and frame. --names FILE: a destination
      history such as smsaddr.dat ("name=number" lines), its numbers read
      with the country code N (default 44). In CSV a cell that begins with
      = + - @ (other than a signed number), a tab, a CR or ' gets a ' in
      front, so that no spreadsheet runs a sender's text as a formula.
  frame [CONTENT]
      The Block-mode frame (upper-case hex) of the content octets (hex).
  validate [FRAME]
      The content of a frame, or the frame check's error text (exit status 1).
  encode --to NUMBER [--sc NUMBER] [--text TEXT] [--pid XX] [--dcs XX]
         [--reply-path] [--status-report] [--mode block|pdu|pdu-skip-sca]
         [--country-code N]
      The send-queue entry "octets,destination,service centre,data" of an
      SMS-SUBMIT, as the send form queues it. Without --text each line of
      standard input is one message text. Defaults: PID 00, DCS 00, mode block.
      NUMBER may be "name=number"; a destination "number,sc" overrides --sc.
      A number may hold the separators - ( ) . and blanks; one leading 0 (a
      national number) becomes the country code N (default 44), two (00) go.
      The DCS decides the coding: the GSM 7-bit alphabet, UCS2, or (an 8-bit
      DCS such as 04 or F4-F7) TEXT as hex octets. A text longer than one
      message gives a concatenated series: one entry, one line, per part. A
      refused message (empty text with DCS 00, a character the alphabet
      lacks, a compressed DCS, a destination that is not a number, more than
      255 parts, half an octet) prints why and exits with status 1.

Options for every subcommand:
  --json   One JSON object per item on one line:
             technical  {"technical": TEXT}
             describe   {"describe": TEXT}
             summary    {"result", "type_code", "sc_address", "sc_address_type",
                         "first_octet", "flag_or_reference", "address",
                         "address_type", "pid", "dcs", "time", "text",
                         "user_data", "line"}; for a frame that fails its check
                        "result" is false, the fields are empty and "error"
                        holds the check's error text
             frame      {"frame": HEX} or {"error": TEXT}
             validate   {"ok": true, "content": HEX} or {"ok": false, "error": TEXT}
             encode     {"entry": TEXT} (one a part) or {"error": TEXT}
           Texts are exact: line breaks are CR LF, characters are Unicode.
           Without --json a CR LF prints as a line feed, and text is UTF-8.
           An item that fails gives {"error": TEXT} (validate: "ok" false)
           on standard output, in its place among the others.
  --help   This text.
  --version
           The version of vantel-pdu.

Exit status: 0 every item done; 1 when an item failed (input that is not
hex, a frame that fails its check, content that is not hex octets, a
refused message), the other items still done; 2 for a usage error.
)";

// Options, as bits of the set each subcommand accepts.
enum Option : unsigned {
    Json = 1u << 0,
    PduLength = 1u << 1,
    Pdu = 1u << 2,
    NoSca = 1u << 3,
    To = 1u << 4,
    Sc = 1u << 5,
    Text = 1u << 6,
    Pid = 1u << 7,
    Dcs = 1u << 8,
    ReplyPath = 1u << 9,
    StatusReport = 1u << 10,
    Mode = 1u << 11,
    CountryCode = 1u << 12,
    Csv = 1u << 13,
    JsonLines = 1u << 14,
    Names = 1u << 15,
};

struct OptionDef {
    const char *name;
    Option bit;
    bool takesValue;
};

constexpr OptionDef kOptions[] = {
    {"--json", Json, false},
    {"--pdu-length", PduLength, false},
    {"--pdu", Pdu, false},
    {"--no-sca", NoSca, false},
    {"--to", To, true},
    {"--sc", Sc, true},
    {"--text", Text, true},
    {"--pid", Pid, true},
    {"--dcs", Dcs, true},
    {"--reply-path", ReplyPath, false},
    {"--status-report", StatusReport, false},
    {"--mode", Mode, true},
    {"--country-code", CountryCode, true},
    {"--csv", Csv, false},
    {"--jsonl", JsonLines, false},
    {"--names", Names, true},
};

struct Options {
    unsigned given = 0;
    QString to, sc, text, names, pid = QStringLiteral("00"), dcs = QStringLiteral("00");
    LinkMode mode = LinkMode::Block;
    QString countryCode = kDefaultCountryCode.toString();
    QString input;  // the INPUT argument, when hasInput
    bool hasInput = false;
    bool has(Option o) const { return given & o; }
};

// What one item gives: the plain text (CR LF inside), its JSON object, and whether it succeeded.
struct Outcome {
    QString plain;
    JsonLine json;
    bool ok = true;
};

Outcome RunTechnical(const QString &hex, const Options &o) {
    Outcome r;
    r.plain = DecodeTechnical(hex, o.has(PduLength));
    r.json.add(u"technical", r.plain);
    return r;
}

Outcome RunDescribe(const QString &line, const Options &) {
    Outcome r;
    r.plain = DescribeBlockMessage(line);
    r.json.add(u"describe", r.plain);
    return r;
}

// A PDU-mode listing line becomes a stored frame the way the retrieval builds it: the MESSAGE
// header in front, the line's carriage return left at the end (so the final pair is converted
// and a lone last digit is not).
QString FrameOfListedPdu(const QString &pdu, bool noSca) {
    const QString prefix = noSca ? QStringLiteral("21067E020100") : QStringLiteral("21067E0201");
    return BytesToHex(BuildFrame(HexPairsToChars(prefix + pdu + u'\r')));
}

Outcome RunSummary(const QString &input, const Options &o) {
    Outcome r;
    const QString frame = o.has(Pdu) ? FrameOfListedPdu(input, o.has(NoSca)) : input;
    const ListLine listed = MakeListLine(frame);
    r.plain = listed.line;
    if (!o.has(Json)) return r;

    // Every key is always there, so a consumer reads one fixed shape; a frame that fails its
    // check has empty fields and the check's error text.
    QString content = frame;
    const bool valid = ValidateFrame(content);
    MessageFields f;
    const bool result = valid && DecodeMessage(content, f);
    r.json.add(u"result", result);
    if (!valid) r.json.add(u"error", content);
    r.json.add(u"type_code", f.typeCode)
        .add(u"sc_address", f.scAddress)
        .add(u"sc_address_type", f.scAddressType)
        .add(u"first_octet", f.firstOctet)
        .add(u"flag_or_reference", f.flagOrReference)
        .add(u"address", f.address)
        .add(u"address_type", f.addressType)
        .add(u"pid", f.pid)
        .add(u"dcs", f.dcs)
        .add(u"time", f.time)
        .add(u"text", f.text)
        .add(u"user_data", f.userData)
        .add(u"line", listed.line);
    return r;
}

Outcome RunFrame(const QString &content, const Options &) {
    Outcome r;
    if (!IsHexOctets(content)) {
        r.ok = false;
        r.plain = QStringLiteral("Content must be one or more hex digit pairs");
        r.json.add(u"error", r.plain);
        return r;
    }
    r.plain = BytesToHex(BuildFrame(HexToBytes(content)));
    r.json.add(u"frame", r.plain);
    return r;
}

Outcome RunValidate(const QString &frame, const Options &) {
    Outcome r;
    r.plain = frame;
    r.ok = ValidateFrame(r.plain);
    r.json.add(u"ok", r.ok).add(r.ok ? u"content" : u"error", r.plain);
    return r;
}

Outcome RunEncode(const QString &text, const Options &o) {
    SendFields fields;
    fields.to = o.to;
    fields.sc = o.sc;
    fields.message = text;
    fields.pid = o.pid;
    fields.dcs = o.dcs;
    fields.replyPath = o.has(ReplyPath);
    fields.statusReport = o.has(StatusReport);
    const EncodedEntry q = BuildQueueEntry(fields, o.mode, o.countryCode);
    Outcome r;
    r.ok = q.ok;
    if (!q.ok) {
        r.plain = q.error;
        r.json.add(u"error", r.plain);
        return r;
    }
    // A concatenated series gives one entry per part: one line each, one JSON object each.
    r.plain = q.entries.join(LineBreak);
    for (qsizetype i = 0; i < q.entries.size(); ++i) {
        if (i > 0) r.json.next();
        r.json.add(u"entry", q.entries[i]);
    }
    return r;
}

enum class Input {
    Hex,       // hex digits only, blanks around them dropped (with --pdu, inside them too)
    Trimmed,   // blanks around it dropped
    FreeText,  // as it is (only the line end is dropped)
};

struct Subcommand {
    const char *name;
    unsigned options;
    Outcome (*run)(const QString &item, const Options &);
    Input input;
};

constexpr Subcommand kSubcommands[] = {
    {"technical", Json | PduLength, RunTechnical, Input::Hex},
    {"describe", Json, RunDescribe, Input::Trimmed},
    {"summary", Json | Pdu | NoSca | Csv | JsonLines | Names | CountryCode, RunSummary, Input::Hex},
    {"frame", Json, RunFrame, Input::Trimmed},
    {"validate", Json, RunValidate, Input::Trimmed},
    {"encode", Json | To | Sc | Text | Pid | Dcs | ReplyPath | StatusReport | Mode | CountryCode,
     RunEncode, Input::FreeText},
};

constexpr char kVersion[] = "vantel-pdu " VANTEL_VERSION "\n";

[[noreturn]] void UsageError(const QString &message) {
    const QByteArray line = ("vantel-pdu: " + message + " (see vantel-pdu --help)\n").toUtf8();
    std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    std::exit(2);
}

void Print(const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
}

void PrintError(const QByteArray &bytes) {
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
}

std::optional<LinkMode> ParseMode(const QString &s) {
    if (s == u"block") return LinkMode::Block;
    if (s == u"pdu") return LinkMode::Pdu;
    if (s == u"pdu-skip-sca") return LinkMode::PduSkipSca;
    return std::nullopt;
}

void SetValue(Options &o, Option bit, const QString &value) {
    switch (bit) {
        case To:
            o.to = value;
            break;
        case Sc:
            o.sc = value;
            break;
        case Text:
            o.text = value;
            break;
        case Names:
            o.names = value;
            break;
        case Pid:
            o.pid = value;
            break;
        case Dcs:
            o.dcs = value;
            break;
        case Mode: {
            const auto mode = ParseMode(value);
            if (!mode) UsageError("unknown mode '" + value + "'");
            o.mode = *mode;
            break;
        }
        case CountryCode:
            if (!IsCountryCode(value))
                UsageError("--country-code takes one to three digits, not starting with 0: '" +
                           value + "'");
            o.countryCode = value;
            break;
        default:
            break;
    }
}

Options ParseOptions(const Subcommand &cmd, const QStringList &args) {
    Options o;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!optionsEnded && arg == u"--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && (arg == u"--help" || arg == u"-h")) {
            Print(QByteArray(kHelp));
            std::exit(0);
        }
        if (!optionsEnded && arg == u"--version") {
            Print(QByteArray(kVersion));
            std::exit(0);
        }
        if (optionsEnded || !arg.startsWith(u"--")) {
            if (o.hasInput) UsageError("more than one input: '" + arg + "'");
            o.input = arg;
            o.hasInput = true;
            continue;
        }
        const qsizetype eq = arg.indexOf(u'=');
        const QString name = eq < 0 ? arg : arg.left(eq);
        const OptionDef *def = nullptr;
        for (const OptionDef &s : kOptions) {
            if (name == QLatin1StringView(s.name)) def = &s;
        }
        if (!def || !(cmd.options & def->bit))
            UsageError("unknown option '" + name + "' for " + cmd.name);
        if (def->takesValue) {
            QString value;
            if (eq >= 0) {
                value = arg.mid(eq + 1);
            } else {
                if (i + 1 >= args.size()) UsageError(name + " needs a value");
                value = args[++i];
            }
            SetValue(o, def->bit, value);
        } else if (eq >= 0) {
            UsageError(name + " takes no value");
        }
        o.given |= def->bit;
    }
    if (o.has(NoSca) && !o.has(Pdu)) UsageError("--no-sca goes with --pdu");
    if (o.has(Csv) + o.has(JsonLines) + o.has(Json) > 1)
        UsageError("choose one of --json, --csv and --jsonl");
    if (cmd.run == RunSummary && (o.has(Names) || o.has(CountryCode)) && !o.has(Csv) &&
        !o.has(JsonLines))
        UsageError("--names and --country-code go with --csv or --jsonl");
    if (cmd.run == RunEncode) {
        if (!o.has(To)) UsageError("encode needs --to NUMBER");
        if (o.hasInput) UsageError("encode takes its text from --text, not '" + o.input + "'");
        o.input = o.text;
        o.hasInput = o.has(Text);
    }
    return o;
}

bool IsHexDigits(QStringView text) {
    for (const QChar c : text) {
        if (!isxdigit(c.unicode() < 0x80 ? c.unicode() : 0)) return false;
    }
    return true;
}

// The item as the subcommand takes it, or nothing when it is not hex where hex is wanted.
std::optional<QString> ItemOf(const Subcommand &cmd, const Options &o, const QString &raw) {
    if (cmd.input == Input::FreeText) return raw;
    QString item = raw.trimmed();
    if (cmd.input == Input::Trimmed) return item;
    if (o.has(Pdu)) item.removeIf([](QChar c) { return c.isSpace(); });
    if (!IsHexDigits(item)) return std::nullopt;
    return item;
}

// Prints one item's outcome: results into `out`, the reason of a failure into `err` (after
// "line N:" when `lineNumber` is not 0); with --json both go into `out`. Returns whether it
// succeeded.
bool RunItem(const Subcommand &cmd, const Options &o, const QString &raw, qsizetype lineNumber,
             QByteArray &out, QByteArray &err) {
    const std::optional<QString> item = ItemOf(cmd, o, raw);
    Outcome r;
    if (item) {
        r = cmd.run(*item, o);
    } else {
        r.ok = false;
        r.plain = QStringLiteral("Not hex digits");
        r.json.add(u"error", r.plain);
    }
    if (o.has(Json)) {
        out += r.json.finish();
        return r.ok;
    }
    QString text = r.plain;
    text.replace(LineBreak.toString(), QStringLiteral("\n"));
    if (!text.endsWith(u'\n')) text += u'\n';
    if (r.ok) {
        out += text.toUtf8();
    } else {
        err += "vantel-pdu: ";
        if (lineNumber > 0) err += "line " + QByteArray::number(lineNumber) + ": ";
        err += text.toUtf8();
    }
    return r.ok;
}

// Just past the line end at or after `at` (or the end of `text`).
qsizetype LineEndAfter(QByteArrayView text, qsizetype at) {
    if (at >= text.size()) return text.size();
    const qsizetype newline = text.indexOf('\n', at);
    return newline < 0 ? text.size() : newline + 1;
}

// `text` cut into at most `count` parts of whole lines, about equal in size.
QList<QByteArrayView> SplitAtLines(QByteArrayView text, int count) {
    QList<QByteArrayView> parts;
    qsizetype from = 0;
    for (int i = 1; i <= count && from < text.size(); ++i) {
        const qsizetype to = i == count ? text.size() : LineEndAfter(text, text.size() * i / count);
        if (to > from) parts.append(text.sliced(from, to - from));
        from = to;
    }
    if (parts.isEmpty()) parts.append(text);
    return parts;
}

QByteArrayView TrimmedAscii(QByteArrayView line) {
    const auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (!line.isEmpty() && blank(line.front()))
        line = line.sliced(1);
    while (!line.isEmpty() && blank(line.back()))
        line.chop(1);
    return line;
}

// Every line of `lines` (the first of them line `firstLine` of the input) as one item, printed
// into `out` and `err`; returns whether all succeeded. `summary` (when there is one) takes the
// lines of plain hex digits.
bool RunLines(const Subcommand &cmd, const Options &o, QByteArrayView lines, qsizetype firstLine,
              std::optional<ListedSummary> &summary, QByteArray &out, QByteArray &err) {
    out.resize(0);
    out.reserve(2 * lines.size() + 4096);
    err.resize(0);
    bool allOk = true;
    qsizetype lineNumber = firstLine;
    for (qsizetype at = 0; at < lines.size(); ++lineNumber) {
        qsizetype end = lines.indexOf('\n', at);
        if (end < 0) end = lines.size();
        QByteArrayView line = lines.sliced(at, end - at);
        at = end + 1;
        if (line.endsWith('\r')) line.chop(1);
        if (!summary || !summary->append(TrimmedAscii(line), out))
            allOk = RunItem(cmd, o, QString::fromUtf8(line), lineNumber, out, err) && allOk;
    }
    return allOk;
}

// summary --csv / --jsonl: the items are read whole first (a concatenated message is joined
// from parts anywhere among them), then written as one export.
int RunExport(const Options &o) {
    QStringList raw;
    if (o.hasInput) {
        raw << o.input;
    } else {
        QFile in;
        if (!in.open(stdin, QIODevice::ReadOnly)) UsageError(QStringLiteral("cannot read input"));
        const QByteArray data = in.readAll();
        for (qsizetype at = 0; at < data.size();) {
            qsizetype end = data.indexOf('\n', at);
            if (end < 0) end = data.size();
            QByteArrayView line = QByteArrayView(data).sliced(at, end - at);
            raw << QString::fromUtf8(line.endsWith('\r') ? line.chopped(1) : line);
            at = end + 1;
        }
    }
    bool allOk = true;
    QStringList frames;
    frames.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        QString item = raw[i].trimmed();
        if (o.has(Pdu))
            item.removeIf([](QChar c) { return c.isSpace(); });
        else
            item = FrameOfLine(item).toString();
        if (!IsHexDigits(item)) {
            QByteArray why = "vantel-pdu: ";
            if (!o.hasInput) why += "line " + QByteArray::number(i + 1) + ": ";
            PrintError(why + "Not hex digits\n");
            allOk = false;
            continue;
        }
        frames << (o.has(Pdu) ? FrameOfListedPdu(item, o.has(NoSca)) : item);
    }
    NameBook names;
    if (o.has(Names)) {
        QFile file(o.names);
        if (!file.open(QIODevice::ReadOnly)) {
            PrintError(
                ("vantel-pdu: cannot read " + o.names + ": " + file.errorString() + "\n").toUtf8());
            return 2;
        }
        names = NameBook(SplitListFile(file.readAll()), o.countryCode);
    }
    ConcatenatedTexts joined;
    joined.addLines(frames);
    QFile out;
    QString error;
    if (!out.open(stdout, QIODevice::WriteOnly) ||
        !WriteMessageExport(out, o.has(Csv) ? ExportFormat::Csv : ExportFormat::JsonLines, frames,
                            joined, names, &error)) {
        PrintError(("vantel-pdu: cannot write the export: " + error + "\n").toUtf8());
        return 1;
    }
    out.close();
    return allOk ? 0 : 1;
}

int Main(const QStringList &args) {
    if (args.size() < 2) UsageError(QStringLiteral("no subcommand"));
    if (args[1] == u"--help" || args[1] == u"-h") {
        Print(QByteArray(kHelp));
        return 0;
    }
    if (args[1] == u"--version") {
        Print(QByteArray(kVersion));
        return 0;
    }
    const Subcommand *cmd = nullptr;
    for (const Subcommand &c : kSubcommands) {
        if (args[1] == QLatin1StringView(c.name)) cmd = &c;
    }
    if (!cmd) UsageError("unknown subcommand '" + args[1] + "'");
    const Options o = ParseOptions(*cmd, args.mid(2));
    if (o.has(Csv) || o.has(JsonLines)) return RunExport(o);

    if (o.hasInput) {
        QByteArray out, err;
        const bool ok = RunItem(*cmd, o, o.input, 0, out, err);
        Print(out);
        std::fflush(stdout);
        PrintError(err);
        return ok ? 0 : 1;
    }

    // Standard input is taken in batches of whole lines. The plain list lines of listed PDUs
    // take a road of their own that allocates nothing per line (anything but hex digits goes
    // the general way); a batch of them is shared among the processors, each part printed in
    // its turn. The buffers are kept from batch to batch.
    const bool listed = cmd->run == RunSummary && o.has(Pdu) && !o.has(Json);
    const int workers = listed ? qBound(1, int(std::thread::hardware_concurrency()), 8) : 1;
    const qsizetype batch = qsizetype(workers) << 20;
    std::vector<std::optional<ListedSummary>> summaries(static_cast<size_t>(workers));
    if (listed) {
        for (std::optional<ListedSummary> &summary : summaries)
            summary.emplace(o.has(NoSca));
    }
    std::vector<QByteArray> outs(static_cast<size_t>(workers)), errs(outs.size());
    qsizetype linesTaken = 0;  // lines of input taken before this batch
    QByteArray input(batch + (1 << 16), Qt::Uninitialized);
    qsizetype held = 0;  // octets of input read and not yet taken
    bool end = false;
    bool allOk = true;
    while (!end || held > 0) {
        while (!end && held < batch) {
            const size_t got = std::fread(input.data() + held, 1, size_t(batch - held), stdin);
            if (got == 0) end = true;
            held += qsizetype(got);
        }
        // Whole lines; a line longer than a batch is waited for; at the end, what is left.
        qsizetype take = held;
        if (!end) {
            const qsizetype newline = QByteArrayView(input).first(held).lastIndexOf('\n');
            if (newline < 0) {
                input.resize(2 * input.size());
                while (held < input.size()) {
                    const size_t got =
                        std::fread(input.data() + held, 1, size_t(input.size() - held), stdin);
                    if (got == 0) {
                        end = true;
                        break;
                    }
                    held += qsizetype(got);
                }
                continue;
            }
            take = newline + 1;
        }
        const QList<QByteArrayView> parts =
            SplitAtLines(QByteArrayView(input).first(take), take < (1 << 16) ? 1 : workers);
        std::vector<qsizetype> firstLines(parts.size());
        for (qsizetype i = 0; i < parts.size(); ++i) {
            firstLines[size_t(i)] = linesTaken + 1;
            linesTaken += parts[i].count('\n');
        }
        if (take > 0 && input[take - 1] != '\n') ++linesTaken;
        std::vector<char> oks(parts.size(), 1);
        std::vector<std::thread> threads;
        const auto run = [&](qsizetype i) {
            oks[i] = RunLines(*cmd, o, parts[i], firstLines[size_t(i)], summaries[size_t(i)],
                              outs[size_t(i)], errs[size_t(i)]);
        };
        for (qsizetype i = 1; i < parts.size(); ++i)
            threads.emplace_back(run, i);
        run(0);
        for (std::thread &t : threads)
            t.join();
        for (qsizetype i = 0; i < parts.size(); ++i) {
            Print(outs[size_t(i)]);
            if (!errs[size_t(i)].isEmpty()) {
                std::fflush(stdout);  // a reason follows the results before it
                PrintError(errs[size_t(i)]);
            }
            allOk = allOk && oks[i];
        }
        std::memmove(input.data(), input.constData() + take, size_t(held - take));
        held -= take;
    }
    std::fflush(stdout);
    return allOk ? 0 : 1;
}

}  // namespace
}  // namespace vantel

int main(int argc, char *argv[]) {
    // No application object: nothing here needs an event loop, and a script that runs the
    // command once per PDU should not pay for one.
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return vantel::Main(args);
}
