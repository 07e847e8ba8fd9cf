// glTF export and import of one component of up to 60,000 faces (a grid of
// quads, each two triangles, every vertex shared by its neighbours): export to a
// glb in memory; import of the file as exported (every record kept); import of a
// file whose every vertex moved (the component rebuilt, its faces mapped back);
// and import of the mesh as a foreign file (a new ship). Each at four sizes, with
// the fitted growth, to show whether the cost is linear in the faces.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>

#include "common/shp_build.h"
#include "ovtool/interchange/detail.h"
#include "ovtool/interchange/interchange.h"

namespace {

namespace ix = ov::interchange;
using namespace ov::shp;

BlockChain grid(size_t faces, float lift) {
    const size_t quads = faces / 2;
    const size_t cols = 200, rows = (quads + cols - 1) / cols;
    ComponentSpec c;
    c.name = "Hull";
    c.textures = {"hull"};
    for (size_t r = 0; r <= rows; ++r)
        for (size_t q = 0; q <= cols; ++q)
            c.vertices.push_back({float(q), float(r), lift * float((q * 7 + r * 3) % 11)});
    for (size_t i = 0; i < quads; ++i) {
        const uint32_t r = uint32_t(i / cols), q = uint32_t(i % cols), w = uint32_t(cols + 1);
        const uint32_t a = r * w + q, b = a + 1, d = a + w, e = d + 1;
        const float u0 = float(q) / float(cols), u1 = float(q + 1) / float(cols);
        const float v0 = float(r) / float(rows), v1 = float(r + 1) / float(rows);
        c.faces.push_back({a, b, e, 0, {u0, u1, u1}, {v0, v0, v1}, 0});
        c.faces.push_back({a, e, d, 0, {u0, u1, u0}, {v0, v1, v1}, 0});
    }
    c.attachments = {makeAttachment(3, {0, 0, 0}, 1)};
    c.boxes = {{{100, 50, 0}, {100, 50, 10}}};
    return buildModel(0, {c});
}

struct Files {
    ov::Bytes exported, moved, foreign;
};

const Files& files(size_t faces) {
    static std::map<size_t, Files> cache;
    auto it = cache.find(faces);
    if (it != cache.end()) return it->second;
    Files f;
    const BlockChain chain = grid(faces, 1.0f);
    f.exported = *ix::exportGlb(chain);
    // The same mesh with every vertex lifted, carrying the first model's bytes: what
    // a 3D suite writes after the whole hull was reshaped.
    f.moved = *ix::exportGlb(grid(faces, 1.5f));
    const std::string was = ix::detail::base64Encode(grid(faces, 1.5f).write());
    const std::string now = ix::detail::base64Encode(chain.write());
    auto at = std::search(f.moved.begin(), f.moved.end(), was.begin(), was.end());
    std::copy(now.begin(), now.end(), at);
    // Without the extras it is any other glTF.
    f.foreign = f.exported;
    const std::string key = "\"orvane\":{\"chain\"", other = "\"0rvane\"";
    auto k = std::search(f.foreign.begin(), f.foreign.end(), key.begin(), key.end());
    std::copy(other.begin(), other.end(), k);
    return cache.emplace(faces, std::move(f)).first->second;
}

void args(benchmark::internal::Benchmark* b) {
    for (int64_t faces : {7500, 15000, 30000, 60000})
        b->Arg(faces);
    b->Complexity(benchmark::oN)->Unit(benchmark::kMillisecond);
}

void BM_Export(benchmark::State& state) {
    const BlockChain chain = grid(size_t(state.range(0)), 1.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(ix::exportGlb(chain));
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_Export)->Apply(args);

void importOf(benchmark::State& state, const ov::Bytes& file, bool fromExtras) {
    for (auto _ : state) {
        auto r = ix::importGltf(file, {});
        if (!r || r->report.fromExtras != fromExtras) state.SkipWithError("import failed");
        benchmark::DoNotOptimize(r);
    }
    state.SetComplexityN(state.range(0));
}

void BM_ImportUntouched(benchmark::State& state) {
    importOf(state, files(size_t(state.range(0))).exported, true);
}
BENCHMARK(BM_ImportUntouched)->Apply(args);

void BM_ImportReshaped(benchmark::State& state) {
    importOf(state, files(size_t(state.range(0))).moved, true);
}
BENCHMARK(BM_ImportReshaped)->Apply(args);

void BM_ImportForeign(benchmark::State& state) {
    importOf(state, files(size_t(state.range(0))).foreign, false);
}
BENCHMARK(BM_ImportForeign)->Apply(args);

}  // namespace

BENCHMARK_MAIN();
