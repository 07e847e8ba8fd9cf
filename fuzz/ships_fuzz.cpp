// Ship data parsers on arbitrary bytes: the import statistics text, the ship table
// text, and the weapon points of a model. None may fault; every weapon point found
// must lie inside the model with its type field, and a parsed ship table must come
// back unchanged through its text form.

#include <cstdlib>
#include <string_view>

#include "common/shp.h"
#include "ovedit/ships/ship_table.h"
#include "ovedit/ships/stats.h"
#include "ovedit/ships/weapons.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);

    if (auto stats = ov::ships::parseImportStats(text)) {
        auto bytes = stats->toBytes();
        if (ov::ships::ShipStats::fromBytes(bytes).toBytes() != bytes) std::abort();
    }

    if (auto table = ov::ships::parseShipTable(text)) {
        auto again = ov::ships::parseShipTable(ov::ships::formatShipTable(*table));
        if (!again || again->size() != table->size()) std::abort();
        for (size_t i = 0; i < table->size(); ++i) {
            const auto &a = (*table)[i], &b = (*again)[i];
            if (a.name != b.name || a.statsIndex != b.statsIndex || a.model != b.model ||
                a.tigerModel != b.tigerModel || a.imported != b.imported ||
                a.swapped != b.swapped || (a.swapped && a.swapTarget != b.swapTarget))
                std::abort();
        }
    }

    ov::ByteSpan in(data, size);
    if (auto chain = ov::shp::BlockChain::read(in)) {
        for (const auto& e : ov::ships::weaponEntries(*chain)) {
            size_t field = e.kind == 0   ? ov::ships::kMissileTypeField
                           : e.kind == 1 ? ov::ships::kExternalGunField
                                         : ov::ships::kGunTypeField;
            if (e.recordOffset + field + 4 > size || field + 4 > e.recordSize) std::abort();
            if (ov::loadU32LE(data + e.recordOffset) != e.kind) std::abort();
            (void)ov::ships::weaponName(e);
        }
        (void)ov::ships::modelsCorrespond(*chain, *chain);
    }
    return 0;
}
