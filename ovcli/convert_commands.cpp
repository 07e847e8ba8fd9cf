// ovcli convert: a 3DS model to an SHP model through the converter library, found
// and loaded at run time by the data editor's binding (ovedit/convert), which looks
// for it in this order: the --library option; the file named by the environment
// variable OV_3DS2OV_LIBRARY; lib3ds2ov.so (3ds2ov.dll) beside the ovcli
// executable; where an installed ovcli has it (../lib/orvane-toolkit); the library
// in the build tree ovcli was built in. ovcli 3ds dump: the chunk dump.

#include <cstdio>
#include <iostream>
#include <memory>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "3ds2ov/chunks.h"
#include "cli.h"
#include "common/fileio.h"
#include "common/shp_model.h"
#include "json.h"
#include "ovedit/convert/converter_library.h"

namespace ovcli {

namespace {

int runConvert(CliReporter& reporter, const std::string& in, const std::string& texture,
               const std::string& out, const std::string& libraryOption, bool force, bool dryRun,
               bool json) {
    // A texture name is a name in the game's texture cache, never a path: one with a
    // folder separator is most often the arguments in the wrong order.
    if (texture.find_first_of("/\\") != std::string::npos)
        printError("warning: the texture name \"" + texture +
                   "\" holds a folder separator; the order is IN TEXTURE OUT");
    if (auto problem = pathProblem(in, "a .3ds file"); !problem.empty()) {
        printError(problem);
        return kFailed;
    }
    if (dryRun) {
        std::cout << "would convert " << in << " into " << out << " with the texture \"" << texture
                  << "\"\n";
        return kOk;
    }
    if (!mayReplace(reporter, out, force, {in})) return kFailed;
    auto library = ov::findConverterLibrary(libraryOption);
    if (!library) {
        if (library.error().kind == ov::ErrorKind::NotFound) {
            printError(std::string("cannot tell where ") + ov::ConverterLibrary::kFileName +
                       " is: give --library or set OV_3DS2OV_LIBRARY");
            return kFailed;
        }
        printError(library.error().describe());
        if (libraryOption.empty())
            printError("give the library's path with --library or OV_3DS2OV_LIBRARY");
        return kFailed;
    }
    warnAboutTemporariesBeside(out);
    std::fflush(stdout);
    // The library prints its progress on standard output; with --json that goes to
    // standard error, so that standard output holds the JSON alone.
    int code = 0;
    if (json) {
        std::fflush(stdout);
#ifdef _WIN32
        const int saved = _dup(_fileno(stdout));
        _dup2(_fileno(stderr), _fileno(stdout));
        code = library->convert(in, texture, out);
        std::fflush(stdout);
        _dup2(saved, _fileno(stdout));
        _close(saved);
#else
        const int saved = dup(STDOUT_FILENO);
        dup2(STDERR_FILENO, STDOUT_FILENO);
        code = library->convert(in, texture, out);
        std::fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
#endif
    } else {
        code = library->convert(in, texture, out);
    }
    std::fflush(stdout);
    if (json) {
        Json j;
        j.beginObject().field("input", in).field("texture", texture).field("output", out);
        j.field("code", code).field("meaning", ov::converterResultText(code));
        if (code == 0) {
            if (auto model = ov::shp::loadModelFile(ov::pathFromText(out))) {
                j.field("blocks", model->chain.blocks().size());
                const ov::shp::ChainIndex index(model->chain);
                const ov::shp::ModelView view(model->chain, index);
                const auto s = view.summary(0);
                j.field("vertices", s.vertices.value_or(0)).field("faces", s.faces.value_or(0));
                j.field("textures", s.textures.value_or(0));
            }
        }
        j.endObject();
        std::cout << j.str() << '\n';
    }
    if (code != 0) {
        printError("conversion failed with result code " + std::to_string(code) + ": " +
                   ov::converterResultText(code));
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
    ov::conv::DumpFaults faults;
    std::string text = ov::conv::dump3ds(*data, options, &faults);
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
    if (faults.truncatedAt) {
        printError("warning: " + path + " is cut short or not a 3DS file: " + faults.truncation);
        return kFailed;
    }
    if (faults.cut) {
        printError("warning: " + path + ": the dump grew too large and was cut short");
        return kFailed;
    }
    return kOk;
}

}  // namespace

void addConvertCommands(Cli& cli) {
    struct ConvertArgs {
        std::string in, texture, out, library;
        bool force = false, dryRun = false, json = false;
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
    convert->add_flag("--force", args->force, "Replace an existing OUT without asking");
    convert->add_flag("--dry-run", args->dryRun, "Say what would be converted and write nothing");
    convert->add_flag("--json", args->json,
                      "Print the result code, its meaning and the model's counts as JSON (the "
                      "library's lines go to standard error)");
    convert->callback([&cli, args] {
        cli.exitCode = runConvert(cli.reporter, args->in, args->texture, args->out, args->library,
                                  args->force, args->dryRun, args->json);
    });

    struct DumpArgs {
        std::string file;
        ov::conv::DumpOptions options;
    };
    auto dumpArgs = std::make_shared<DumpArgs>();
    auto* tds = cli.app.add_subcommand("3ds", "3D Studio files");
    tds->require_subcommand(1);
    auto* dump = tds->add_subcommand(
        "dump",
        "Print the chunk tree of a .3ds file; exit 1 with a warning when a chunk runs past its "
        "parent or the file's end (what was read is still printed)");
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
