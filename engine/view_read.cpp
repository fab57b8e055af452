#include "engine/view_read.h"

#include <algorithm>

namespace deckwright {

std::size_t ReadUnderView(RandomAccessFile& base, std::uint64_t pos, std::uint64_t end,
                          std::span<std::uint8_t> out, std::string* error) {
    const std::uint64_t real = base.Length();
    if (pos >= end || base.Failed()) {
        if (base.Failed()) *error = base.Error();
        return 0;
    }
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), end - pos));
    std::size_t got = 0;
    if (pos < real && base.Seek(pos)) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(n, real - pos));
        while (got < want) {
            const std::size_t r = base.Read(out.subspan(got, want - got));
            if (r == 0) break;
            got += r;
        }
    }
    if (base.Failed()) {
        *error = base.Error();
        return 0;
    }
    std::fill(out.begin() + static_cast<std::ptrdiff_t>(got),
              out.begin() + static_cast<std::ptrdiff_t>(n), std::uint8_t{0});
    return n;
}

}  // namespace deckwright
