// Writes a small, valid presentation-shaped compound file, for the demo on machines without the
// sample corpus. Build: see scripts/demo.sh.
#include <cstdio>
#include <fstream>

#include "tests/support/cfb_writer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.ppt\n");
        return 2;
    }
    using namespace deckwright::testing;
    const auto bytes = WriteCompoundFile(PresentationStreams(60000, 2026));
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_sample: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
