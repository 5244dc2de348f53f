// Field-by-field explanation of a stored message: Block-mode header octets, service-centre
// address and GSM 03.40 TPDU. Never fails: it prints what it finds.
#pragma once

#include <QString>
#include <QStringView>

namespace vantel {

// `params` is a MESSAGE frame's content without its type octet "21": IEI, LENGTH, MESSAGE
// REF, STATUS, the service-centre address field and the TPDU. With `pduLength`, the
// service-centre address is followed by two skipped characters and a PDU length octet.
// Every line, the last included, ends with CR LF.
QString DecodeTechnical(QStringView params, bool pduLength);

// TPDU body decoders; `tpdu` is consumed as fields are read and ends up holding the user data.
QString DecodeTechnicalDeliver(QString &tpdu);
QString DecodeTechnicalSubmit(QString &tpdu);

}  // namespace vantel
