#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <stdexcept>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace ovtest {

ScratchDir::ScratchDir() {
    static std::mt19937_64 rng{std::random_device{}()};
    auto base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        auto p = base / ("ovtest-" + std::to_string(rng()));
        if (std::filesystem::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a scratch folder");
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

void writeBytes(const std::filesystem::path& p, ov::ByteSpan bytes) {
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + p.string());
}

ov::Bytes readBytes(const std::filesystem::path& p) {
    std::ifstream f(p, std::ios::binary);
    if (!f) throw std::runtime_error("cannot read " + p.string());
    return ov::Bytes(std::istreambuf_iterator<char>(f), {});
}

ov::Bytes randomBytes(size_t n, uint32_t seed) {
    std::mt19937 rng(seed);
    ov::Bytes b(n);
    for (auto& x : b)
        x = uint8_t(rng());
    return b;
}

int runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& log) {
    std::string cmd = "\"" + program.string() + "\"";
    for (const auto& a : args)
        cmd += " \"" + a + "\"";
#ifdef _WIN32
    cmd += " <NUL";
#else
    cmd += " </dev/null";
#endif
    cmd += " >\"" + log.string() + "\" 2>&1";
#ifdef _WIN32
    // cmd /c drops the first and the last quote of a line that starts with one.
    cmd = "\"" + cmd + "\"";
#endif
    int rc = std::system(cmd.c_str());
#ifndef _WIN32
    if (rc != -1 && WIFEXITED(rc)) rc = WEXITSTATUS(rc);
#endif
    return rc;
}

}  // namespace ovtest
