// ovcli pack / unpack: RefPack streams of any content.

#include <iostream>
#include <memory>
#include <span>

#include "cli.h"
#include "common/fileio.h"
#include "common/refpack.h"

namespace ovcli {

namespace {

int runPack(const std::string& in, const std::string& out, const std::string& level) {
    auto data = ov::readFile(ov::pathFromText(in));
    if (!data) {
        printError(data.error().describe());
        return kFailed;
    }
    auto packed = ov::refpack::encode(
        *data, level == "fast" ? ov::refpack::Level::Fast : ov::refpack::Level::Best);
    if (!packed) {
        printError(in + ": " + packed.error().describe());
        return kFailed;
    }
    warnAboutTemporariesBeside(out);
    if (auto st = ov::writeFileAtomic(ov::pathFromText(out), *packed); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    std::cout << in << ": " << data->size() << " -> " << packed->size() << " bytes\n";
    return kOk;
}

int runUnpack(const std::string& in, const std::string& out) {
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
    // No command makes more than 257 bytes per byte it takes: a larger stated size
    // is false, and refused before anything is allocated.
    const size_t packedSize = data->size();
    const size_t stated = header->unpackedSize;
    if (uint64_t(stated) > uint64_t(packedSize - header->commandsAt) * 257) {
        printError(in + ": the packed stream states " + std::to_string(stated) +
                   " unpacked bytes, more than its commands can produce");
        return kFailed;
    }
    // Room for exactly the stated size, left as it comes: the decoder writes every
    // byte it reports, and a stream producing another length is refused.
    auto plain = std::make_unique_for_overwrite<uint8_t[]>(stated);
    auto n = ov::refpack::decodeInto(*data, std::span<uint8_t>(plain.get(), stated));
    if (!n || *n != stated) {
        printError(in + ": " + (n ? "the packed stream produces " + std::to_string(*n) +
                                        " bytes, its header states " + std::to_string(stated)
                                  : n.error().describe()));
        return kFailed;
    }
    *data = ov::Bytes();  // the packed bytes are not needed while writing
    warnAboutTemporariesBeside(ov::pathFromText(out));
    if (auto st = ov::writeFileAtomic(ov::pathFromText(out), ov::ByteSpan(plain.get(), stated));
        !st) {
        printError(st.error().describe());
        return kFailed;
    }
    std::cout << in << ": " << packedSize << " -> " << stated << " bytes\n";
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
    pack->add_option("--level", *level, "fast or best")->check(CLI::IsMember({"fast", "best"}));
    pack->callback([&cli, in, out, level] { cli.exitCode = runPack(*in, *out, *level); });

    auto* unpack = cli.app.add_subcommand("unpack", "Unpack a RefPack stream");
    auto uin = std::make_shared<std::string>();
    auto uout = std::make_shared<std::string>();
    unpack->add_option("IN", *uin, "Packed file")->required();
    unpack->add_option("OUT", *uout, "File to write")->required();
    unpack->callback([&cli, uin, uout] { cli.exitCode = runUnpack(*uin, *uout); });
}

}  // namespace ovcli
