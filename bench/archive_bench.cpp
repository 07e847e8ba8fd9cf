// HOG archive speed: opening an archive of 100,000 entries and telling for each
// whether it is packed (Google Benchmark); then extracting every entry of an
// archive, as `ovcli hog extract --all` (or `hog unpack --all`), next to `tar -xf`
// of a tar file of the same files and `cp -r` of the same files already extracted,
// each a process of its own, and through the library in this process.
//
// The content is generated here (nothing is carried in the repository): small
// items of 200 bytes to 3 KB in archives of 1,000, 10,000 and 100,000 entries (10
// to 100 folders, the items of a folder spread through the archive); 50 items of
// 5 MB of random bytes; and 400 packed items of about 64 KB, unpacked (tar and cp
// then work on the unpacked files).
//
// Every run writes into a folder of its own made just before it, and nothing is
// deleted until every run is over: on ext4, creating files right after a large
// deletion is many times slower, and whoever ran second would pay for it. Each
// round runs the four in turn, the first one changing from round to round, and the
// ratios are taken within one round. Time is CPU time (user + system, of the child
// for a process), which the other work of a shared machine disturbs far less than
// the wall clock; the wall clock is printed beside it.
//
// The files go to the system's temporary folder, or to the folder OV_BENCH_DIR
// names (a tmpfs such as /dev/shm leaves the disk out). OV_BENCH_ROUNDS sets the
// number of rounds (3), OV_BENCH_SHAPES a comma-separated list of the shapes to
// run (all of them).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

#include "common/refpack.h"
#include "common/report.h"
#include "ovedit/archive/hog.h"

namespace {

namespace fs = std::filesystem;
using namespace ov::archive;

struct Shape {
    std::string name;
    size_t items;
    size_t minSize, maxSize;
    size_t folders;
    bool packed;  // items RefPack-packed, extracted unpacked
};

const Shape kShapes[] = {
    {"1k-small", 1000, 200, 3000, 10, false},         {"10k-small", 10000, 200, 3000, 20, false},
    {"100k-small", 100000, 200, 3000, 100, false},    {"50x5MB", 50, 5 << 20, 5 << 20, 1, false},
    {"400-packed", 400, 48 << 10, 80 << 10, 4, true},
};

fs::path g_root;
std::map<std::string, uint64_t> g_bytes;  // bytes written per extraction, by shape

// Text-like bytes that pack about 3:1, or random bytes that do not pack.
ov::Bytes content(std::mt19937& rng, size_t size, bool compressible) {
    ov::Bytes b(size);
    if (!compressible) {
        for (auto& x : b)
            x = uint8_t(rng());
        return b;
    }
    static const char* const words[] = {"ship ",  "shield ", "laser ",  "vertex ", "0.125 ",
                                        "-42.5 ", "hull ",   "turret ", "\n",      "engine "};
    size_t at = 0;
    while (at < size) {
        const char* w = words[rng() % 10];
        for (; *w && at < size; ++w)
            b[at++] = uint8_t(*w);
    }
    return b;
}

std::vector<HogItem> makeItems(const Shape& s) {
    std::mt19937 rng(1234);
    std::vector<HogItem> items(s.items);
    uint64_t total = 0;
    for (size_t i = 0; i < s.items; ++i) {
        char name[80];
        std::snprintf(name, sizeof name, "data\\set%03zu\\item_%06zu.bin", i % s.folders, i);
        items[i].name = name;
        const size_t size =
            s.minSize + (s.maxSize > s.minSize ? rng() % (s.maxSize - s.minSize) : 0);
        items[i].data = content(rng, size, s.packed);
        total += size;
        if (s.packed)
            items[i].data = ov::refpack::encode(items[i].data, ov::refpack::Level::Fast).value();
    }
    g_bytes[s.name] = total;
    return items;
}

fs::path archiveFor(const Shape& s) {
    return g_root / (s.name + ".hog");
}

fs::path treeFor(const Shape& s) {
    return g_root / ("tree-" + s.name);
}

std::vector<size_t> allRows(const HogArchive& a) {
    std::vector<size_t> rows(a.entries().size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    return rows;
}

ExtractMode modeOf(const Shape& s) {
    return s.packed ? ExtractMode::Unpack : ExtractMode::Raw;
}

std::string quoted(const fs::path& p) {
    std::string q(1, '\'');
    q += p.string();
    q += '\'';
    return q;
}

// The folder everything is written in: OV_BENCH_DIR when set (say, a tmpfs to
// leave the disk out), else the system's temporary folder.
fs::path benchFolder() {
    if (const char* dir = std::getenv("OV_BENCH_DIR"); dir && *dir) return dir;
    return fs::temp_directory_path();
}

bool chosen(const Shape& s) {
    const char* list = std::getenv("OV_BENCH_SHAPES");
    if (!list || !*list) return true;
    const std::string l = std::string(",") + list + ",";
    return l.find("," + s.name + ",") != std::string::npos;
}

void prepare() {
    g_root = benchFolder() / ("archive_bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root / "runs");
    for (const Shape& s : kShapes) {
        if (!chosen(s)) continue;
        if (!writeHog(archiveFor(s), makeItems(s))) std::abort();
        // The files tar and cp work on: the same files, extracted once.
        fs::create_directories(treeFor(s));
        auto a = HogArchive::read(archiveFor(s));
        ov::SilentReporter quiet;
        if (!extract(*a, allRows(*a), treeFor(s).string(), modeOf(s), {}, quiet).ok()) std::abort();
        if (std::system(("tar -cf " + quoted(g_root / (s.name + ".tar")) + " -C " +
                         quoted(treeFor(s)) + " .")
                            .c_str()) != 0)
            std::abort();
    }
    std::vector<HogItem> many(100000);
    for (size_t i = 0; i < many.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "textures\\pack%03zu\\tex_%06zu.bmp", i % 100, i);
        many[i] = {name, {uint8_t(i)}};
    }
    if (!writeHog(g_root / "100000.hog", many)) std::abort();
#ifndef _WIN32
    ::sync();
#endif
}

// What the archive list shows for each entry without unpacking it: packed or not,
// and the unpacked size the packed header states.
void packInfoHundredThousand(benchmark::State& state) {
    auto a = HogArchive::read(g_root / "100000.hog");
    if (!a) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        size_t packed = 0;
        for (const HogEntry& e : a->entries()) {
            auto info = a->packInfo(e);
            packed += info && info->packed;
        }
        benchmark::DoNotOptimize(packed);
    }
}

void openHundredThousand(benchmark::State& state) {
    for (auto _ : state) {
        auto a = HogArchive::read(g_root / "100000.hog");
        if (!a || a->entries().size() != 100000) state.SkipWithError("open failed");
        benchmark::DoNotOptimize(a);
    }
}

// ---- Extraction, timed by hand --------------------------------------------------------

struct Times {
    double cpu = 0;   // seconds of user + system time
    double wall = 0;  // seconds
};

#ifndef _WIN32
double cpuSeconds(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
#else
double cpuSeconds(int) {
    return 0;
}
constexpr int RUSAGE_SELF = 0, RUSAGE_CHILDREN = 1;
#endif

enum class Tool { Ovcli, Tar, Cp, Library };
constexpr Tool kTools[] = {Tool::Ovcli, Tool::Tar, Tool::Cp, Tool::Library};
const char* toolName(Tool t) {
    switch (t) {
    case Tool::Ovcli: return "ovcli";
    case Tool::Tar: return "tar";
    case Tool::Cp: return "cp";
    case Tool::Library: return "library";
    }
    return "";
}

// One run of a tool into `dest`, a folder made for it; nothing of earlier runs is
// removed until every run is over.
Times runOnce(Tool tool, const Shape& s, const HogArchive& archive,
              const std::vector<size_t>& rows, const fs::path& dest) {
    fs::create_directories(dest);
    std::string cmd;
    switch (tool) {
    case Tool::Ovcli:
        cmd = std::string("'") + OV_OVCLI_FILE + "' hog " + (s.packed ? "unpack " : "extract ") +
              quoted(archiveFor(s)) + " " + quoted(dest) + " --all >/dev/null 2>&1 </dev/null";
        break;
    case Tool::Tar:
        cmd = "tar -xf " + quoted(g_root / (s.name + ".tar")) + " -C " + quoted(dest);
        break;
    case Tool::Cp: cmd = "cp -r " + quoted(treeFor(s) / ".") + " " + quoted(dest); break;
    case Tool::Library: break;
    }
    const int who = tool == Tool::Library ? RUSAGE_SELF : RUSAGE_CHILDREN;
    const double cpu0 = cpuSeconds(who);
    const auto t0 = std::chrono::steady_clock::now();
    bool ok;
    if (tool == Tool::Library) {
        ov::SilentReporter quiet;
        ok = extract(archive, rows, dest.string(), modeOf(s), {}, quiet).written == rows.size();
    } else {
        ok = std::system(cmd.c_str()) == 0;
    }
    Times t;
    t.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    t.cpu = cpuSeconds(who) - cpu0;
    if (!ok) {
        std::fprintf(stderr, "%s failed on %s\n", toolName(tool), s.name.c_str());
        std::exit(1);
    }
    return t;
}

struct Range {
    double lo = 1e300, hi = 0;
    void add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    std::string text(const char* format) const {
        char a[32], b[32];
        std::snprintf(a, sizeof a, format, lo);
        std::snprintf(b, sizeof b, format, hi);
        return std::string(a) + "-" + b;
    }
};

void extractionRounds() {
    int rounds = 3;
    if (const char* r = std::getenv("OV_BENCH_ROUNDS"); r && std::atoi(r) > 0) rounds = std::atoi(r);
    std::printf("\nExtraction into fresh folders, %d rounds, in %s\n", rounds,
                g_root.string().c_str());
    std::printf("%-11s %7s %8s | %-11s %-11s | %-10s %-10s %-10s | %-11s %-11s\n", "shape",
                "items", "MB", "ovcli/tar", "ovcli/cp", "ovcli us/e", "tar us/e", "lib us/e",
                "wall o/tar", "lib/tar");
    std::printf("%-11s %7s %8s | %-11s %-11s | %-10s %-10s %-10s | %-11s %-11s\n", "", "", "",
                "(CPU)", "(CPU)", "(CPU)", "(CPU)", "(CPU)", "", "(CPU)");
    int serial = 0;
    for (const Shape& s : kShapes) {
        if (!chosen(s)) continue;
        auto archive = HogArchive::read(archiveFor(s));
        const auto rows = allRows(*archive);
        Range overTar, overCp, cliPer, tarPer, libPer, wallOverTar, libOverTar;
        for (int r = 0; r < rounds; ++r) {
            std::map<Tool, Times> t;
            for (size_t k = 0; k < std::size(kTools); ++k) {
                const Tool tool = kTools[(k + size_t(r)) % std::size(kTools)];
                const fs::path dest = g_root / "runs" /
                                      (std::string(toolName(tool)) + "-" + s.name + "-" +
                                       std::to_string(serial++));
                t[tool] = runOnce(tool, s, *archive, rows, dest);
            }
            const double n = double(s.items);
            overTar.add(t[Tool::Ovcli].cpu / t[Tool::Tar].cpu);
            overCp.add(t[Tool::Ovcli].cpu / t[Tool::Cp].cpu);
            cliPer.add(t[Tool::Ovcli].cpu / n * 1e6);
            tarPer.add(t[Tool::Tar].cpu / n * 1e6);
            libPer.add(t[Tool::Library].cpu / n * 1e6);
            wallOverTar.add(t[Tool::Ovcli].wall / t[Tool::Tar].wall);
            libOverTar.add(t[Tool::Library].cpu / t[Tool::Tar].cpu);
        }
        std::printf("%-11s %7zu %8.1f | %-11s %-11s | %-10s %-10s %-10s | %-11s %-11s\n",
                    s.name.c_str(), s.items, double(g_bytes[s.name]) / 1e6,
                    overTar.text("%.2f").c_str(), overCp.text("%.2f").c_str(),
                    cliPer.text("%.0f").c_str(), tarPer.text("%.0f").c_str(),
                    libPer.text("%.0f").c_str(), wallOverTar.text("%.2f").c_str(),
                    libOverTar.text("%.2f").c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv) {
    prepare();
    benchmark::RegisterBenchmark("open/100000-entries", openHundredThousand)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("packinfo/100000-entries", packInfoHundredThousand)
        ->Unit(benchmark::kMillisecond);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    extractionRounds();
    // Every run is over: only now is anything deleted.
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
