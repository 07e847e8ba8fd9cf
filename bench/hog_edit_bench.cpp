// Rebuilding a large archive with one entry replaced (the commonest edit: a new ship
// model), next to `cp` of the same archive file, and `cp` followed by `sync` of the
// copy (the rebuild flushes its file to the disk before renaming it over the
// archive), in the same run. The archive is generated: OV_BENCH_REBUILD_MIB MiB
// (384 by default) in OV_BENCH_REBUILD_ENTRIES entries (100,000 by default, of
// about 4 KiB; 4,000 gives entries of about 96 KiB). A summary after the run gives
// the rebuild's speed as a ratio of cp's.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "ovedit/archive/hog.h"
#include "ovedit/archive/hog_edit.h"

namespace {

namespace fs = std::filesystem;
using namespace ov::archive;

size_t g_entries = 100000;
fs::path g_root;
uint64_t g_archiveBytes = 0;

void writeFile(const fs::path& p, size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<char> data(size);
    for (auto& c : data)
        c = char(rng());
    FILE* f = std::fopen(p.string().c_str(), "wb");
    if (!f || std::fwrite(data.data(), 1, data.size(), f) != data.size()) std::abort();
    std::fclose(f);
}

void prepare() {
    g_root =
        fs::temp_directory_path() / ("hog_edit_bench-" + std::to_string(std::random_device{}()));
    fs::create_directories(g_root);
    if (const char* n = std::getenv("OV_BENCH_REBUILD_ENTRIES"); n && std::atoi(n) > 16)
        g_entries = size_t(std::atoi(n));
    const char* mib = std::getenv("OV_BENCH_REBUILD_MIB");
    const uint64_t total = uint64_t(mib ? std::atoi(mib) : 384) << 20;
    const size_t itemSize = size_t(total / g_entries);
    // Sixteen distinct contents, each stored by a sixteenth of the entries.
    std::vector<HogFileItem> items;
    for (int k = 0; k < 16; ++k)
        writeFile(g_root / ("src" + std::to_string(k)), itemSize + size_t(k), uint32_t(k));
    for (size_t i = 0; i < g_entries; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "ships\\set%02zu\\model_%06zu.shp", i % 40, i);
        items.push_back({name, g_root / ("src" + std::to_string(i % 16))});
    }
    auto w = writeHogFiles(g_root / "resource.hog", items);
    if (!w) std::abort();
    g_archiveBytes = w->hogSize;
    writeFile(g_root / "new.shp", itemSize / 2, 99);
}

void rebuildReplacingOne(benchmark::State& state) {
    const fs::path hog = g_root / "resource.hog";
    for (auto _ : state) {
        auto archive = HogArchive::read(hog);
        if (!archive) {
            state.SkipWithError("open failed");
            return;
        }
        HogEditPlan plan(*archive);
        if (!plan.replace(g_entries / 2, g_root / "new.shp", false) || !rebuildHog(plan)) {
            state.SkipWithError("rebuild failed");
            return;
        }
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_archiveBytes));
}

// cp over the copy the previous run made, as the rebuild replaces the archive the
// previous run made: both pay for letting go of the old file's blocks.
void copyArchive(benchmark::State& state, bool sync) {
    const std::string copy = (g_root / "copy.hog").string();
    const std::string cmd = "cp '" + (g_root / "resource.hog").string() + "' '" + copy + "'" +
                            (sync ? " && sync '" + copy + "'" : "");
    for (auto _ : state) {
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("cp failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(g_archiveBytes));
}

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
    // Wall time: cp works in a child process, and all of them wait on the disk.
    benchmark::RegisterBenchmark("rebuild/replace-one", rebuildReplacingOne)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("cp", copyArchive, false)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::RegisterBenchmark("cp+sync", copyArchive, true)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double rebuild = reporter.speed["rebuild/replace-one/real_time"];
    const double cp = reporter.speed["cp/real_time"];
    const double cpSync = reporter.speed["cp+sync/real_time"];
    std::printf("\narchive: %.0f MiB, %zu entries\n", double(g_archiveBytes) / (1 << 20), g_entries);
    std::printf("%-26s %8s %16s\n", "", "MB/s", "rebuild / this");
    std::printf("%-26s %8.0f\n", "rebuild, one entry replaced", rebuild);
    std::printf("%-26s %8.0f %16.2f\n", "cp", cp, cp > 0 ? rebuild / cp : 0.0);
    std::printf("%-26s %8.0f %16.2f\n", "cp + sync", cpSync, cpSync > 0 ? rebuild / cpSync : 0.0);
    std::error_code ec;
    fs::remove_all(g_root, ec);
    return 0;
}
