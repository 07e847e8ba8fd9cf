// ovcli pack / unpack: RefPack streams of any content.

#include <filesystem>
#include <iostream>

#include "cli.h"
#include "common/fileio.h"
#include "common/refpack.h"
#include "json.h"

namespace ovcli {

namespace {

bool fileExists(const std::string& path) {
    std::error_code ec;
    return std::filesystem::exists(ov::pathFromText(path), ec);
}

ov::refpack::Level levelNamed(const std::string& name) {
    if (name == "fastest") return ov::refpack::Level::Fastest;
    if (name == "fast") return ov::refpack::Level::Fast;
    return ov::refpack::Level::Best;
}

struct CodecArgs {
    std::string in, out, level = "best";
    bool force = false, dryRun = false, json = false;
};

// Says what was written (or, with --dry-run, would be): a line, or the JSON document.
// `level` is the packer's, or empty when unpacking.
void report(const CodecArgs& a, const std::string& level, uint64_t inBytes, uint64_t outBytes,
            bool outputExisted) {
    if (a.json) {
        Json j;
        j.beginObject().field("input", a.in).field("output", a.out);
        if (!level.empty()) j.field("level", level);
        j.field("inputBytes", inBytes)
            .field("outputBytes", outBytes)
            .field("outputExisted", outputExisted)
            .field("dryRun", a.dryRun)
            .endObject();
        printJson(j);
    } else if (a.dryRun) {
        std::cout << "would write " << a.out << ": " << inBytes << " -> " << outBytes << " bytes"
                  << (outputExisted ? " (it exists: asks first)" : "") << '\n';
    } else {
        std::cout << a.in << ": " << inBytes << " -> " << outBytes << " bytes\n";
    }
}

int runPack(Cli& cli, const CodecArgs& a) {
    const std::string &in = a.in, &out = a.out;
    auto data = ov::readFile(ov::pathFromText(in));
    if (!data) {
        printError(data.error().describe());
        return kFailed;
    }
    auto packed = ov::refpack::encode(*data, levelNamed(a.level));
    if (!packed) {
        printError(in + ": " + packed.error().describe());
        return kFailed;
    }
    const bool existed = fileExists(out);
    if (a.dryRun) {
        report(a, a.level, data->size(), packed->size(), existed);
        return kOk;
    }
    if (!mayReplace(cli.reporter, out, a.force, {in})) return kFailed;
    warnAboutTemporariesBeside(ov::pathFromText(out));
    if (auto st = ov::writeFileAtomic(ov::pathFromText(out), *packed); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    report(a, a.level, data->size(), packed->size(), existed);
    return kOk;
}

// Unpacks straight into the output file through the decoder's window, so only the
// packed input is held in memory, never the unpacked output.
int runUnpack(Cli& cli, const CodecArgs& a) {
    const std::string &in = a.in, &out = a.out;
    auto data = ov::readFile(ov::pathFromText(in));
    if (!data) {
        printError(data.error().describe());
        return kFailed;
    }
    auto header = ov::refpack::readHeader(*data);
    if (!header) {
        printError(in + ": " + header.error().describe());
        return kFailed;
    }
    const bool existed = fileExists(out);
    if (a.dryRun) {
        // The whole stream is decoded and counted, so that a damaged one is said now.
        auto made = ov::refpack::decodeStream(*data, header->unpackedSize,
                                              [](ov::ByteSpan) { return ov::Status{}; });
        if (!made) {
            printError(in + ": " + made.error().describe());
            return kFailed;
        }
        report(a, "", data->size(), *made, existed);
        return kOk;
    }
    if (!mayReplace(cli.reporter, out, a.force, {in})) return kFailed;
    warnAboutTemporariesBeside(ov::pathFromText(out));
    auto staged = ov::AtomicFile::create(ov::pathFromText(out));
    if (!staged) {
        printError(staged.error().describe());
        return kFailed;
    }
    auto made = ov::refpack::decodeStream(*data, header->unpackedSize,
                                          [&](ov::ByteSpan piece) { return staged->write(piece); });
    if (made)
        if (auto st = ov::refpack::checkProduced(*made, header->unpackedSize); !st)
            made = st.error();
    if (!made) {
        printError(in + ": " + made.error().describe());
        return kFailed;
    }
    if (auto st = staged->commit(); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    report(a, "", data->size(), *made, existed);
    return kOk;
}

}  // namespace

void addCodecCommands(Cli& cli) {
    auto* pack = cli.app.add_subcommand("pack", "Pack a file as a RefPack stream");
    auto p = std::make_shared<CodecArgs>();
    pack->add_option("IN", p->in, "File to pack")->required();
    pack->add_option("OUT", p->out, "Packed file to write")->required();
    // Best by default: what a modder packs is a model or an archive item of a few
    // kilobytes to a few megabytes, which Best packs in well under a second into
    // the smallest file, and packing is done once while the game reads it often.
    pack->add_option("--level", p->level,
                     "best (the default: the smallest file, at a few MB/s, well under a "
                     "second for a model), fast (about 100 MB/s, 5-25% larger) or "
                     "fastest (several hundred MB/s, 15-80% larger)")
        ->check(CLI::IsMember({"fastest", "fast", "best"}));
    pack->add_flag("--force", p->force, "Replace OUT when it exists");
    pack->add_flag("--dry-run", p->dryRun, "Pack in memory, say the sizes and write nothing");
    pack->add_flag("--json", p->json, "Print the files and sizes as JSON");
    pack->callback([&cli, p] { cli.exitCode = runPack(cli, *p); });

    auto* unpack = cli.app.add_subcommand("unpack", "Unpack a RefPack stream");
    auto u = std::make_shared<CodecArgs>();
    unpack->add_option("IN", u->in, "Packed file")->required();
    unpack->add_option("OUT", u->out, "File to write")->required();
    unpack->add_flag("--force", u->force, "Replace OUT when it exists");
    unpack->add_flag("--dry-run", u->dryRun, "Unpack in memory, say the size and write nothing");
    unpack->add_flag("--json", u->json, "Print the files and sizes as JSON");
    unpack->callback([&cli, u] { cli.exitCode = runUnpack(cli, *u); });
}

}  // namespace ovcli
