// SHP block chain reader: any bytes must be read or refused without a fault, and
// whatever is read must write back and read again to the same chain.

#include <cstdlib>

#include "common/shp.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ov::ByteSpan in(data, size);
    (void)ov::shp::recognize(in);
    auto chain = ov::shp::BlockChain::read(in);
    if (!chain) return 0;
    ov::Bytes out = chain->write();
    auto again = ov::shp::BlockChain::read(out);
    if (!again || again->write() != out) std::abort();
    if (auto t = chain->componentTable()) {
        auto& table = chain->blocks()[*t];
        for (size_t i = 0; i < table.recordCount; ++i) {
            ov::shp::ComponentView c(table.record(i));
            (void)c.name();
            (void)c.position();
        }
    }
    for (auto& b : chain->blocks())
        if (b.type == ov::shp::BlockType::Attachments)
            for (size_t i = 0; i < b.recordCount; ++i)
                (void)ov::shp::attachmentListName(ov::shp::AttachmentView(b.record(i)));
    return 0;
}
