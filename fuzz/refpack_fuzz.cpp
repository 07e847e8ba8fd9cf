// RefPack decoder on arbitrary bytes: refuse or decode, never read or write out of
// bounds. Both the strict decoder and the bounded one are exercised.

#include <vector>

#include "common/refpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    (void)ov::refpack::decode(in);
    std::vector<uint8_t> out(size * 4 + 16);
    (void)ov::refpack::decodeInto(in, out);
    return 0;
}
