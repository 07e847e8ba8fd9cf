// ovcli pack / unpack: RefPack streams of any content.

#include <filesystem>
#include <iostream>

#include "cli.h"
#include "common/fileio.h"
#include "common/refpack.h"

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

int runPack(Cli& cli, const std::string& in, const std::string& out, const std::string& level,
            bool force, bool dryRun) {
    auto data = ov::readFile(ov::pathFromText(in));
    if (!data) {
        printError(data.error().describe());
        return kFailed;
    }
    auto packed = ov::refpack::encode(*data, levelNamed(level));
    if (!packed) {
        printError(in + ": " + packed.error().describe());
        return kFailed;
    }
    if (dryRun) {
        std::cout << "would write " << out << ": " << data->size() << " -> " << packed->size()
                  << " bytes" << (fileExists(out) ? " (it exists: asks first)" : "") << '\n';
        return kOk;
    }
    if (!mayReplace(cli.reporter, out, force)) return kFailed;
    warnAboutTemporariesBeside(ov::pathFromText(out));
    if (auto st = ov::writeFileAtomic(ov::pathFromText(out), *packed); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    std::cout << in << ": " << data->size() << " -> " << packed->size() << " bytes\n";
    return kOk;
}

// Unpacks straight into the output file through the decoder's window, so only the
// packed input is held in memory, never the unpacked output.
int runUnpack(Cli& cli, const std::string& in, const std::string& out, bool force, bool dryRun) {
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
    if (dryRun) {
        // The whole stream is decoded and counted, so that a damaged one is said now.
        auto made = ov::refpack::decodeStream(*data, header->unpackedSize,
                                              [](ov::ByteSpan) { return ov::Status{}; });
        if (!made) {
            printError(in + ": " + made.error().describe());
            return kFailed;
        }
        std::cout << "would write " << out << ": " << data->size() << " -> " << *made << " bytes"
                  << (fileExists(out) ? " (it exists: asks first)" : "") << '\n';
        return kOk;
    }
    if (!mayReplace(cli.reporter, out, force)) return kFailed;
    warnAboutTemporariesBeside(ov::pathFromText(out));
    auto staged = ov::AtomicFile::create(ov::pathFromText(out));
    if (!staged) {
        printError(staged.error().describe());
        return kFailed;
    }
    auto made = ov::refpack::decodeStream(*data, header->unpackedSize,
                                          [&](ov::ByteSpan piece) { return staged->write(piece); });
    if (made && *made != header->unpackedSize)
        made = ov::makeError(ov::ErrorKind::BadData,
                             "packed stream produces " + std::to_string(*made) +
                                 " bytes, its header states " +
                                 std::to_string(header->unpackedSize));
    if (!made) {
        printError(in + ": " + made.error().describe());
        return kFailed;
    }
    if (auto st = staged->commit(); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    std::cout << in << ": " << data->size() << " -> " << *made << " bytes\n";
    return kOk;
}

}  // namespace

void addCodecCommands(Cli& cli) {
    auto* pack = cli.app.add_subcommand("pack", "Pack a file as a RefPack stream");
    auto in = std::make_shared<std::string>();
    auto out = std::make_shared<std::string>();
    auto level = std::make_shared<std::string>("best");
    pack->add_option("IN", *in, "File to pack")->required();
    pack->add_option("OUT", *out, "Packed file to write")->required();
    // Best by default: what a modder packs is a model or an archive item of a few
    // kilobytes to a few megabytes, which Best packs in well under a second into
    // the smallest file, and packing is done once while the game reads it often.
    pack->add_option("--level", *level,
                     "best (the default: the smallest file, at a few MB/s, well under a "
                     "second for a model), fast (about 100 MB/s, 5-25% larger) or "
                     "fastest (several hundred MB/s, 15-80% larger)")
        ->check(CLI::IsMember({"fastest", "fast", "best"}));
    auto force = std::make_shared<bool>(false);
    auto dryRun = std::make_shared<bool>(false);
    pack->add_flag("--force", *force, "Replace OUT when it exists");
    pack->add_flag("--dry-run", *dryRun, "Pack in memory, say the sizes and write nothing");
    pack->callback([&cli, in, out, level, force, dryRun] {
        cli.exitCode = runPack(cli, *in, *out, *level, *force, *dryRun);
    });

    auto* unpack = cli.app.add_subcommand("unpack", "Unpack a RefPack stream");
    auto uin = std::make_shared<std::string>();
    auto uout = std::make_shared<std::string>();
    unpack->add_option("IN", *uin, "Packed file")->required();
    unpack->add_option("OUT", *uout, "File to write")->required();
    unpack->add_flag("--force", *force, "Replace OUT when it exists");
    unpack->add_flag("--dry-run", *dryRun, "Unpack in memory, say the size and write nothing");
    unpack->callback([&cli, uin, uout, force, dryRun] {
        cli.exitCode = runUnpack(cli, *uin, *uout, *force, *dryRun);
    });
}

}  // namespace ovcli
