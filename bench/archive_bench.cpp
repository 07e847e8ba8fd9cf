// HOG archive speed: opening an archive of 100,000 entries and telling for each
// whether it is packed, and extracting every entry of an archive of many small
// items and of one of a few large items into an empty folder, next to `cp -r`
// copying the same files (already extracted once) into an empty folder, in the same
// run. A summary after the run gives extraction speed as a ratio of cp's.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/report.h"
#include "ovedit/archive/hog.h"

namespace {

namespace fs = std::filesystem;
using namespace ov::archive;

struct Shape {
    std::string name;
    size_t items;
    size_t itemSize;
};

const Shape kShapes[] = {{"small", 2000, 4096}, {"large", 16, 1 << 20}};

fs::path g_root;

std::vector<HogItem> makeItems(const Shape& s) {
    std::mt19937 rng(1234);
    std::vector<HogItem> items(s.items);
    for (size_t i = 0; i < s.items; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "ships\\set%02zu\\model_%05zu.shp", i % 20, i);
        items[i].name = name;
        items[i].data.resize(s.itemSize);
        for (auto& b : items[i].data)
            b = uint8_t(rng());
    }
    return items;
}

fs::path archiveFor(const Shape& s) {
    return g_root / (s.name + ".hog");
}

void prepare() {
    g_root =
        fs::temp_directory_path() / ("archive_bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root);
    for (const Shape& s : kShapes) {
        if (!writeHog(archiveFor(s), makeItems(s))) std::abort();
        // The tree cp copies: the same files, extracted once.
        fs::create_directories(g_root / ("tree-" + s.name));
        auto a = HogArchive::read(archiveFor(s));
        std::vector<size_t> rows(a->entries().size());
        for (size_t i = 0; i < rows.size(); ++i)
            rows[i] = i;
        ov::SilentReporter quiet;
        extract(*a, rows, (g_root / ("tree-" + s.name)).string(), ExtractMode::Raw, {}, quiet);
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

// An empty folder at `dest` before each timed iteration.
void emptyFolder(benchmark::State& state, const fs::path& dest) {
    state.PauseTiming();
    std::error_code ec;
    fs::remove_all(dest, ec);
    fs::create_directories(dest);
    state.ResumeTiming();
}

void extractAll(benchmark::State& state, const Shape& s) {
    auto a = HogArchive::read(archiveFor(s));
    std::vector<size_t> rows(a->entries().size());
    for (size_t i = 0; i < rows.size(); ++i)
        rows[i] = i;
    const fs::path dest = g_root / ("out-" + s.name);
    ov::SilentReporter quiet;
    for (auto _ : state) {
        emptyFolder(state, dest);
        auto r = extract(*a, rows, dest.string(), ExtractMode::Raw, {}, quiet);
        if (r.written != rows.size()) state.SkipWithError("extraction failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.items * s.itemSize));
}

void copyTree(benchmark::State& state, const Shape& s) {
    const fs::path dest = g_root / ("cp-" + s.name);
    const std::string cmd =
        "cp -r '" + (g_root / ("tree-" + s.name)).string() + "/.' '" + dest.string() + "/'";
    for (auto _ : state) {
        emptyFolder(state, dest);
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(s.items * s.itemSize));
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
    prepare();
    benchmark::RegisterBenchmark("open/100000-entries", openHundredThousand)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("packinfo/100000-entries", packInfoHundredThousand)
        ->Unit(benchmark::kMillisecond);
    for (const Shape& s : kShapes) {
        // Wall time: cp works in a child process, and both wait on the file system.
        benchmark::RegisterBenchmark(("extract/" + s.name).c_str(), extractAll, s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
        benchmark::RegisterBenchmark(("cp/" + s.name).c_str(), copyTree, s)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    std::printf("\n%-6s %7s %9s %12s %9s %14s\n", "shape", "items", "item size", "extract MB/s",
                "cp MB/s", "extract / cp");
    for (const Shape& s : kShapes) {
        const double ours = reporter.speed["extract/" + s.name + "/real_time"];
        const double cp = reporter.speed["cp/" + s.name + "/real_time"];
        std::printf("%-6s %7zu %9zu %12.0f %9.0f %14.2f\n", s.name.c_str(), s.items, s.itemSize,
                    ours, cp, cp > 0 ? ours / cp : 0.0);
    }
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
