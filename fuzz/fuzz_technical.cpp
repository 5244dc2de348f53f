// DecodeTechnical on any text, with and without the PDU-length flag; the first byte chooses.
#include "fuzzinput.h"
#include "pdu/primitives.h"
#include "pdu/technical.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const bool pduLength = data[0] & 1;
    const QString params = vantel::FuzzText(data + 1, size - 1);
    const QString text = vantel::DecodeTechnical(params, pduLength);
    if (!text.endsWith(vantel::LineBreak)) __builtin_trap();
    return 0;
}
