// ovcli shp blocks: the block chain of a model, packed or not.

#include <cstdio>
#include <iostream>

#include "cli.h"
#include "common/fileio.h"
#include "common/shp.h"
#include "json.h"
#include "ovtool/model/document.h"
#include "sample_models.h"

namespace ovcli {

namespace {

int runBlocks(const std::string& path, bool json, ov::Reporter& reporter) {
    auto model = ov::model::loadModel(ov::pathFromText(path), reporter);
    if (!model) return kFailed;
    const ov::shp::BlockChain& chain = model->chain;
    if (json) {
        Json j;
        j.beginArray();
        size_t i = 0;
        for (const auto& b : chain.blocks()) {
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
    for (const auto& b : chain.blocks()) {
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
    blocks->callback([&cli, file, json] { cli.exitCode = runBlocks(*file, *json, cli.reporter); });

    auto* sample = shp->add_subcommand("sample", "Write a small generated fighter model");
    auto out = std::make_shared<std::string>();
    auto force = std::make_shared<bool>(false);
    auto dryRun = std::make_shared<bool>(false);
    sample->add_option("OUT", *out, "SHP file to write")->required();
    sample->add_flag("--force", *force, "Replace an existing OUT without asking");
    sample->add_flag("--dry-run", *dryRun, "Say what would be written and write nothing");
    sample->callback([&cli, out, force, dryRun] {
        if (*dryRun) {
            std::cout << "would write " << *out << ": " << sampleFighter().write().size() << " bytes\n";
            return;
        }
        if (!mayReplace(cli.reporter, *out, *force)) {
            cli.exitCode = kFailed;
            return;
        }
        if (auto st = sampleFighter().writeFile(ov::pathFromText(*out)); !st) {
            printError(st.error().describe());
            cli.exitCode = kFailed;
        }
    });
}

}  // namespace ovcli
