// 3DS conversion of a model at the table limits (5000 vertices, 5000 faces): the
// whole pipeline (dump, parse, scale, merge, normals, SHP bytes) with the hashed
// vertex merge and one-pass vertex normals, against the same pipeline with the
// straightforward scans (first equal vertex over the whole table per face corner,
// all faces per vertex), measured in the same run. Also each of the two steps on
// its own, and the exported conversion with its file read and write.

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "3ds2ov/convert.h"
#include "3ds2ov/writer3ds.h"
#include "tests/support/convert_reference.h"

namespace {

using namespace ov::conv;
using ovtest::quadraticMerge;
using ovtest::quadraticNormals;

// A sphere of 50 rings of 100 vertices. The first and last vertex of each ring
// share a position, and so do the rings' vertices at the poles: the seams and
// poles give the merge real work, as in exported models.
Model3ds sphere() {
    constexpr int kRings = 50, kSegments = 100;
    constexpr float kPi = 3.14159265f;
    Mesh3ds m;
    m.name = "Sphere";
    for (int r = 0; r < kRings; ++r) {
        float lat = kPi * float(r) / float(kRings - 1);
        for (int s = 0; s < kSegments; ++s) {
            float lon = 2 * kPi * float(s % (kSegments - 1)) / float(kSegments - 1);
            float ring = std::sin(lat);
            m.vertices.push_back(
                {40 * ring * std::cos(lon), 40 * ring * std::sin(lon), 40 * std::cos(lat)});
            m.mapping.push_back({float(s) / kSegments, float(r) / kRings});
        }
    }
    for (int r = 0; r + 1 < kRings && m.faces.size() < size_t(kMaxFaces); ++r)
        for (int s = 0; s + 1 < kSegments && m.faces.size() < size_t(kMaxFaces); ++s) {
            auto at = [](int rr, int ss) { return uint16_t(rr * kSegments + ss); };
            m.faces.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1)});
            if (m.faces.size() < size_t(kMaxFaces))
                m.faces.push_back({at(r, s), at(r + 1, s + 1), at(r, s + 1)});
        }
    Model3ds model;
    model.meshes = {m};
    return model;
}

const ov::Bytes& sphereFile() {
    static const ov::Bytes bytes = write3ds(sphere());
    return bytes;
}

ConvModel scaledModel() {
    ConvModel m;
    DiscardOutput out;
    if (readModel(sphereFile(), m, out) != kConverted) std::abort();
    copyTextureCoordinates(m);
    smartScale(m);
    return m;
}

template <bool Fast>
void BM_Pipeline(benchmark::State& state) {
    DiscardOutput out;
    for (auto _ : state) {
        ConvModel m;
        if (readModel(sphereFile(), m, out) != kConverted) std::abort();
        copyTextureCoordinates(m);
        smartScale(m);
        if constexpr (Fast) {
            removeRepeatedVertices(m);
            calculateNormals(m, out);
        } else {
            quadraticMerge(m);
            quadraticNormals(m, out);
        }
        ov::Bytes shp = shpBytes(m, "sphere.tga");
        benchmark::DoNotOptimize(shp.data());
    }
}
BENCHMARK(BM_Pipeline<true>)
    ->Name("Pipeline/hashed_merge_one_pass_normals")
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pipeline<false>)->Name("Pipeline/quadratic_baseline")->Unit(benchmark::kMillisecond);

template <bool Fast>
void BM_Merge(benchmark::State& state) {
    const ConvModel base = scaledModel();
    for (auto _ : state) {
        ConvModel m = base;
        if constexpr (Fast)
            removeRepeatedVertices(m);
        else
            quadraticMerge(m);
        benchmark::DoNotOptimize(m.faces.data());
    }
}
BENCHMARK(BM_Merge<true>)->Name("Merge/hashed")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Merge<false>)->Name("Merge/quadratic_baseline")->Unit(benchmark::kMillisecond);

template <bool Fast>
void BM_Normals(benchmark::State& state) {
    ConvModel base = scaledModel();
    removeRepeatedVertices(base);
    DiscardOutput out;
    for (auto _ : state) {
        ConvModel m = base;
        if constexpr (Fast)
            calculateNormals(m, out);
        else
            quadraticNormals(m, out);
        benchmark::DoNotOptimize(m.vertices.data());
    }
}
BENCHMARK(BM_Normals<true>)->Name("Normals/one_pass")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Normals<false>)->Name("Normals/quadratic_baseline")->Unit(benchmark::kMillisecond);

// The exported conversion as a caller sees it: file in, printed lines, file out.
void BM_ConvertFile(benchmark::State& state) {
    auto dir = std::filesystem::temp_directory_path() / "ov-convert-bench";
    std::filesystem::create_directories(dir);
    auto in = (dir / "sphere.3ds").string();
    auto outPath = (dir / "sphere.shp").string();
    {
        std::ofstream f(in, std::ios::binary);
        f.write(reinterpret_cast<const char*>(sphereFile().data()),
                std::streamsize(sphereFile().size()));
    }
    StringOutput out;
    for (auto _ : state) {
        out.text_.clear();
        if (convert(in.c_str(), "sphere.tga", outPath.c_str(), out) != kConverted) std::abort();
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ConvertFile)->Name("Convert/file_to_file")->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
