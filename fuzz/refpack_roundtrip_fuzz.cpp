// Pack then unpack: every level must give back exactly the input, and Best must
// be no larger than Fast.

#include <cstdlib>

#include "common/refpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    size_t fastSize = 0;
    for (auto level :
         {ov::refpack::Level::Fastest, ov::refpack::Level::Fast, ov::refpack::Level::Best}) {
        auto packed = ov::refpack::encode(in, level);
        if (!packed) std::abort();
        auto out = ov::refpack::decode(*packed);
        if (!out || *out != ov::Bytes(in.begin(), in.end())) std::abort();
        if (level == ov::refpack::Level::Fast) fastSize = packed->size();
        if (level == ov::refpack::Level::Best && packed->size() > fastSize) std::abort();
    }
    return 0;
}
