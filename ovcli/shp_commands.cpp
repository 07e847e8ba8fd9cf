// ovcli shp blocks: the block chain of a model, packed or not.

#include <cstdio>
#include <iostream>

#include "cli.h"
#include "common/fileio.h"
#include "common/refpack.h"
#include "common/shp.h"
#include "json.h"
#include "sample_models.h"

namespace ovcli {

namespace {

// The unpacked bytes of a model file: read as is when it ends with the terminator,
// unpacked once when it is packed.
ov::Result<ov::Bytes> readModelBytes(const std::string& path) {
    auto data = ov::readFile(path);
    if (!data) return data.error();
    switch (ov::shp::recognize(*data)) {
        case ov::shp::Recognition::Unpacked:
            return std::move(*data);
        case ov::shp::Recognition::Packed: {
            auto plain = ov::refpack::decode(*data);
            if (!plain) return ov::makeError(path + ": " + plain.error().describe());
            if (ov::shp::recognize(*plain) != ov::shp::Recognition::Unpacked)
                return ov::makeError(path + ": " + ov::shp::kNotShpText);
            return std::move(*plain);
        }
        case ov::shp::Recognition::Unknown:
            break;
    }
    return ov::makeError(path + ": " + ov::shp::kNotShpText);
}

int runBlocks(const std::string& path, bool json) {
    auto bytes = readModelBytes(path);
    if (!bytes) {
        printError(bytes.error().describe());
        return kFailed;
    }
    auto chain = ov::shp::BlockChain::read(*bytes);
    if (!chain) {
        printError(path + ": " + chain.error().describe());
        return kFailed;
    }
    if (json) {
        Json j;
        j.beginArray();
        size_t i = 0;
        for (const auto& b : chain->blocks()) {
            const char* name = ov::shp::blockTypeName(uint16_t(b.type));
            j.beginObject()
                .field("index", i++)
                .field("type", b.type)
                .field("name", name ? name : "")
                .field("recordSize", b.recordSize)
                .field("recordCount", b.recordCount)
                .field("offset", b.fileOffset)
                .endObject();
        }
        j.endArray();
        std::cout << j.str() << '\n';
        return kOk;
    }
    std::printf("%5s %6s  %-24s %8s %8s %10s\n", "index", "type", "name", "size", "count",
                "offset");
    size_t i = 0;
    for (const auto& b : chain->blocks()) {
        const char* name = ov::shp::blockTypeName(uint16_t(b.type));
        std::printf("%5zu %6u  %-24s %8u %8u %10llu\n", i++, b.type, name ? name : "-",
                    b.recordSize, b.recordCount, static_cast<unsigned long long>(b.fileOffset));
    }
    return kOk;
}

}  // namespace

void addShpCommands(Cli& cli) {
    auto* shp = cli.app.add_subcommand("shp", "Look at the block chain of an SHP model");
    shp->require_subcommand(1);
    auto* blocks = shp->add_subcommand("blocks", "List the blocks of a model (packed or not)");
    auto file = std::make_shared<std::string>();
    auto json = std::make_shared<bool>(false);
    blocks->add_option("FILE", *file, "SHP model")->required();
    blocks->add_flag("--json", *json, "Print a JSON array");
    blocks->callback([&cli, file, json] { cli.exitCode = runBlocks(*file, *json); });

    auto* sample = shp->add_subcommand("sample", "Write a small generated fighter model");
    auto out = std::make_shared<std::string>();
    sample->add_option("OUT", *out, "SHP file to write")->required();
    sample->callback([&cli, out] {
        if (auto err = sampleFighter().writeFile(*out)) {
            printError(err->describe());
            cli.exitCode = kFailed;
        }
    });
}

}  // namespace ovcli
