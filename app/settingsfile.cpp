#include "app/settingsfile.h"

#include "pdu/primitives.h"

namespace vantel {

namespace {

// One line of the file: its selector (first five characters) decides; the line must begin
// with the full key, and the value starts right after it.
enum class Key {
    Speed,
    Port,
    DialString,
    ConfirmString,
    DebugMode,
    EchoSet,
    PDUMode,
    GetOldMessages,
    GetSIMMessages,
    SkipPDUSCA,
    DeleteOld,
    KeepErr,
    QueuePaused,
    Device,
    AutoRetrieve,
    CountryCode,
    PduDelete
};

struct KeyEntry {
    Key key;
    QStringView name;  // with its "="
};

constexpr KeyEntry kKeys[] = {
    {Key::Speed, u"Speed="},
    {Key::Port, u"Port="},
    {Key::DialString, u"DialString="},
    {Key::ConfirmString, u"ConfirmString="},
    {Key::DebugMode, u"DebugMode="},
    {Key::EchoSet, u"EchoSet="},
    {Key::PDUMode, u"PDUMode="},
    {Key::GetOldMessages, u"GetOldMessages="},
    {Key::GetSIMMessages, u"GetSIMMessages="},
    {Key::SkipPDUSCA, u"SkipPDUSCA="},
    {Key::DeleteOld, u"DeleteOld="},
    {Key::KeepErr, u"KeepErr="},
    {Key::QueuePaused, u"QueuePaused="},
    {Key::Device, u"Device="},
    {Key::AutoRetrieve, u"AutoRetrieve="},
    {Key::CountryCode, u"CountryCode="},
    {Key::PduDelete, u"PduDelete="},
};

constexpr qsizetype kSelectorLength = 5;

// The flag a key sets; null for the text settings. `S` is Settings or const Settings.
template <typename S>
auto FlagOf(S &s, Key key) -> decltype(&s.debugMode) {
    switch (key) {
        case Key::DebugMode:
            return &s.debugMode;
        case Key::EchoSet:
            return &s.echoSet;
        case Key::PDUMode:
            return &s.pduMode;
        case Key::GetOldMessages:
            return &s.getOldMessages;
        case Key::GetSIMMessages:
            return &s.getSIMMessages;
        case Key::SkipPDUSCA:
            return &s.skipPDUSCA;
        case Key::DeleteOld:
            return &s.deleteOld;
        case Key::KeepErr:
            return &s.keepErr;
        case Key::QueuePaused:
            return &s.queuePaused;
        case Key::PduDelete:
            return &s.pduDelete;
        default:
            return nullptr;
    }
}

void ApplyLine(QStringView line, Settings &s, const SerialSink &sink) {
    if (line.size() < kSelectorLength) return;
    const QStringView selector = line.first(kSelectorLength);
    for (const KeyEntry &entry : kKeys) {
        if (entry.name.first(kSelectorLength) != selector) continue;
        if (!line.startsWith(entry.name)) return;
        const QStringView value = line.sliced(entry.name.size());
        switch (entry.key) {
            case Key::Speed:
                s.speed = value.toString();
                if (sink.setSettings) sink.setSettings(s.speed + u",N,8,1"_qs);
                break;
            case Key::Port:
                s.port = value.first(qMin<qsizetype>(1, value.size())).toString();
                if (sink.setCommPort && !s.port.isEmpty() && s.port[0] >= u'0' &&
                    s.port[0] <= u'9') {
                    sink.setCommPort(s.port[0].unicode() - u'0');
                }
                break;
            case Key::DialString:
                s.dialString = value.toString();
                break;
            case Key::ConfirmString:
                s.confirmString = value.toString();
                break;
            case Key::Device:
                s.device = value.toString();
                break;
            case Key::AutoRetrieve: {
                bool ok = false;
                const int minutes = value.trimmed().toInt(&ok);
                if (ok && minutes >= 0 && minutes <= MaxAutoRetrieveMinutes)
                    s.autoRetrieveMinutes = minutes;
                break;
            }
            case Key::CountryCode:
                // A code no number could carry is skipped like a damaged line.
                if (IsCountryCode(value)) s.countryCode = value.toString();
                break;
            default:
                *FlagOf(s, entry.key) = value.startsWith(u'1');
                break;
        }
        return;
    }
}

// A value as one line: line breaks typed into it would split it into lines of their own.
QString OneLine(const QString &value) {
    QString line = value;
    line.remove(u'\r');
    line.remove(u'\n');
    return line;
}

}  // namespace

void ReadSettings(QByteArrayView file, Settings &s, const SerialSink &sink) {
    s.debugMode = true;
    // Lines end with CR LF, a bare LF or a bare CR; the last one may have no end at all.
    const QString text = FromAnsi(file);
    const QStringView all = text;
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = start;
        while (end < all.size() && all[end] != u'\r' && all[end] != u'\n')
            ++end;
        ApplyLine(all.sliced(start, end - start), s, sink);
        start = end + 1;
    }
}

QByteArray WriteSettings(const Settings &s) {
    QString text;
    const auto line = [&text](QStringView key, const QString &value) {
        text.append(key);
        text.append(OneLine(value));
        text.append(LineBreak);
    };
    line(u"Speed=", s.speed);
    line(u"Port=", s.port);
    line(u"DialString=", s.dialString);
    line(u"ConfirmString=", s.confirmString);
    if (!s.device.isEmpty()) line(u"Device=", s.device);
    if (s.autoRetrieveMinutes > 0) line(u"AutoRetrieve=", QString::number(s.autoRetrieveMinutes));
    for (const KeyEntry &entry : kKeys) {
        if (const bool *flag = FlagOf(s, entry.key); flag && *flag) {
            text.append(entry.name);
            text.append(u'1');
            text.append(LineBreak);
        }
    }
    if (s.countryCode != kDefaultCountryCode) line(u"CountryCode=", s.countryCode);
    return ToAnsi(text);
}

}  // namespace vantel
