// RefPack codec throughput on a generated corpus of three kinds of game data (text,
// binary tables, model geometry) and their concatenation. Each part is packed at
// both levels; decoding is measured on the best-level stream and on the fast-level
// stream, next to LZ4 (default level) decoding of the same data, in the same run.
// A summary after the run gives the speed ratio against LZ4 and the packed sizes.

#include <benchmark/benchmark.h>
#include <lz4.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "common/refpack.h"
#include "common/shp_build.h"

namespace {

using ov::Bytes;
using ov::refpack::Level;

constexpr size_t kPartSize = size_t(1) << 20;

// splitmix64: the same numbers on every platform, unlike the standard distributions.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint64_t next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t below(uint32_t n) { return uint32_t(next() % n); }
    float unit() { return float(next() >> 40) / float(1 << 24); }
    template <class T, size_t N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

private:
    uint64_t s_;
};

void append(Bytes& out, const std::string& s) {
    out.insert(out.end(), s.begin(), s.end());
}

// Ship definitions and radio chatter, as in the game's text resources.
Bytes makeText() {
    Rng rng(1);
    const char* ships[] = {"Corsair", "Viper",   "Lancer",   "Harrier", "Warden",
                           "Spectre", "Bastion", "Nightjar", "Talon",   "Osprey"};
    const char* classes[] = {"fighter", "bomber", "corvette", "frigate", "capital"};
    const char* weapons[] = {"laser cannon", "ion cannon",  "heat seeker missile",
                             "mass driver",  "flak turret", "torpedo"};
    const char* callsigns[] = {"Alpha", "Bravo", "Delta", "Echo", "Raven", "Ghost"};
    const char* chatter[] = {"Breaking left, cover me!",
                             "I've got one on my six!",
                             "Target destroyed, returning to formation.",
                             "Shields at half, pulling out.",
                             "Engaging the capital ship now.",
                             "Missile lock, missile lock!",
                             "Form up on my wing."};
    Bytes out;
    for (unsigned id = 0; out.size() < kPartSize; ++id) {
        if (rng.below(3) == 0) {
            char line[160];
            std::snprintf(line, sizeof line, "[%s %u]: %s\n", rng.pick(callsigns), rng.below(9) + 1,
                          rng.pick(chatter));
            append(out, line);
            continue;
        }
        char block[512];
        std::snprintf(block, sizeof block,
                      "[ship %u]\nname = %s Mk %u\nclass = %s\nspeed = %.1f\nshield = %u\n"
                      "armour = %u\nweapon1 = %s\nweapon2 = %s\nmodel = ships\\%s%u.shp\n\n",
                      id, rng.pick(ships), rng.below(5) + 1, rng.pick(classes),
                      100.0 + rng.below(4000) / 10.0, 50 + rng.below(20) * 10, 20 + rng.below(300),
                      rng.pick(weapons), rng.pick(weapons), rng.pick(ships), rng.below(5) + 1);
        append(out, block);
    }
    out.resize(kPartSize);
    return out;
}

void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}
void putFloat(Bytes& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(out, v);
}

// Tables of fixed-size records: ids counting up, small enums and flags, quantised
// positions, names from a short list, and a checksum-like random field.
Bytes makeBinary() {
    Rng rng(2);
    const char* names[] = {"cargo_pod", "nav_buoy", "asteroid_l", "asteroid_s",
                           "mine",      "turret",   "relay",      "depot"};
    Bytes out;
    for (uint32_t id = 1000; out.size() < kPartSize; ++id) {
        put32(out, id);
        out.push_back(uint8_t(rng.below(8)));
        out.push_back(uint8_t(rng.below(4) == 0 ? 1u << rng.below(8) : 0));
        out.push_back(0);
        out.push_back(0);
        for (int k = 0; k < 3; ++k)
            putFloat(out, float(int(rng.below(2000)) - 1000) * 4.0f);
        put32(out, 50 * (1 + rng.below(40)));
        char name[16] = {};
        std::snprintf(name, sizeof name, "%s", rng.pick(names));
        out.insert(out.end(), name, name + 16);
        put32(out, uint32_t(rng.next()));
    }
    out.resize(kPartSize);
    return out;
}

// Model geometry: hull sections as deformed grids, each a component of an SHP model.
Bytes makeModel() {
    Rng rng(3);
    std::vector<ov::shp::ComponentSpec> components;
    Bytes out;
    for (int part = 0; out.size() < kPartSize; ++part) {
        ov::shp::ComponentSpec c;
        c.name = "Section" + std::to_string(part);
        c.kind = uint32_t(part % 4);
        c.position = {float(part) * 10.0f, 0, 0};
        c.textures = {"hull_plate", "hull_trim"};
        constexpr int kGrid = 48;
        const float a = 20.0f + rng.unit() * 60.0f, b = 10.0f + rng.unit() * 30.0f;
        for (int v = 0; v < kGrid; ++v)
            for (int u = 0; u < kGrid; ++u) {
                const float pu = float(u) / (kGrid - 1) * 6.2831853f;
                const float pv = float(v) / (kGrid - 1) * 3.1415926f;
                c.vertices.push_back({a * std::cos(pu) * std::sin(pv),
                                      b * std::sin(pu) * std::sin(pv), 2.0f * a * std::cos(pv)});
            }
        for (int v = 0; v + 1 < kGrid; ++v)
            for (int u = 0; u + 1 < kGrid; ++u) {
                const uint32_t i = uint32_t(v * kGrid + u);
                const float u0 = float(u) / kGrid, u1 = float(u + 1) / kGrid;
                const float v0 = float(v) / kGrid, v1 = float(v + 1) / kGrid;
                const uint32_t tex = rng.below(5) == 0 ? 1 : 0;
                c.faces.push_back({i, i + 1, i + kGrid, tex, {u0, u1, u0}, {v0, v0, v1}, 0});
                c.faces.push_back(
                    {i + 1, i + kGrid + 1, i + kGrid, tex, {u1, u1, u0}, {v0, v1, v1}, 0});
            }
        c.boxes.push_back({{0, 0, 0}, {a, b, 2 * a}});
        components.push_back(std::move(c));
        out = ov::shp::buildModel(0, components).write();
    }
    return out;
}

struct Part {
    std::string name;
    Bytes plain;
    Bytes fast, best, lz4;
};

std::vector<Part> makeCorpus() {
    std::vector<Part> parts;
    parts.push_back({"text", makeText(), {}, {}, {}});
    parts.push_back({"binary", makeBinary(), {}, {}, {}});
    parts.push_back({"model", makeModel(), {}, {}, {}});
    Bytes mixed;
    for (const Part& p : parts)
        mixed.insert(mixed.end(), p.plain.begin(), p.plain.end());
    parts.push_back({"mixed", std::move(mixed), {}, {}, {}});
    for (Part& p : parts) {
        p.fast = *ov::refpack::encode(p.plain, Level::Fast);
        p.best = *ov::refpack::encode(p.plain, Level::Best);
        p.lz4.resize(size_t(LZ4_compressBound(int(p.plain.size()))));
        const int n = LZ4_compress_default(reinterpret_cast<const char*>(p.plain.data()),
                                           reinterpret_cast<char*>(p.lz4.data()),
                                           int(p.plain.size()), int(p.lz4.size()));
        p.lz4.resize(size_t(n));
    }
    return parts;
}

void setRatio(benchmark::State& state, const Part& p, const Bytes& packed) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.plain.size()));
    state.counters["ratio"] = double(packed.size()) / double(p.plain.size());
}

void decodeRefPack(benchmark::State& state, const Part& p, const Bytes& packed) {
    Bytes out(p.plain.size());
    for (auto _ : state) {
        auto n = ov::refpack::decodeInto(packed, out);
        benchmark::DoNotOptimize(n);
        if (!n || *n != p.plain.size()) state.SkipWithError("decode failed");
    }
    if (out != p.plain) state.SkipWithError("decoded data differs");
    setRatio(state, p, packed);
}

void decodeLz4(benchmark::State& state, const Part& p) {
    Bytes out(p.plain.size());
    for (auto _ : state) {
        const int n = LZ4_decompress_safe(reinterpret_cast<const char*>(p.lz4.data()),
                                          reinterpret_cast<char*>(out.data()), int(p.lz4.size()),
                                          int(out.size()));
        benchmark::DoNotOptimize(n);
        if (n != int(p.plain.size())) state.SkipWithError("LZ4 decode failed");
    }
    setRatio(state, p, p.lz4);
}

void pack(benchmark::State& state, const Part& p, Level level) {
    Bytes packed;
    for (auto _ : state) {
        auto r = ov::refpack::encode(p.plain, level);
        benchmark::DoNotOptimize(r);
        packed = std::move(*r);
    }
    setRatio(state, p, packed);
}

// Prints the usual table and keeps each benchmark's throughput for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.counters.count("bytes_per_second"))
                speed[r.benchmark_name()] = r.counters.at("bytes_per_second") / 1e6;
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> speed;  // MB/s by benchmark name
};

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Part> corpus = makeCorpus();
    for (const Part& p : corpus) {
        benchmark::RegisterBenchmark(("decode/refpack-best/" + p.name).c_str(), decodeRefPack, p,
                                     p.best);
        benchmark::RegisterBenchmark(("decode/refpack-fast/" + p.name).c_str(), decodeRefPack, p,
                                     p.fast);
        benchmark::RegisterBenchmark(("decode/lz4/" + p.name).c_str(), decodeLz4, p);
        benchmark::RegisterBenchmark(("pack/fast/" + p.name).c_str(), pack, p, Level::Fast);
        benchmark::RegisterBenchmark(("pack/best/" + p.name).c_str(), pack, p, Level::Best)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    auto speed = [&](const std::string& name) {
        auto it = reporter.speed.find(name);
        return it == reporter.speed.end() ? 0.0 : it->second;
    };
    std::printf("\n%-7s %9s %9s %9s %7s %7s | %9s %9s %9s %9s\n", "part", "ours MB/s", "fastMB/s",
                "lz4 MB/s", "best/lz4", "fast/lz4", "plain", "fast", "best", "lz4");
    for (const Part& p : corpus) {
        const double best = speed("decode/refpack-best/" + p.name);
        const double fast = speed("decode/refpack-fast/" + p.name);
        const double lz4 = speed("decode/lz4/" + p.name);
        std::printf("%-7s %9.0f %9.0f %9.0f %7.2f %7.2f | %9zu %9zu %9zu %9zu\n", p.name.c_str(),
                    best, fast, lz4, lz4 > 0 ? best / lz4 : 0.0, lz4 > 0 ? fast / lz4 : 0.0,
                    p.plain.size(), p.fast.size(), p.best.size(), p.lz4.size());
    }
    return 0;
}
