// ovcli convert: a 3DS model to an SHP model through the converter library, loaded
// at run time the way the data editor loads it. ovcli 3ds dump: the chunk dump.
//
// The library is looked for, in this order: the --library option; the file named
// by the environment variable OV_3DS2OV_LIBRARY; lib3ds2ov.so (3ds2ov.dll) beside
// the ovcli executable; where an installed ovcli has it (../lib/orvane-toolkit);
// the library in the build tree ovcli was built in.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "3ds2ov/chunks.h"
#include "cli.h"
#include "common/fileio.h"
#include "ovedit/convert/converter_library.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace ovcli {

namespace {

namespace fs = std::filesystem;

fs::path executableFolder() {
#if defined(_WIN32)
    wchar_t buffer[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    if (n == 0 || n == MAX_PATH) return {};
    return fs::path(buffer).parent_path();
#elif defined(__linux__)
    std::error_code ec;
    fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
#else
    return {};
#endif
}

// Where the converter library is taken from, best first.
std::vector<fs::path> libraryCandidates(const std::string& option) {
    if (!option.empty()) return {ov::pathFromText(option)};
    std::vector<fs::path> out;
#ifdef _WIN32
    if (const wchar_t* env = _wgetenv(L"OV_3DS2OV_LIBRARY"); env && *env) return {fs::path(env)};
#else
    if (const char* env = std::getenv("OV_3DS2OV_LIBRARY"); env && *env) return {fs::path(env)};
#endif
    if (fs::path dir = executableFolder(); !dir.empty()) {
        out.push_back(dir / ov::ConverterLibrary::kFileName);
#ifdef OV_3DS2OV_INSTALLED_DIR
        out.push_back((dir / OV_3DS2OV_INSTALLED_DIR / ov::ConverterLibrary::kFileName).lexically_normal());
#endif
    }
#ifdef OV_3DS2OV_BUILD_FILE
    out.push_back(fs::path(OV_3DS2OV_BUILD_FILE));
#endif
    return out;
}

int runConvert(const std::string& in, const std::string& texture, const std::string& out,
               const std::string& libraryOption) {
    auto candidates = libraryCandidates(libraryOption);
    if (candidates.empty()) {
        printError(std::string("cannot tell where ") + ov::ConverterLibrary::kFileName +
                   " is: give --library or set OV_3DS2OV_LIBRARY");
        return kFailed;
    }
    fs::path chosen = candidates.front();
    std::error_code ec;
    for (const auto& c : candidates)
        if (fs::is_regular_file(c, ec)) {
            chosen = c;
            break;
        }
    auto library = ov::ConverterLibrary::load(chosen);
    if (!library) {
        printError(library.error().describe());
        if (libraryOption.empty())
            printError("give the library's path with --library or OV_3DS2OV_LIBRARY");
        return kFailed;
    }
    std::fflush(stdout);
    int code = library->convert(in, texture, out);
    std::fflush(stdout);
    if (code != 0) {
        printError("conversion failed with result code " + std::to_string(code));
        return kFailed;
    }
    return kOk;
}

int runDump(const std::string& path, const ov::conv::DumpOptions& options) {
    auto data = ov::readFile(ov::pathFromText(path));
    if (!data) {
        printError(data.error().describe());
        return kFailed;
    }
    std::string text = ov::conv::dump3ds(*data, options);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return kOk;
}

}  // namespace

void addConvertCommands(Cli& cli) {
    struct ConvertArgs {
        std::string in, texture, out, library;
    };
    auto args = std::make_shared<ConvertArgs>();
    auto* convert = cli.app.add_subcommand(
        "convert", "Convert a textured 3DS model into an SHP ship model (through the library)");
    convert->add_option("IN", args->in, "The .3ds file")->required();
    convert->add_option("TEXTURE", args->texture, "Texture name written into the model")
        ->required();
    convert->add_option("OUT", args->out, "The SHP file to write")->required();
    convert->add_option("--library", args->library,
                        std::string("Path of ") + ov::ConverterLibrary::kFileName +
                            " (default: OV_3DS2OV_LIBRARY, then beside ovcli)");
    convert->callback([&cli, args] {
        cli.exitCode = runConvert(args->in, args->texture, args->out, args->library);
    });

    struct DumpArgs {
        std::string file;
        ov::conv::DumpOptions options;
    };
    auto dumpArgs = std::make_shared<DumpArgs>();
    auto* tds = cli.app.add_subcommand("3ds", "3D Studio files");
    tds->require_subcommand(1);
    auto* dump = tds->add_subcommand("dump", "Print the chunk tree of a .3ds file");
    dump->add_option("FILE", dumpArgs->file, "The .3ds file")->required();
    dump->add_flag("--unknown", dumpArgs->options.printUnknown,
                   "Also list chunks outside the known table");
    dump->add_flag("--hex", dumpArgs->options.printUnknownHex,
                   "With the unknown chunks, their bytes in hexadecimal (implies --unknown)");
    dump->add_flag("--no-detail-heads", dumpArgs->options.suppressDetailHeads,
                   "Leave out the head line of chunks whose values are printed");
    dump->callback([&cli, dumpArgs] {
        ov::conv::DumpOptions o = dumpArgs->options;
        if (o.printUnknownHex) o.printUnknown = true;
        cli.exitCode = runDump(dumpArgs->file, o);
    });
}

}  // namespace ovcli
