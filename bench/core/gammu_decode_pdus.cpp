// The reference for vantel-pdu's throughput: libGammu's GSM_DecodePDUFrame over a file of PDUs
// (service-centre address field, then the TPDU), one a line, hex parsing included, as a whole
// process. Prints the number of lines and of PDUs that decoded.
#include <gammu.h>

#include <cstdio>
#include <cstring>
#include <vector>

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: gammu_decode_pdus FILE\n");
        return 2;
    }
    std::FILE *file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 2;
    }
    std::vector<char> data;
    char chunk[1 << 16];
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
        data.insert(data.end(), chunk, chunk + got);
    std::fclose(file);
    data.push_back('\0');

    GSM_Debug_Info *debug = GSM_GetGlobalDebug();
    GSM_SMSMessage sms;
    unsigned char octets[1024];
    long lines = 0, decoded = 0;
    for (char *line = data.data(); *line;) {
        char *end = std::strchr(line, '\n');
        if (!end) end = line + std::strlen(line);
        size_t length = size_t(end - line);
        if (length > 0 && line[length - 1] == '\r') --length;
        if (length / 2 <= sizeof octets &&
            DecodeHexBin(octets, reinterpret_cast<unsigned char *>(line), length) &&
            GSM_DecodePDUFrame(debug, &sms, octets, length / 2, nullptr, TRUE) == ERR_NONE)
            ++decoded;
        ++lines;
        line = *end ? end + 1 : end;
    }
    std::printf("%ld %ld\n", lines, decoded);
    return 0;
}
