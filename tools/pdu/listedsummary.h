// `vantel-pdu summary --pdu` over many lines: the message-list line of each listed PDU, printed
// as UTF-8 with CR LF as a line feed, exactly as the line of its stored frame reads, with no
// text allocated per line.
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include "pdu/summary.h"

namespace vantel {

class ListedSummary {
public:
    explicit ListedSummary(bool noSca);

    // Appends the printed line of one listed PDU to `out` and returns true, when `pdu` is hex
    // digits only; otherwise appends nothing and returns false (the caller takes the general
    // road, which also handles digits other than hex).
    bool append(QByteArrayView pdu, QByteArray &out);

private:
    QByteArray content_;  // the stored MESSAGE content's octets
    QString contentHex_;
    MessageFields fields_;
    qsizetype headerSize_;
    quint16 headerSum_;
};

}  // namespace vantel
