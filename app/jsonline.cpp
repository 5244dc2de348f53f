#include "app/jsonline.h"

namespace vantel {

QString JsonQuoted(QStringView text) {
    QString out;
    out.reserve(text.size() + 2);
    AppendJsonQuoted(out, text);
    return out;
}

void AppendJsonQuoted(QString &out, QStringView text) {
    out += u'"';
    qsizetype plain = 0;  // characters kept as they are, not yet appended
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        const bool kept = u >= 0x20 && u != u'"' && u != u'\\' && (u < 0x7F || u > 0x9F) &&
                          u != 0x2028 && u != 0x2029;
        if (kept) {
            ++plain;
            continue;
        }
        out += text.sliced(i - plain, plain);
        plain = 0;
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
                out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QLatin1Char('0'));
        }
    }
    out += text.sliced(text.size() - plain, plain);
    out += u'"';
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
