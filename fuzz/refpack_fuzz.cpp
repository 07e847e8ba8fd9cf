// RefPack decoder on arbitrary bytes: refuse or decode, never read or write out of
// bounds. The strict decoder, the bounded one and the streaming one are all
// exercised, and the bounded and streaming ones must agree.

#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/refpack.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    (void)ov::refpack::decode(in);
    std::vector<uint8_t> out(size * 4 + 16);
    auto whole = ov::refpack::decodeInto(in, out);
    std::vector<uint8_t> streamed;
    auto stream = ov::refpack::decodeStream(in, out.size(), [&](ov::ByteSpan piece) -> ov::Status {
        streamed.insert(streamed.end(), piece.begin(), piece.end());
        return {};
    });
    if (bool(whole) != bool(stream)) std::abort();
    if (whole && (*whole != *stream || streamed.size() != *whole ||
                  (*whole && std::memcmp(out.data(), streamed.data(), *whole) != 0)))
        std::abort();
    return 0;
}
