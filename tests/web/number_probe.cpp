// Reads number texts, one per line, with the library's number reader and
// prints each result's bit pattern and the length read. Built natively and
// for WebAssembly; the two outputs must be identical.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "json/number_text.h"

int main(int argc, char** argv) {
    std::ifstream in(argc == 2 ? argv[1] : "", std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "usage: number_probe FILE (a readable file)\n");
        return 2;
    }
    std::string line;
    while (std::getline(in, line)) {
        size_t consumed = 0;
        const double value =
            kivanime::ConvertNumberText(line.data(), line.data() + line.size(), &consumed);
        uint64_t bits;
        std::memcpy(&bits, &value, sizeof bits);
        std::printf("%016" PRIx64 " %zu\n", bits, consumed);
    }
    return 0;
}
