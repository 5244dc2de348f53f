// DecodeMessage on any frame content, and the list line of any stored frame.
#include "app/listline.h"
#include "fuzzinput.h"
#include "pdu/summary.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString content = vantel::FuzzText(data, size);
    vantel::MessageFields fields;
    const bool sms = vantel::DecodeMessage(content, fields);
    if (sms != content.startsWith(u"21")) __builtin_trap();

    // A stored frame's line: 90 columns, then the frame as given.
    const vantel::ListLine line = vantel::MakeListLine(content);
    if (!line.line.endsWith(content) || line.line.size() < 90 + content.size()) __builtin_trap();
    return 0;
}
