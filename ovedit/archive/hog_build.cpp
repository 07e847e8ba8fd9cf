// Writing new archives: header, FAT, then every item's data in the order given.

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog.h"

namespace ov::archive {

Result<Bytes> buildHog(std::span<const HogItem> items, bool pack) {
    if (items.size() > kMaxItemCount)
        return makeError("an archive holds at most " + std::to_string(kMaxItemCount) + " items");

    std::vector<Bytes> packed(items.size());
    auto packs = [&](size_t i) { return pack && !refpack::isPacked(items[i].data); };
    auto dataOf = [&](size_t i) -> const Bytes& { return packs(i) ? packed[i] : items[i].data; };
    uint64_t fatLength = kHeaderSize;
    uint64_t total = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const HogItem& item = items[i];
        // Refuse what extraction would refuse, so every archive built here extracts.
        if (item.name.find('\0') != std::string::npos)
            return makeError("the name \"" + item.name + "\" contains a zero byte");
        if (auto where = targetPath("x", item.name); !where) return where.error();
        if (packs(i)) {
            auto p = refpack::encode(item.data, refpack::Level::Best);
            if (!p) return makeError("\"" + item.name + "\": " + p.error().describe());
            packed[i] = std::move(*p);
        }
        fatLength += 8 + item.name.size() + 1;
        total += dataOf(i).size();
    }
    total += fatLength;
    if (total > UINT32_MAX) return makeError("the archive would be larger than 4 GiB");

    ByteWriter w{static_cast<size_t>(total)};
    w.bytes(ByteSpan(reinterpret_cast<const uint8_t*>("BIGF"), 4));
    w.u32be(uint32_t(total));
    w.u32be(uint32_t(items.size()));
    w.u32be(uint32_t(fatLength));
    uint64_t offset = fatLength;
    for (size_t i = 0; i < items.size(); ++i) {
        const Bytes& data = dataOf(i);
        w.u32be(uint32_t(offset));
        w.u32be(uint32_t(data.size()));
        w.bytes(
            ByteSpan(reinterpret_cast<const uint8_t*>(items[i].name.data()), items[i].name.size()));
        w.u8(0);
        offset += data.size();
    }
    for (size_t i = 0; i < items.size(); ++i)
        w.bytes(dataOf(i));
    return w.take();
}

Status writeHog(const fs::path& path, std::span<const HogItem> items, bool pack) {
    auto bytes = buildHog(items, pack);
    if (!bytes) return bytes.error();
    return writeFileAtomic(path, *bytes);
}

}  // namespace ov::archive
