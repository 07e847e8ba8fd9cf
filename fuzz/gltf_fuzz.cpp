// The glTF import on arbitrary bytes: any file must be read or refused, never a
// fault, and never read anything beside itself (no folder is given, so buffers
// named by the file are refused). What is read must be a model that writes and
// reads back to the same chain, and that exports and imports again byte for byte.

#include <cstdlib>

#include "common/shp.h"
#include "ovtool/interchange/interchange.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    namespace ix = ov::interchange;
    auto r = ix::importGltf(ov::ByteSpan(data, size), {});
    if (!r) return 0;
    const ov::Bytes bytes = r->chain.write();
    auto again = ov::shp::BlockChain::read(bytes);
    if (!again || again->write() != bytes) std::abort();
    auto glb = ix::exportGlb(r->chain);
    if (!glb) return 0;  // a chain without a component table is not exported
    auto back = ix::importGltf(*glb, {});
    if (!back || back->chain.write() != bytes) std::abort();
    return 0;
}
