#include "blockmode/diagnostics.h"

#include "app/listline.h"
#include "blockmode/frame.h"
#include "pdu/primitives.h"
#include "pdu/technical.h"

namespace vantel {

namespace {

struct NameEntry {
    int code;
    const char16_t *name;
};

// GSM 07.05 Block-mode message types.
constexpr NameEntry kBlockTypes[] = {
    {0x00, u"LIST REQUEST"},
    {0x01, u"GET MESSAGE"},
    {0x02, u"GET FIRST MESSAGE"},
    {0x03, u"GET NEXT MESSAGE"},
    {0x04, u"TRANSFER INC SMS"},
    {0x05, u"INDICATE INC SMS"},
    {0x06, u"TRANSFER INC CBS"},
    {0x07, u"INSERT SMS"},
    {0x08, u"DELETE MESSAGE"},
    {0x09, u"UNABLE TO PROCESS"},
    {0x1E, u"END SMS MODE"},
    {0x20, u"MESSAGE LIST"},
    {0x21, u"MESSAGE"},
    {0x22, u"GET MESSAGE FAILURE"},
    {0x23, u"INC MESSAGE"},
    {0x24, u"MESSAGE ARRIVED"},
    {0x25, u"INSERT SMS COMPLETE"},
    {0x26, u"INSERT SMS FAILURE"},
    {0x27, u"DELETE MESSAGE COMPLETE"},
    {0x28, u"DELETE MESSAGE FAILURE"},
    {0x29, u"UNABLE TO PROCESS"},
    {0x2A, u"REQUEST CONFIRMED"},
    {0x3F, u"END SMS MODE"},
};

// GSM 07.05 Block-mode causes; 0x87 is completed by a GSM 04.11 cause.
constexpr int kTransferFailed = 0x87;
constexpr NameEntry kBlockCauses[] = {
    {0x00, u"No such message"},        {0x01, u"No memory"},
    {0x02, u"No air interface"},       {0x03, u"Receiving entity busy"},
    {0x04, u"Command not understood"}, {0x05, u"Incoming data call"},
    {0x06, u"User-invoked exit"},      {0x87, u"Message Transfer Failed"},
};

// GSM 04.11 8.2.5.4 RP-Cause values.
constexpr NameEntry kRpCauses[] = {
    {0x01, u"Unassigned (Unallocated) Number"},
    {0x08, u"Operator Determined Barring"},
    {0x0A, u"Call Barred"},
    {0x15, u"Short Message Transfer Rejected"},
    {0x1B, u"Destination Out Of Service"},
    {0x1C, u"Unidentified Subscriber"},
    {0x1D, u"Facility Rejected"},
    {0x1E, u"Unknown Subscriber"},
    {0x26, u"Network Out of Order"},
    {0x29, u"Temporary Failure"},
    {0x2A, u"Congestion"},
    {0x2F, u"Resources Unavailable, Unspecified"},
    {0x45, u"Requested Facility Not Implemented"},
    {0x51, u"Invalid SM Transfer Reference Value"},
    {0x5F, u"Invalid Message, Unspecified"},
    {0x60, u"Invalid Mandatory Information"},
    {0x61, u"Message type non-existent or not implemented"},
    {0x62, u"Message not compatible with SM protocol state"},
    {0x63, u"Information element non-existent or not implemented"},
    {0x6F, u"Protocol Error, Unspecified"},
    {0x7F, u"Interworking, unspecified"},
};

// GSM 07.05 REQUEST CONFIRMED confirm types.
constexpr NameEntry kConfirmTypes[] = {
    {0x01, u"Confirm Request to transfer incoming SMS"},
    {0x02, u"Confirm Request to transfer incoming CBS"},
    {0x03, u"Confirm Request to indicate arrival of messages"},
    {0x04, u"Confirm Request to attempt to send SMS"},
};

template <typename... Parts>
QString Join(const Parts &...parts) {
    QString out;
    out.reserve((QStringView(parts).size() + ...));
    (out.append(QStringView(parts)), ...);
    return out;
}

template <std::size_t N>
const char16_t *Lookup(const NameEntry (&table)[N], int code) {
    for (const NameEntry &entry : table) {
        if (entry.code == code) return entry.name;
    }
    return nullptr;
}

// The value of a code given as exactly two hex digits (either case); -1 for anything else.
int CodeValue(QStringView code) {
    if (code.size() != 2) return -1;
    const auto digit = [](QChar c) {
        if (c >= u'0' && c <= u'9') return c.unicode() - u'0';
        if (c >= u'A' && c <= u'F') return c.unicode() - u'A' + 10;
        if (c >= u'a' && c <= u'f') return c.unicode() - u'a' + 10;
        return -1;
    };
    const int high = digit(code[0]);
    const int low = digit(code[1]);
    return high < 0 || low < 0 ? -1 : 16 * high + low;
}

template <std::size_t N>
QString NameOrDefault(const NameEntry (&table)[N], QStringView code, QStringView fallback) {
    const char16_t *name = Lookup(table, CodeValue(code));
    return name ? QString::fromUtf16(name) : fallback.toString();
}

// The parameter octet at 1-based digit n of the content; empty past its end.
QStringView Param(QStringView content, qsizetype n) {
    const qsizetype at = n - 1;
    if (at >= content.size()) return {};
    return content.sliced(at, qMin<qsizetype>(2, content.size() - at));
}

}  // namespace

QString BlockTypeName(QStringView code) {
    const char16_t *name = Lookup(kBlockTypes, HexPairValue(code));
    return Join(u"Message Type: ", name ? name : u"Unknown!");
}

QString BlockCauseText(QStringView cause, QStringView further) {
    const QString text = NameOrDefault(kBlockCauses, cause, u"Unknown");
    if (CodeValue(cause) != kTransferFailed) return text;
    return Join(text, LineBreak, u"04.11 error code: ",
                further.isEmpty() ? u"<missing>"_qs : RpCauseName(further));
}

QString RpCauseName(QStringView code) {
    return NameOrDefault(kRpCauses, code, u"Unknown");
}

QString ConfirmTypeName(QStringView code) {
    return NameOrDefault(kConfirmTypes, code, u"Reserved");
}

QString DescribeBlockMessage(QStringView line) {
    const QStringView frame = FrameOfLine(line);
    QString out = Join(u"Content: ", frame, LineBreak);

    QString content = frame.toString();
    if (!ValidateFrame(content)) return Join(out, content, LineBreak);

    const QStringView type = Param(content, 1);
    out += Join(u"MessageContent: ", content, LineBreak, BlockTypeName(type), LineBreak);

    const auto p = [&content](qsizetype n) { return Param(content, n); };
    // A cause octet is completed by the next one, when the frame has it.
    const auto cause = [&](qsizetype n) {
        const QStringView further = content.size() > n + 2 ? p(n + 2) : QStringView();
        return Join(u"Cause: ", BlockCauseText(p(n), further), LineBreak);
    };
    switch (CodeValue(type)) {
        case 0x21:
            out += Join(DecodeTechnical(QStringView(content).sliced(2), false), LineBreak);
            break;
        case 0x22:
            out += Join(u"Last Short Message: ", p(3), LineBreak, cause(5));
            break;
        case 0x25:
            out += Join(u"SMR: ", p(3), LineBreak, u"TPMR: ",
                        content.size() > 5 ? p(5) : QStringView(), LineBreak);
            break;
        case 0x26:
        case 0x29:
        case 0x3F:
            out += cause(3);
            break;
        case 0x2A:
            out += Join(u"Confirm Type: ", ConfirmTypeName(p(3)), LineBreak);
            break;
        default:
            out += Join(u"No further decoding for that message type", LineBreak);
    }
    return out;
}

}  // namespace vantel
