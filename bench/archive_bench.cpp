// HOG archive speed: opening an archive of 100,000 entries and telling for each
// whether it is packed; and extracting every entry of an archive into an empty
// folder, next to `tar -xf` of a tar file of the same files and `cp -r` of the same
// files already extracted, in the same run. Extraction is measured twice: through
// the library (extract) and as a player runs it (`ovcli hog extract --all` or `hog
// unpack --all`, a process of its own like tar and cp).
//
// The content is generated here (nothing is carried in the repository): many small
// items (64 bytes to 2 KB, in 10 to 100 folders) in archives of 1,000, 10,000 and
// 100,000 entries; 50 items of 5 MB of random bytes; and 400 packed items of about
// 64 KB, unpacked (tar and cp then work on the unpacked files). Every timed run
// starts from an empty folder with earlier writes flushed to disk, and is timed by
// the wall clock, as tar and cp work in processes of their own.
//
// A summary after the run gives each shape's time as a ratio of tar's and cp's:
// below 1.0 is faster. The files go to the system's temporary folder, or to the
// folder OV_BENCH_DIR names.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
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
    {"1k-small", 1000, 64, 2048, 10, false},          {"10k-small", 10000, 64, 2048, 20, false},
    {"100k-small", 100000, 64, 2048, 100, false},     {"50x5MB", 50, 5 << 20, 5 << 20, 1, false},
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

int run(const std::string& cmd) {
    return std::system(cmd.c_str());
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

void prepare() {
    g_root = benchFolder() / ("archive_bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root);
    for (const Shape& s : kShapes) {
        if (!writeHog(archiveFor(s), makeItems(s))) std::abort();
        // The files tar and cp work on: the same files, extracted once.
        fs::create_directories(treeFor(s));
        auto a = HogArchive::read(archiveFor(s));
        ov::SilentReporter quiet;
        if (!extract(*a, allRows(*a), treeFor(s).string(), modeOf(s), {}, quiet).ok()) std::abort();
        if (run("tar -cf " + quoted(g_root / (s.name + ".tar")) + " -C " + quoted(treeFor(s)) +
                " .") != 0)
            std::abort();
    }
    std::vector<HogItem> many(100000);
    for (size_t i = 0; i < many.size(); ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "textures\\pack%03zu\\tex_%06zu.bmp", i % 100, i);
        many[i] = {name, {uint8_t(i)}};
    }
    if (!writeHog(g_root / "100000.hog", many)) std::abort();
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

// An empty folder at `dest` before each timed run, with the last run's writes on disk,
// so no run pays for another's.
void emptyFolder(benchmark::State& state, const fs::path& dest) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(dest, ec);
    fs::create_directories(dest);
#ifndef _WIN32
    ::sync();
#endif
    state.ResumeTiming();
}

void finish(benchmark::State& state, const Shape& s) {
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_bytes[s.name]));
    state.counters["files/s"] =
        benchmark::Counter(double(state.iterations() * s.items), benchmark::Counter::kIsRate);
}

void extractAll(benchmark::State& state, const Shape& s) {
    auto a = HogArchive::read(archiveFor(s));
    const auto rows = allRows(*a);
    const fs::path dest = g_root / ("out-" + s.name);
    ov::SilentReporter quiet;
    for (auto _ : state) {
        emptyFolder(state, dest);
        auto r = extract(*a, rows, dest.string(), modeOf(s), {}, quiet);
        if (r.written != rows.size()) state.SkipWithError("extraction failed");
    }
    finish(state, s);
}

void ovcliExtractAll(benchmark::State& state, const Shape& s) {
    const fs::path dest = g_root / ("ovcli-" + s.name);
    const std::string cmd = std::string("'") + OV_OVCLI_FILE + "' hog " +
                            (s.packed ? "unpack " : "extract ") + quoted(archiveFor(s)) + " " +
                            quoted(dest) + " --all >/dev/null 2>&1 </dev/null";
    for (auto _ : state) {
        emptyFolder(state, dest);
        if (run(cmd) != 0) state.SkipWithError("ovcli failed");
    }
    finish(state, s);
}

void untar(benchmark::State& state, const Shape& s) {
    const fs::path dest = g_root / ("tar-" + s.name);
    const std::string cmd = "tar -xf " + quoted(g_root / (s.name + ".tar")) + " -C " + quoted(dest);
    for (auto _ : state) {
        emptyFolder(state, dest);
        if (run(cmd) != 0) state.SkipWithError("tar failed");
    }
    finish(state, s);
}

void copyTree(benchmark::State& state, const Shape& s) {
    const fs::path dest = g_root / ("cp-" + s.name);
    const std::string cmd = "cp -r " + quoted(treeFor(s) / ".") + " " + quoted(dest);
    for (auto _ : state) {
        emptyFolder(state, dest);
        if (run(cmd) != 0) state.SkipWithError("cp failed");
    }
    finish(state, s);
}

// Prints the usual table and keeps each benchmark's time per run for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0 && !r.error_occurred)
                seconds[r.run_name.function_name] =
                    r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> seconds;  // by benchmark name, without its arguments
};

}  // namespace

int main(int argc, char** argv) {
    prepare();
    benchmark::RegisterBenchmark("open/100000-entries", openHundredThousand)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("packinfo/100000-entries", packInfoHundredThousand)
        ->Unit(benchmark::kMillisecond);
    for (const Shape& s : kShapes) {
        using Bench = void (*)(benchmark::State&, const Shape&);
        const std::pair<std::string, Bench> kinds[] = {{"extract/", extractAll},
                                                       {"ovcli/", ovcliExtractAll},
                                                       {"tar/", untar},
                                                       {"cp/", copyTree}};
        for (const auto& [what, fn] : kinds)
            benchmark::RegisterBenchmark((what + s.name).c_str(), fn, s)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MinTime(2.0);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\nTime of each run as a ratio (below 1.0: faster than the baseline)\n");
    std::printf("%-11s %7s %9s %10s %10s %10s %12s %12s\n", "shape", "items", "MB", "tar ms",
                "ovcli ms", "extract ms", "ovcli / tar", "ovcli / cp");
    for (const Shape& s : kShapes) {
        auto t = [&](const char* what) { return reporter.seconds[what + s.name] * 1000; };
        const double tar = t("tar/"), cp = t("cp/"), cli = t("ovcli/"), lib = t("extract/");
        if (tar <= 0 || cp <= 0 || cli <= 0) continue;  // not run (--benchmark_filter)
        std::printf("%-11s %7zu %9.1f %10.1f %10.1f %10.1f %12.2f %12.2f\n", s.name.c_str(),
                    s.items, double(g_bytes[s.name]) / 1e6, tar, cli, lib, cli / tar, cli / cp);
    }
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
