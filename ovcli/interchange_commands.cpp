// ovcli model export / model import: ships out to glTF or OBJ for a 3D suite, and
// glTF, OBJ, FBX and other meshes back in as SHP models.

#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"
#include "common/shp_model.h"
#include "json.h"
#include "ovtool/interchange/interchange.h"

namespace ovcli {

namespace {

namespace ix = ov::interchange;
namespace fs = std::filesystem;

struct ExchangeArgs {
    std::string in, out, texture;
    bool json = false, force = false, dryRun = false;
};

// A file the command may write: not the file it reads, not a folder or a device.
bool mayWrite(Cli& cli, const fs::path& target, const fs::path& input, bool force) {
    std::error_code ec;
    const std::string text = ov::pathText(target);
    if (fs::exists(target, ec)) {
        if (ov::sameFile(target, input)) {
            printError(text + ": is the file being read; give another name to write");
            return false;
        }
        if (!fs::is_regular_file(target, ec) && !fs::is_directory(target, ec)) {
            printError(text + ": is not a regular file; it is not written over");
            return false;
        }
    }
    return mayReplace(cli.reporter, text, force);
}

std::string joinExtensions() {
    std::string out;
    for (const std::string& e : ix::importExtensions())
        out += (out.empty() ? "." : ", .") + e;
    return out;
}

size_t recordsOf(const ov::shp::BlockChain& chain, uint16_t type) {
    size_t n = 0;
    for (const auto& b : chain.blocks())
        if (b.type == type) n += b.recordCount;
    return n;
}

void runExport(Cli& cli, const ExchangeArgs& a) {
    const fs::path in = ov::pathFromText(ov::trim(a.in));
    const fs::path out = ov::pathFromText(ov::trim(a.out));
    auto model = ov::shp::loadModelFile(in);
    if (!model) {
        // A path that names no readable file is said once, with what it should be.
        if (const std::string problem = pathProblem(a.in, "an SHP model"); !problem.empty())
            printError(problem);
        else
            printError(a.in + ": " + model.error().describe());
        cli.exitCode = kFailed;
        return;
    }
    auto files = ix::exportFiles(model->chain, out);
    if (!files) {
        printError(ov::pathText(out) + ": " + files.error().describe());
        cli.exitCode = kFailed;
        return;
    }
    if (!a.dryRun) {
        for (const ix::ExportedFile& f : *files)
            if (!mayWrite(cli, f.path, in, a.force)) {
                cli.exitCode = kFailed;
                return;
            }
        warnAboutTemporariesBeside(out);
        if (auto st = ix::exportModel(model->chain, out); !st) {
            printError(ov::pathText(out) + ": " + st.error().describe() + "; nothing was written");
            cli.exitCode = kFailed;
            return;
        }
    }
    ov::shp::ChainIndex index(model->chain);
    const size_t components = ov::shp::ModelView(model->chain, index).componentCount();
    const size_t attachments = recordsOf(model->chain, ov::shp::BlockType::Attachments);
    const size_t boxes = recordsOf(model->chain, ov::shp::BlockType::Boxes);
    const bool obj = ix::formatOf(out) == ix::FileFormat::Obj;
    if (a.json) {
        Json j;
        j.beginObject().field("model", a.in).field("dryRun", a.dryRun).key("files").beginArray();
        for (const ix::ExportedFile& f : *files)
            j.beginObject().field("path", ov::pathText(f.path)).field("bytes", f.bytes.size()).endObject();
        j.endArray()
            .field("components", components)
            .field("attachments", attachments)
            .field("boxes", boxes)
            .field("gameDataKept", !obj);
        printJson(j.endObject());
        return;
    }
    std::cout << (a.dryRun ? "would write " : "wrote ");
    for (size_t i = 0; i < files->size(); ++i)
        std::cout << (i ? " and " : "") << ov::pathText((*files)[i].path) << " (" << (*files)[i].bytes.size()
                  << " bytes)";
    std::cout << ": " << components << " component(s), " << attachments << " attachment(s), " << boxes
              << " box(es)\n";
    if (obj)
        std::cout << "OBJ holds the geometry and groups only: attachments, boxes and the game's own data are "
                     "not in it. Export .gltf or .glb to bring the ship back.\n";
}

void runImport(Cli& cli, const ExchangeArgs& a) {
    const fs::path in = ov::pathFromText(ov::trim(a.in));
    const fs::path out = ov::pathFromText(ov::trim(a.out));
    ix::ImportOptions options;
    if (!a.texture.empty()) options.texture = a.texture;
    auto imported = ix::importFile(in, options);
    if (!imported) {
        if (const std::string problem = pathProblem(a.in, "a mesh file"); !problem.empty())
            printError(problem + "; nothing was written");
        else
            printError(a.in + ": " + imported.error().describe() + "; nothing was written");
        cli.exitCode = kFailed;
        return;
    }
    const ov::Bytes bytes = imported->chain.write();
    if (!a.dryRun) {
        if (!mayWrite(cli, out, in, a.force)) {
            cli.exitCode = kFailed;
            return;
        }
        warnAboutTemporariesBeside(out);
        if (auto st = ov::writeFileAtomic(out, bytes); !st) {
            printError(ov::pathText(out) + ": " + st.error().describe() + "; nothing was written");
            cli.exitCode = kFailed;
            return;
        }
    }
    const ix::ImportReport& r = imported->report;
    const auto problems = ov::shp::checkModel(imported->chain);
    if (a.json) {
        Json j;
        j.beginObject()
            .field("input", a.in)
            .field("output", a.out)
            .field("bytes", bytes.size())
            .field("dryRun", a.dryRun)
            .field("fromExport", r.fromExtras)
            .field("components", r.components)
            .field("componentsKept", r.componentsKept)
            .field("componentsMoved", r.componentsMoved)
            .field("componentsReshaped", r.componentsReshaped)
            .field("componentsAdded", r.componentsAdded)
            .field("componentsRemoved", r.componentsRemoved)
            .field("attachmentsChanged", r.attachmentsChanged)
            .field("attachmentsRemoved", r.attachmentsRemoved)
            .field("boxesChanged", r.boxesChanged)
            .field("boxesRemoved", r.boxesRemoved)
            .field("problems", problems.size())
            .key("notes")
            .beginArray();
        for (const std::string& n : r.notes)
            j.value(n);
        printJson(j.endArray().endObject());
        return;
    }
    std::cout << (a.dryRun ? "would write " : "wrote ") << a.out << " (" << bytes.size() << " bytes): ";
    if (r.fromExtras) {
        std::cout << r.components << " component(s); " << r.componentsKept << " as exported, " << r.componentsMoved
                  << " moved, " << r.componentsReshaped << " reshaped, " << r.componentsAdded << " added, "
                  << r.componentsRemoved << " removed; attachments: " << r.attachmentsChanged << " moved or turned, "
                  << r.attachmentsRemoved << " removed; boxes: " << r.boxesChanged << " changed, " << r.boxesRemoved
                  << " removed\n";
    } else {
        std::cout << "a new ship of " << r.components << " component(s)\n";
        const auto f = ix::formatOf(in);
        if (f == ix::FileFormat::Gltf || f == ix::FileFormat::Glb)
            std::cout << "note: the file carries no ship data of an export, so it became a new ship; to bring "
                         "an exported ship back from Blender, tick Include > Custom Properties when exporting\n";
    }
    for (const std::string& n : r.notes)
        std::cout << "note: " << n << '\n';
    for (const auto& p : problems)
        std::cout << "check: " << (p.component >= 0 ? "component " + std::to_string(p.component) + ": " : "")
                  << p.text << '\n';
}

}  // namespace

void addInterchangeCommands(Cli& cli, CLI::App* model) {
    auto a = std::make_shared<ExchangeArgs>();
    auto* ex = model->add_subcommand(
        "export", "Write a model as glTF (.gltf with its .bin, or .glb) for Blender and other 3D suites, or as OBJ");
    ex->add_option("MODEL", a->in, "SHP model, packed or not")->required();
    ex->add_option("OUT", a->out,
                   "OUT.gltf, OUT.glb (every byte of the ship kept, to come back with model import) or OUT.obj "
                   "(with OUT.mtl: geometry and groups only)")
        ->required();
    ex->add_flag("--force", a->force, "Replace files that are there");
    ex->add_flag("--dry-run", a->dryRun, "Say what would be written and write nothing");
    ex->add_flag("--json", a->json, "Print the files written as JSON");
    ex->callback([&cli, a] { runExport(cli, *a); });
    addExamples(ex, {"ovcli model export out/raptor.shp out/raptor.gltf",
                     "ovcli model export out/raptor.shp out/raptor.glb --json",
                     "ovcli model export out/raptor.shp out/raptor.obj"});

    auto* im = model->add_subcommand(
        "import", "Make an SHP model from a mesh file: a ship exported by model export comes back with what was "
                  "changed in the 3D suite; any other mesh (" +
                      joinExtensions() + ") becomes a new ship, one component per mesh");
    im->add_option("IN", a->in, "Mesh file: " + joinExtensions())->required();
    im->add_option("OUT", a->out, "SHP model to write")->required();
    im->add_option("--texture", a->texture,
                   "Texture name for every imported face (default: each face's material name)");
    im->add_flag("--force", a->force, "Replace OUT when it is there");
    im->add_flag("--dry-run", a->dryRun, "Say what would be written and write nothing");
    im->add_flag("--json", a->json, "Print what was written and what changed as JSON");
    im->callback([&cli, a] { runImport(cli, *a); });
    addExamples(im, {"ovcli model import out/raptor.gltf out/raptor-back.shp",
                     "ovcli model import out/raptor.glb out/raptor-back2.shp --json"});
}

}  // namespace ovcli
