// What a message-list line holds beyond its columns: its decoded fields, its place in a
// concatenated message, the whole text of that message once every part is stored, and the name
// the destination history gives its number. Search, export, the viewer and the list read these.
#pragma once

#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>

#include "pdu/summary.h"
#include "pdu/userdata.h"

namespace vantel {

// The decoded fields of a list line. A line whose frame fails its check shows no field of any
// other message: its text is "<invalid message>" and everything else is empty.
MessageFields DecodeListLine(QStringView line);
// The line's place in a concatenated message (not valid() for a message on its own).
Concatenation PartOf(const MessageFields &fields);
// "(2/3) " in front of a part's text, "" for a message on its own.
QString PartPlace(const Concatenation &part);

// The parts of the concatenated messages of a list, by sender (or recipient), its type, the
// reference and the total: two senders using one reference are two messages.
class ConcatenatedTexts {
public:
    void add(const MessageFields &fields, const Concatenation &part);
    void addLines(const QStringList &lines);
    void clear() { parts_.clear(); }
    // The parts' texts joined in part order, or an empty text while a part is missing.
    QString joined(const MessageFields &fields, const Concatenation &part) const;
    // What the parts of one concatenated message share: sender, its type, reference, total.
    static QString Key(const MessageFields &fields, const Concatenation &part);

private:
    QHash<QString, QMap<int, QString>> parts_;
};

// The names of the destination history ("name=number" entries; a ",centre" after the number
// is not part of it), found by the number a message shows, read by the same rules as numbers
// typed for sending: "07712 345678" in the history names "447712345678" in a message.
class NameBook {
public:
    NameBook() = default;
    NameBook(const QStringList &historyEntries, QStringView countryCode);
    // The name of a message's address ("" when none): numeric addresses only.
    QString nameOf(const QString &address, const QString &addressType) const;
    bool isEmpty() const { return names_.isEmpty(); }

private:
    QString country_;
    QHash<QString, QString> names_;  // digits as sent (country code first) -> name
};

}  // namespace vantel
