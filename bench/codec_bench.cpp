// RefPack codec speed and size on a mixed corpus, with LZ4 level 1 as the baseline
// measured in the same run, and `gzip -6` (the program, run on the mixed corpus in
// a file) as the reference for pack speed. Earlier revisions of the codec are
// compared with refpack_ab.sh.
//
// The corpus is generated here (text, binary tables, SHP geometry, a binary PLY
// mesh, random bytes, the sample game's models, small items) and takes two real
// files from the Debian system when they are there: libstdc++'s shared library
// (package libstdc++6) as executable code, and the C headers under /usr/include
// (libc6-dev, linux-libc-dev) as source text. "mixed" is the concatenation of the
// large parts.
//
// After the run a summary gives every figure as a ratio to its baseline, and the
// geometric means over the parts of 64 KiB or more.

#include <benchmark/benchmark.h>
#include <lz4.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/refpack.h"
#include "common/shp_build.h"
#include "ovcli/sample_models.h"

namespace {

using ov::Bytes;
using ov::ByteSpan;
using ov::refpack::Level;

constexpr size_t kPartSize = size_t(1) << 20;
constexpr size_t kLargePart = 64 * 1024;  // parts this size or larger count in the means

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
void put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}
void putFloat(Bytes& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    put32(out, v);
}

// Ship definitions and radio chatter, as in the game's text resources.
Bytes makeText(size_t size, uint64_t seed) {
    Rng rng(seed);
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
    for (unsigned id = 0; out.size() < size; ++id) {
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
    out.resize(size);
    return out;
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

// A scanned-looking binary PLY mesh: a rough sphere of noisy float positions and
// normals (next to incompressible), and triangle strips over its grid.
Bytes makePly() {
    Rng rng(4);
    constexpr int kRows = 200, kCols = 200;
    constexpr int kFaces = 2 * (kRows - 1) * (kCols - 1);
    Bytes out;
    char head[256];
    std::snprintf(head, sizeof head,
                  "ply\nformat binary_little_endian 1.0\nelement vertex %d\n"
                  "property float x\nproperty float y\nproperty float z\n"
                  "property float nx\nproperty float ny\nproperty float nz\n"
                  "element face %d\nproperty list uchar int vertex_indices\nend_header\n",
                  kRows * kCols, kFaces);
    append(out, head);
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c) {
            const float th = float(r) / (kRows - 1) * 3.1415926f;
            const float ph = float(c) / kCols * 6.2831853f;
            const float rad = 100.0f + rng.unit() * 2.0f;
            const float n[3] = {std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph),
                                std::cos(th)};
            for (float v : n)
                putFloat(out, v * rad);
            for (float v : n)
                putFloat(out, v + (rng.unit() - 0.5f) * 0.02f);
        }
    for (int r = 0; r + 1 < kRows; ++r)
        for (int c = 0; c + 1 < kCols; ++c) {
            const uint32_t i = uint32_t(r * kCols + c);
            out.push_back(3);
            put32(out, i);
            put32(out, i + 1);
            put32(out, i + kCols);
            out.push_back(3);
            put32(out, i + 1);
            put32(out, i + kCols + 1);
            put32(out, i + kCols);
        }
    return out;
}

Bytes makeRandom(size_t n) {
    Rng rng(5);
    Bytes out(n);
    for (auto& b : out)
        b = uint8_t(rng.next() >> 56);
    return out;
}

Bytes readWhole(const std::filesystem::path& p, size_t most) {
    std::ifstream f(p, std::ios::binary);
    Bytes out(most);
    f.read(reinterpret_cast<char*>(out.data()), std::streamsize(most));
    out.resize(size_t(f.gcount()));
    return out;
}

// The C headers under /usr/include in name order, up to `most` bytes.
Bytes systemHeaders(size_t most) {
    namespace fs = std::filesystem;
    std::vector<fs::path> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator("/usr/include", ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
        if (it->path().extension() == ".h" && it->is_regular_file(ec)) files.push_back(it->path());
    std::sort(files.begin(), files.end());
    Bytes out;
    for (const auto& p : files) {
        if (out.size() >= most) break;
        const Bytes b = readWhole(p, most - out.size());
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

struct LevelInfo {
    const char* name;
    Level level;
};
const LevelInfo kLevels[] = {
    {"fastest", Level::Fastest}, {"fast", Level::Fast}, {"best", Level::Best}};
constexpr size_t kLevelCount = std::size(kLevels);
constexpr size_t kFastest = 0, kFast = 1, kBest = 2;

struct Part {
    std::string name;
    Bytes plain;
    Bytes packed[kLevelCount];
    size_t commands[kLevelCount] = {};
    Bytes lz4;
    // Parts of 64 KiB or more count in the means; "mixed" repeats the others.
    bool counted() const { return plain.size() >= kLargePart && name != "mixed"; }
};

size_t countCommands(const Bytes& s) {
    size_t ip = 5, n = 0;
    while (ip < s.size()) {
        const size_t b0 = s[ip];
        ++n;
        if (b0 < 0x80)
            ip += 2 + (b0 & 3);
        else if (b0 < 0xC0)
            ip += 3 + (s[ip + 1] >> 6);
        else if (b0 < 0xE0)
            ip += 4 + (b0 & 3);
        else if (b0 < 0xFC)
            ip += 1 + ((b0 & 0x1F) + 1) * 4;
        else
            break;
    }
    return n;
}

Bytes lz4Pack(ByteSpan in) {
    Bytes out(size_t(LZ4_compressBound(int(in.size()))));
    const int n =
        LZ4_compress_default(reinterpret_cast<const char*>(in.data()),
                             reinterpret_cast<char*>(out.data()), int(in.size()), int(out.size()));
    out.resize(size_t(n));
    return out;
}

std::vector<Part> makeCorpus() {
    std::vector<Part> parts;
    auto add = [&](std::string name, Bytes plain) {
        if (plain.empty()) return;
        parts.emplace_back();
        parts.back().name = std::move(name);
        parts.back().plain = std::move(plain);
    };
    add("text", makeText(kPartSize, 1));
    add("binary", makeBinary());
    add("model", makeModel());
    add("mesh.ply", makePly());
    add("random", makeRandom(kPartSize / 2));
    add("libstdc++", readWhole("/usr/lib/x86_64-linux-gnu/libstdc++.so.6", 4 * kPartSize));
    add("headers", systemHeaders(2 * kPartSize));
    Bytes mixed;
    for (const Part& p : parts)
        mixed.insert(mixed.end(), p.plain.begin(), p.plain.end());
    add("mixed", std::move(mixed));
    // Small items, as an archive holds them: the sample game's models and short texts.
    add("fighter.shp", ovcli::sampleFighter(0).write());
    add("capital.shp", ovcli::sampleCapitalShip().write());
    add("text-4k", makeText(4096, 7));
    add("text-70", makeText(70, 8));

    for (Part& p : parts) {
        for (size_t l = 0; l < kLevelCount; ++l) {
            p.packed[l] = ov::refpack::encode(p.plain, kLevels[l].level).value();
            p.commands[l] = countCommands(p.packed[l]);
            if (ov::refpack::decode(p.packed[l]).value() != p.plain) {
                std::fprintf(stderr, "%s: %s level does not round-trip\n", p.name.c_str(),
                             kLevels[l].name);
                std::exit(1);
            }
        }
        p.lz4 = lz4Pack(p.plain);
    }
    return parts;
}

void setBytes(benchmark::State& state, const Part& p) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.plain.size()));
}

void decodeRefPack(benchmark::State& state, const Part& p, const Bytes& packed) {
    Bytes out(p.plain.size());
    for (auto _ : state) {
        auto n = ov::refpack::decodeInto(packed, out);
        benchmark::DoNotOptimize(n);
        if (!n || *n != p.plain.size()) state.SkipWithError("decode failed");
    }
    if (out != p.plain) state.SkipWithError("decoded data differs");
    setBytes(state, p);
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
    setBytes(state, p);
}

void decodeStreamed(benchmark::State& state, const Part& p, const Bytes& packed) {
    size_t seen = 0;
    for (auto _ : state) {
        seen = 0;
        auto n = ov::refpack::decodeStream(packed, p.plain.size(), [&](ByteSpan piece) {
            benchmark::DoNotOptimize(piece.data());
            seen += piece.size();
            return ov::Status{};
        });
        if (!n || *n != p.plain.size()) state.SkipWithError("streaming decode failed");
    }
    if (seen != p.plain.size()) state.SkipWithError("streaming decode lost bytes");
    setBytes(state, p);
}

void packWith(benchmark::State& state, const Part& p, const std::function<Bytes(ByteSpan)>& fn) {
    for (auto _ : state) {
        Bytes packed = fn(p.plain);
        benchmark::DoNotOptimize(packed.data());
    }
    setBytes(state, p);
}

// Prints the usual table and keeps each benchmark's throughput for the summary:
// the median of the repetitions when there are several (the only figure the
// reporter sees with --benchmark_report_aggregates_only or
// --benchmark_display_aggregates_only), otherwise the mean of the runs.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs) {
            auto c = r.counters.find("bytes_per_second");
            if (r.error_occurred || c == r.counters.end()) continue;
            const std::string name = r.run_name.str();
            if (r.run_type == Run::RT_Aggregate) {
                if (r.aggregate_name == "median") median_[name] = c->second / 1e6;
            } else {
                sum_[name] += c->second / 1e6;
                ++count_[name];
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    // MB/s of a benchmark, or 0 when it did not run.
    double speed(const std::string& name) const {
        if (auto m = median_.find(name); m != median_.end()) return m->second;
        auto s = sum_.find(name);
        return s == sum_.end() ? 0.0 : s->second / count_.at(name);
    }

private:
    std::map<std::string, double> median_, sum_;
    std::map<std::string, int> count_;
};

// Geometric mean of the ratios that are defined (both figures measured).
class GeoMean {
public:
    void add(double num, double den) {
        if (num > 0 && den > 0) {
            logSum_ += std::log(num / den);
            ++n_;
        }
    }
    double value() const { return n_ ? std::exp(logSum_ / n_) : 0.0; }

private:
    double logSum_ = 0;
    int n_ = 0;
};

std::string ratio(double num, double den) {
    if (num <= 0 || den <= 0) return "-";
    char s[32];
    std::snprintf(s, sizeof s, "%.3f", num / den);
    return s;
}

const char* verdict(bool measured, bool met) {
    return !measured ? "not measured" : met ? "met" : "NOT met";
}

// MB/s of CPU time of `gzip -6` on `plain` written to a file: the best of three
// runs of the program (0 when it cannot be run).
double gzipSpeed(const Bytes& plain) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("codec_bench-" + std::to_string(::getpid()) + ".mixed");
    {
        std::ofstream f(path, std::ios::binary);
        f.write(reinterpret_cast<const char*>(plain.data()), std::streamsize(plain.size()));
        if (!f) return 0;
    }
    const std::string cmd = "gzip -6 -c '" + path.string() + "' >/dev/null";
    double best = 1e30;
    for (int i = 0; i < 3; ++i) {
        rusage before{}, after{};
        ::getrusage(RUSAGE_CHILDREN, &before);
        if (std::system(cmd.c_str()) != 0) best = 0;
        ::getrusage(RUSAGE_CHILDREN, &after);
        auto seconds = [](const rusage& u) {
            return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
                   double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
        };
        if (best > 0) best = std::min(best, seconds(after) - seconds(before));
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return best > 0 ? double(plain.size()) / best / 1e6 : 0.0;
}

void printSummary(const std::vector<Part>& corpus, const SummaryReporter& rep) {
    auto speed = [&](const std::string& kind, const std::string& level, const Part& p) {
        return rep.speed(kind + "/" + level + "/" + p.name);
    };

    std::printf("\nSizes in bytes (commands in thousands); ratios to LZ4 level 1\n");
    std::printf("%-12s %9s %9s %9s %9s %9s %7s %7s %7s | %8s %8s %8s\n", "part", "plain", "lz4",
                "fastest", "fast", "best", "k fstst", "k fast", "k best", "best/fast", "fast/lz4",
                "best/lz4");
    GeoMean gFastLz4, gBestLz4;
    double worstBestOverFast = 0;
    std::string worstPart;
    for (const Part& p : corpus) {
        const double sf = double(p.packed[kFast].size()), sb = double(p.packed[kBest].size());
        std::printf("%-12s %9zu %9zu %9zu %9zu %9zu %7.1f %7.1f %7.1f | %8s %8s %8s\n",
                    p.name.c_str(), p.plain.size(), p.lz4.size(), p.packed[kFastest].size(),
                    p.packed[kFast].size(), p.packed[kBest].size(), p.commands[kFastest] / 1e3,
                    p.commands[kFast] / 1e3, p.commands[kBest] / 1e3, ratio(sb, sf).c_str(),
                    ratio(sf, double(p.lz4.size())).c_str(),
                    ratio(sb, double(p.lz4.size())).c_str());
        if (sb / sf > worstBestOverFast) {
            worstBestOverFast = sb / sf;
            worstPart = p.name;
        }
        if (!p.counted()) continue;
        gFastLz4.add(sf, double(p.lz4.size()));
        gBestLz4.add(sb, double(p.lz4.size()));
    }

    std::printf("\nSpeeds in MB/s of plain data; ratios to LZ4 level 1 in this run\n");
    std::printf("%-12s %7s %7s %7s %7s | %7s %7s %7s %7s | %6s %6s %6s | %6s %6s %6s\n", "part",
                "pk lz4", "fastest", "fast", "best", "dec lz4", "fastest", "fast", "best", "pk fst",
                "pk fas", "pk bst", "dc fst", "dc fas", "dc bst");
    GeoMean gPack[kLevelCount], gDecode[kLevelCount];
    for (const Part& p : corpus) {
        const double lzPack = speed("pack", "lz4", p), lzDecode = speed("decode", "lz4", p);
        double pk[kLevelCount], dc[kLevelCount];
        for (size_t l = 0; l < kLevelCount; ++l) {
            pk[l] = speed("pack", kLevels[l].name, p);
            dc[l] = speed("decode", kLevels[l].name, p);
            if (p.counted()) {
                gPack[l].add(pk[l], lzPack);
                gDecode[l].add(dc[l], lzDecode);
            }
        }
        std::printf(
            "%-12s %7.0f %7.1f %7.1f %7.2f | %7.0f %7.0f %7.0f %7.0f | %6s %6s %6s | %6s %6s "
            "%6s\n",
            p.name.c_str(), lzPack, pk[kFastest], pk[kFast], pk[kBest], lzDecode, dc[kFastest],
            dc[kFast], dc[kBest], ratio(pk[kFastest], lzPack).c_str(),
            ratio(pk[kFast], lzPack).c_str(), ratio(pk[kBest], lzPack).c_str(),
            ratio(dc[kFastest], lzDecode).c_str(), ratio(dc[kFast], lzDecode).c_str(),
            ratio(dc[kBest], lzDecode).c_str());
    }

    std::printf("\nGeometric means over the parts of 64 KiB or more (not \"mixed\")\n");
    std::printf("  size   fast / lz4                  %.3f\n", gFastLz4.value());
    std::printf("  size   best / lz4                  %.3f\n", gBestLz4.value());
    std::printf("  size   best / fast, largest part   %.4f (%s)\n", worstBestOverFast,
                worstPart.c_str());
    for (size_t l = 0; l < kLevelCount; ++l)
        std::printf("  pack   %-7s / lz4 pack           %.4f\n", kLevels[l].name, gPack[l].value());
    for (size_t l = 0; l < kLevelCount; ++l)
        std::printf("  decode %-7s / lz4 decode         %.3f\n", kLevels[l].name,
                    gDecode[l].value());

    const Part* mixed = nullptr;
    const Part* binary = nullptr;
    for (const Part& p : corpus) {
        if (p.name == "mixed") mixed = &p;
        if (p.name == "binary") binary = &p;
    }
    if (!mixed || !binary) return;
    const double bestNow = speed("pack", "best", *mixed);
    const double fastNow = speed("pack", "fast", *mixed);
    const double gzip = gzipSpeed(mixed->plain);
    std::printf("\nOn \"mixed\" (%zu bytes)\n", mixed->plain.size());
    for (size_t l = 0; l < kLevelCount; ++l)
        std::printf("  pack %-7s %8.1f MB/s, %zu bytes\n", kLevels[l].name,
                    speed("pack", kLevels[l].name, *mixed), mixed->packed[l].size());
    std::printf("  gzip -6      %8.1f MB/s (CPU time of the program, best of 3)\n", gzip);
    std::printf("  pack best / gzip -6  %s\n", ratio(bestNow, gzip).c_str());
    std::printf("  pack fast / gzip -6  %s\n", ratio(fastNow, gzip).c_str());
    std::printf(
        "  decode best streamed / whole  %s\n",
        ratio(speed("decode", "best-streamed", *mixed), speed("decode", "best", *mixed)).c_str());

    const double decBinary =
        speed("decode", "best", *binary) / std::max(speed("decode", "lz4", *binary), 1e-9);
    std::printf("\nGoals\n");
    std::printf("  best >= 0.6 x gzip -6 on mixed             %-12s (%s)\n",
                verdict(bestNow > 0 && gzip > 0, bestNow >= 0.6 * gzip),
                ratio(bestNow, gzip).c_str());
    std::printf("  best never larger than fast                %-12s (%.4f)\n",
                verdict(true, worstBestOverFast <= 1.0), worstBestOverFast);
    std::printf("  decode best >= 0.75 x lz4 (geometric mean) %-12s (%.3f)\n",
                verdict(gDecode[kBest].value() > 0, gDecode[kBest].value() >= 0.75),
                gDecode[kBest].value());
    std::printf("  decode best >= 0.5 x lz4 on binary tables  %-12s (%.3f)\n",
                verdict(decBinary > 0, decBinary >= 0.5), decBinary);
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Part> corpus = makeCorpus();
    // `--write-corpus DIR` writes each part to DIR/NAME, for refpack_ab.sh and
    // profilers, and times nothing.
    if (argc == 3 && std::string_view(argv[1]) == "--write-corpus") {
        for (const Part& p : corpus) {
            std::ofstream f(std::filesystem::path(argv[2]) / p.name, std::ios::binary);
            f.write(reinterpret_cast<const char*>(p.plain.data()), std::streamsize(p.plain.size()));
            if (!f) {
                std::fprintf(stderr, "codec_bench: cannot write %s in %s\n", p.name.c_str(), argv[2]);
                return 1;
            }
        }
        return 0;
    }
    for (const Part& p : corpus) {
        for (size_t l = 0; l < kLevelCount; ++l)
            benchmark::RegisterBenchmark(
                ("decode/" + std::string(kLevels[l].name) + "/" + p.name).c_str(), decodeRefPack, p,
                p.packed[l]);
        benchmark::RegisterBenchmark(("decode/lz4/" + p.name).c_str(), decodeLz4, p);
        for (size_t l = 0; l < kLevelCount; ++l) {
            const Level level = kLevels[l].level;
            benchmark::RegisterBenchmark(
                ("pack/" + std::string(kLevels[l].name) + "/" + p.name).c_str(), packWith, p,
                [level](ByteSpan in) { return ov::refpack::encode(in, level).value(); });
        }
        benchmark::RegisterBenchmark(("pack/lz4/" + p.name).c_str(), packWith, p, lz4Pack);
        if (p.name == "mixed") {
            benchmark::RegisterBenchmark(("decode/best-streamed/" + p.name).c_str(), decodeStreamed,
                                         p, p.packed[kBest]);
        }
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printSummary(corpus, reporter);
    return 0;
}
