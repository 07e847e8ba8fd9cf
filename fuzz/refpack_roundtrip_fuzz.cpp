// Pack then unpack: both levels must give back exactly the input.

#include <cstdlib>

#include "common/refpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    for (auto level : {ov::refpack::Level::Fast, ov::refpack::Level::Best}) {
        auto packed = ov::refpack::encode(in, level);
        if (!packed) std::abort();
        auto out = ov::refpack::decode(*packed);
        if (!out || *out != ov::Bytes(in.begin(), in.end())) std::abort();
    }
    return 0;
}
