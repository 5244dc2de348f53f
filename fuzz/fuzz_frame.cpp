// ExtractFrame on any captured response, then ValidateFrame on what it cuts out and on the
// input itself, and FrameKey.
#include "blockmode/frame.h"
#include "fuzzinput.h"

namespace {

void CheckValidate(QString frame) {
    if (!vantel::ValidateFrame(frame) && !frame.startsWith(u"Syntax error: ")) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString captured = vantel::FuzzText(data, size);
    const vantel::ExtractedFrame extracted = vantel::ExtractFrame(captured);
    if (extracted.found) CheckValidate(extracted.frame);
    CheckValidate(captured);
    (void)vantel::FrameKey(captured);
    return 0;
}
