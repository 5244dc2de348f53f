// ReadSettings on any file, with a serial control that accepts or refuses (the first byte
// chooses), then WriteSettings of what was read.
#include "app/settingsfile.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0) return 0;
    const bool accept = data[0] & 1;
    vantel::SerialSink sink;
    sink.setSettings = [accept](const QString &) { return accept; };
    sink.setCommPort = [accept](int) { return accept; };
    vantel::Settings s;
    vantel::ReadSettings(
        QByteArrayView(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1)), s, sink);
    (void)vantel::WriteSettings(s);
    return 0;
}
