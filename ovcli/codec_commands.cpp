// ovcli pack / unpack: RefPack streams of any content.

#include <iostream>

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
    auto plain = ov::refpack::decode(*data);
    if (!plain) {
        printError(in + ": " + plain.error().describe());
        return kFailed;
    }
    warnAboutTemporariesBeside(out);
    if (auto st = ov::writeFileAtomic(ov::pathFromText(out), *plain); !st) {
        printError(st.error().describe());
        return kFailed;
    }
    std::cout << in << ": " << data->size() << " -> " << plain->size() << " bytes\n";
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
