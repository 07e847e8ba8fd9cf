// Writing new archives: header, FAT, then every item's data in the order given.

#include "common/fileio.h"
#include "common/refpack.h"
#include "hog.h"

namespace ov::archive {

std::string entryNameFor(const fs::path& file, const fs::path& base) {
    if (base.empty()) return pathText(file.filename());
    std::string name = pathText(file.lexically_relative(base));
    for (char& c : name)
        if (c == '/') c = '\\';
    return name;
}

Result<Bytes> buildHog(std::span<const HogItem> items, bool pack, const Job& job) {
    if (items.size() > kMaxItemCount)
        return makeError(ErrorKind::OutOfRange,
                         "an archive holds at most " + std::to_string(kMaxItemCount) + " items");

    std::vector<Bytes> packed(items.size());
    auto packs = [&](size_t i) { return pack && !refpack::isPacked(items[i].data); };
    auto dataOf = [&](size_t i) -> const Bytes& { return packs(i) ? packed[i] : items[i].data; };
    Progress p;
    p.total = items.size();
    uint64_t inputBytes = 0;
    for (const HogItem& item : items)
        inputBytes += item.data.size();
    p.totalBytes = inputBytes;

    uint64_t fatLength = kHeaderSize;
    uint64_t total = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        if (job.stopRequested())
            return makeError(ErrorKind::Stopped, "stopped after " + std::to_string(i) + " of " +
                                                     std::to_string(items.size()) + " items");
        const HogItem& item = items[i];
        p.done = i;
        if (job.progress) {
            p.status = (packs(i) ? "Packing " : "Adding ") + item.name;
            job.report(p);
        }
        // Refuse what extraction would refuse, so every archive built here extracts.
        if (item.name.find('\0') != std::string::npos)
            return makeError(ErrorKind::Refused,
                             "the name \"" + item.name + "\" contains a zero byte");
        if (auto where = targetPath("x", item.name); !where)
            return makeError(ErrorKind::Refused, where.error().message);
        if (packs(i)) {
            auto packedItem = refpack::encode(item.data, refpack::Level::Best);
            if (!packedItem)
                return makeError(packedItem.error().kind,
                                 "\"" + item.name + "\": " + packedItem.error().describe());
            packed[i] = std::move(*packedItem);
        }
        fatLength += 8 + item.name.size() + 1;
        total += dataOf(i).size();
        p.bytes += item.data.size();
    }
    total += fatLength;
    if (total > UINT32_MAX)
        return makeError(ErrorKind::OutOfRange, "the archive would be larger than 4 GiB");

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
    p.done = items.size();
    p.status.clear();
    job.report(p);
    return w.take();
}

Status writeHog(const fs::path& path, std::span<const HogItem> items, bool pack, const Job& job) {
    auto bytes = buildHog(items, pack, job);
    if (!bytes) return bytes.error();
    return writeFileAtomic(path, *bytes);
}

}  // namespace ov::archive
