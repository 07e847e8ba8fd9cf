// Model lookups on a hostile model: 60,000 blocks under a component table that
// claims 65,535 components of record size 0. Reading it (chain and index), the
// summary and attachment list of every component (what `ovcli model info` shows)
// and every validity and face check (`ovcli model check`), all through the index;
// next to the same per-component lookups done by scanning the chain
// (BlockChain::nth and firstAfter), for the first 1,000 components only, since the
// scan costs one pass over the chain per lookup.

#include <benchmark/benchmark.h>

#include "common/shp.h"
#include "common/shp_model.h"

namespace {

using namespace ov::shp;

ov::Bytes hostileModel() {
    BlockChain chain;
    auto add = [&](uint32_t type, uint32_t size, uint32_t count) {
        Block b;
        b.type = type;
        b.recordSize = size;
        b.recordCount = count;
        b.data.assign(size_t(size) * count, uint8_t(type));
        chain.appendBlock(std::move(b));
    };
    add(BlockType::ShipHeader, 88, 1);
    add(BlockType::ComponentTable, 0, 0xFFFF);
    // Small groups of real blocks: boxes, attachments, block13, vertices, faces
    // (whose corners index vertex 0) and a texture name.
    while (chain.size() + 7 <= 60000) {
        add(BlockType::GroupOpener, 4, 1);
        add(BlockType::Boxes, kBoxRecordSize, 1);
        add(BlockType::Attachments, kAttachmentRecordSize, 2);
        add(BlockType::Block13, 4, 0);
        add(BlockType::Vertices, 32, 4);
        add(BlockType::Faces, kFaceRecordSize, 2);
        std::fill(chain.blocks().back().data.begin(), chain.blocks().back().data.end(), 0);
        add(BlockType::TextureNames, 64, 1);
    }
    return chain.write();
}

const ov::Bytes& modelBytes() {
    static const ov::Bytes bytes = hostileModel();
    return bytes;
}

struct Loaded {
    LoadedModel model;
    ChainIndex index;
};

const Loaded& loaded() {
    static const Loaded l = [] {
        auto m = readModel(modelBytes());
        if (!m) std::abort();
        ChainIndex index(m->chain);
        return Loaded{std::move(*m), std::move(index)};
    }();
    return l;
}

void readAndIndex(benchmark::State& state) {
    for (auto _ : state) {
        auto m = readModel(modelBytes());
        ChainIndex index(m->chain);
        benchmark::DoNotOptimize(index);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(modelBytes().size()));
}

void info(benchmark::State& state) {
    const ModelView view(loaded().model.chain, loaded().index);
    for (auto _ : state) {
        size_t seen = 0;
        for (size_t k = 0; k < view.componentCount(); ++k) {
            const ComponentSummary s = view.summary(k);
            seen += s.attachments.value_or(0);
            if (auto names = view.attachmentNames(k)) seen += names->size();
        }
        benchmark::DoNotOptimize(seen);
    }
    state.counters["components"] = double(view.componentCount());
}

void check(benchmark::State& state) {
    const ModelView view(loaded().model.chain, loaded().index);
    for (auto _ : state)
        benchmark::DoNotOptimize(view.check());
}

// The lookups of one component by scanning the chain, as before the index.
void scannedLookups(benchmark::State& state) {
    const BlockChain& chain = loaded().model.chain;
    const size_t components = size_t(state.range(0));
    for (auto _ : state) {
        size_t found = 0;
        for (size_t k = 0; k < components; ++k) {
            found += chain.nth(BlockType::GroupOpener, k).has_value();
            found += chain.nth(BlockType::Boxes, k).has_value();
            if (auto nine = chain.nth(BlockType::Attachments, k)) {
                found += chain.firstAfter(*nine, BlockType::Vertices).has_value();
                found += chain.firstAfter(*nine, BlockType::Faces).has_value();
                found += chain.firstAfter(*nine, BlockType::TextureNames).has_value();
            }
        }
        benchmark::DoNotOptimize(found);
    }
    state.counters["components"] = double(components);
}

void indexedLookups(benchmark::State& state) {
    const ModelView view(loaded().model.chain, loaded().index);
    const size_t components = size_t(state.range(0));
    for (auto _ : state) {
        size_t found = 0;
        for (size_t k = 0; k < components; ++k)
            found += view.locate(k).faces.has_value();
        benchmark::DoNotOptimize(found);
    }
    state.counters["components"] = double(components);
}

}  // namespace

BENCHMARK(readAndIndex)->Unit(benchmark::kMillisecond);
BENCHMARK(info)->Unit(benchmark::kMillisecond);
BENCHMARK(check)->Unit(benchmark::kMillisecond);
BENCHMARK(scannedLookups)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(indexedLookups)->Arg(1000)->Arg(65535)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
