#include "jsonline.h"

namespace vantel {

QString JsonQuoted(QStringView text) {
    QString out;
    out.reserve(text.size() + 2);
    out += u'"';
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
            case u'"':
                out += u"\\\"";
                break;
            case u'\\':
                out += u"\\\\";
                break;
            case u'\b':
                out += u"\\b";
                break;
            case u'\f':
                out += u"\\f";
                break;
            case u'\n':
                out += u"\\n";
                break;
            case u'\r':
                out += u"\\r";
                break;
            case u'\t':
                out += u"\\t";
                break;
            default:
                if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
                    out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
                else
                    out += c;
        }
    }
    out += u'"';
    return out;
}

void JsonLine::key(QStringView name) {
    if (!body_.isEmpty()) body_ += u',';
    body_ += JsonQuoted(name);
    body_ += u':';
}

JsonLine &JsonLine::add(QStringView name, QStringView text) {
    key(name);
    body_ += JsonQuoted(text);
    return *this;
}

JsonLine &JsonLine::add(QStringView name, bool value) {
    key(name);
    body_ += value ? u"true" : u"false";
    return *this;
}

void JsonLine::next() {
    done_ += u'{';
    done_ += body_;
    done_ += QStringView(u"}\n");
    body_.clear();
}

QByteArray JsonLine::finish() const {
    QString line;
    line.reserve(done_.size() + body_.size() + 3);
    line += done_;
    line += u'{';
    line += body_;
    line += QStringView(u"}\n");
    return line.toUtf8();
}

}  // namespace vantel
