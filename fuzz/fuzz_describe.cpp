// DescribeBlockMessage of any line (a frame, or a message-list line whose last word is one).
#include "blockmode/diagnostics.h"
#include "fuzzinput.h"
#include "pdu/primitives.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString account = vantel::DescribeBlockMessage(vantel::FuzzText(data, size));
    if (!account.startsWith(u"Content: ") || !account.endsWith(vantel::LineBreak)) __builtin_trap();
    return 0;
}
