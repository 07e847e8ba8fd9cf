// ovcli model ...: open, check, merge, edit and save SHP models through the model
// document of the component editor. Every edit writes the file back in place
// through a temporary file, unpacked (as the editor saves).

#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>

#include "cli.h"
#include "common/fileio.h"
#include "common/shp_build.h"
#include "json.h"
#include "ovtool/model/document.h"

namespace ovcli {

namespace {

using ov::model::Document;
namespace shp = ov::shp;

std::string fmt(float v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", double(v));
    return buf;
}

std::string fmt(shp::Vec3 v) {
    return "(" + fmt(v.x) + ", " + fmt(v.y) + ", " + fmt(v.z) + ")";
}

void jsonVec3(Json& j, std::string_view key, shp::Vec3 v) {
    j.key(key).beginArray().value(v.x).value(v.y).value(v.z).endArray();
}

// Opens a model; a file that loads nothing without saying why gets a line of its own.
bool openModel(Cli& cli, Document& doc, const std::string& path) {
    switch (doc.open(ov::pathFromText(path))) {
        case ov::model::OpenResult::Loaded:
            return true;
        case ov::model::OpenResult::Empty:
            printError(path + ": the model holds no blocks");
            break;
        case ov::model::OpenResult::Failed:
            explainPath(path, "an SHP model");
            break;
    }
    cli.exitCode = kFailed;
    return false;
}

bool checkComponent(Cli& cli, const Document& doc, size_t k) {
    if (k < doc.componentCount()) return true;
    const size_t n = doc.componentCount();
    printError("component " + std::to_string(k) + " is out of range: the model has " +
               std::to_string(n) + " component(s)" +
               (n ? " (0-" + std::to_string(n - 1) + ")" : ""));
    cli.exitCode = kFailed;
    return false;
}

struct ModelArgs {
    std::string file, other, out;
    size_t component = 0, index = 0;
    uint32_t kind = 0;
    std::string value;
    std::string onOff;
    bool json = false, dryRun = false, force = false;
};

// A command's own part of its --json document: what it changed.
using Changes = std::function<void(Json&)>;

// The --json document of a command that writes a model: the model read, the file
// written and its size, the first state's backup when one is kept (`backupMade`
// nothing: none is), and the command's changes.
void printWritten(const ModelArgs& a, const std::string& target, size_t bytes,
                  std::optional<bool> backupMade, const Changes& changes) {
    Json j;
    j.beginObject()
        .field("file", a.file)
        .field("output", target)
        .field("bytes", bytes)
        .field("dryRun", a.dryRun);
    if (backupMade) jsonBackup(j, backupPathFor(a.file), *backupMade);
    changes(j);
    printJson(j.endObject());
}

// Writes an edited model: to -o OUT when given, else over FILE after keeping its
// first state as FILE.bak. With --dry-run it says what would be written instead.
// With --json it prints what was written and `changes`, and the caller prints nothing.
bool saveModel(Cli& cli, Document& doc, const ModelArgs& a, const Changes& changes) {
    const std::string target = a.out.empty() ? a.file : a.out;
    if (!a.dryRun) warnAboutTemporariesBeside(ov::pathFromText(target));
    if (a.dryRun && a.json) {
        std::error_code ec;
        const bool backupMade = !std::filesystem::exists(ov::pathFromText(backupPathFor(a.file)), ec);
        printWritten(a, target, doc.chain().write().size(),
                     a.out.empty() ? std::optional<bool>(backupMade) : std::nullopt, changes);
        return true;
    }
    if (a.dryRun) {
        const ov::Bytes now = doc.chain().write();
        auto before = ov::readFile(ov::pathFromText(a.file));
        std::cout << "would write " << target << ": " << now.size() << " bytes, unpacked";
        if (before && a.out.empty()) {
            std::cout << " (now " << before->size() << " bytes" << (doc.wasPacked() ? ", packed" : "");
            if (!doc.wasPacked() && before->size() == now.size()) {
                size_t first = now.size(), count = 0;
                for (size_t i = 0; i < now.size(); ++i)
                    if (now[i] != (*before)[i]) {
                        first = std::min(first, i);
                        ++count;
                    }
                if (count) std::cout << "; " << count << " byte(s) differ, the first at offset " << first;
            }
            std::cout << ")";
        }
        std::cout << "; " << (a.out.empty() ? backupPathFor(a.file) + " would keep the first state" : "the model file is kept") << '\n';
        return true;
    }
    std::optional<bool> backupMade;
    bool saved = false;
    if (!a.out.empty()) {
        saved = mayReplace(cli.reporter, a.out, a.force, {a.file}) && doc.saveAs(ov::pathFromText(a.out));
    } else {
        backupMade = keepFirstBackup(a.file);
        saved = backupMade && doc.save();
    }
    if (!saved) {
        cli.exitCode = kFailed;
        return false;
    }
    if (a.json) {
        auto size = ov::fileSize(ov::pathFromText(target));
        printWritten(a, target, size ? size_t(*size) : 0, backupMade, changes);
    }
    return true;
}

void jsonComponent(Json& j, const Document& doc, size_t k) {
    j.key("component").beginObject().field("index", k).field("name", doc.componentNames()[k]).endObject();
}

// The edit commands' common options: -o, --dry-run, --force.
void addEditOptions(CLI::App* sub, ModelArgs& a) {
    sub->add_option("-o,--output", a.out,
                    "Write the changed model here and keep FILE (default: FILE itself, its first "
                    "state kept as FILE.bak)");
    sub->add_flag("--dry-run", a.dryRun, "Say what would be written and write nothing");
    sub->add_flag("--force", a.force, "Replace an existing --output file");
    sub->add_flag("--json", a.json, "Print the file written, its backup and what changed as JSON");
}

// A ship class byte as given: 0-255 (or 0x..), or a class name.
std::optional<uint8_t> shipClassNamed(const std::string& text) {
    if (auto n = parseUnsigned(text)) {
        if (*n <= 255) return uint8_t(*n);
        printError("ship class " + text + " is out of range: 0-255 (0 Fighter, 1 Capship, 2 Fighter + Cloak)");
        return std::nullopt;
    }
    std::vector<std::string> names;
    for (unsigned v = 0; v < 3; ++v) {
        names.push_back(shp::shipClassName(uint8_t(v)));
        if (ov::sameNameIgnoringCase(names.back(), ov::trim(text))) return uint8_t(v);
    }
    printError("unknown ship class '" + text + "'" + didYouMean(text, names) +
               " (the classes: 0 Fighter, 1 Capship, 2 Fighter + Cloak, or any number 0-255)");
    return std::nullopt;
}

// Everything the info command shows about one component: the document's summary,
// and the records of its texture-name, attachment and box blocks.
struct ComponentInfo {
    shp::ComponentSummary summary;
    std::vector<std::string> textureNames;
    struct Attachment {
        uint32_t kind;
        std::string name;
        shp::Vec3 position;
    };
    std::vector<Attachment> attachments;
    std::vector<shp::BoxSpec> boxes;
};

ComponentInfo describe(const Document& doc, size_t k) {
    ComponentInfo info{doc.summary(k), {}, {}, {}};
    const auto& blocks = doc.chain().blocks();
    const shp::ComponentBlocks& at = info.summary.blocks;
    if (at.textures) {
        const shp::Block& t = blocks[*at.textures];
        for (size_t i = 0, n = shp::objectCount(t, shp::kTextureNameFieldsEnd); i < n; ++i)
            info.textureNames.push_back(shp::textureName(t, i));
    }
    if (at.attachments) {
        const shp::Block& b = blocks[*at.attachments];
        for (size_t i = 0, n = shp::objectCount(b, shp::kAttachmentFieldsEnd); i < n; ++i) {
            shp::ConstAttachmentView a(b.record(i));
            info.attachments.push_back({a.kind(), shp::attachmentListName(a), a.position()});
        }
    }
    if (at.boxes) {
        const shp::Block& b = blocks[*at.boxes];
        for (size_t i = 0, n = shp::objectCount(b, shp::kBoxFieldsEnd); i < n; ++i) {
            shp::ConstBoxView box(b.record(i));
            info.boxes.push_back({box.centre(), box.halfExtents()});
        }
    }
    return info;
}

std::string shipClassText(const Document& doc) {
    auto c = shp::shipClass(doc.chain());
    return c ? shp::shipClassName(*c) : std::string("(no ship header)");
}

std::string countText(const std::optional<size_t>& n) {
    return n ? std::to_string(*n) : std::string("missing");
}

// Records too short for their type's fields are counted but not listed.
std::string tooShort(size_t records, size_t listed) {
    return records == listed ? std::string() : " (records too short to hold their fields)";
}

void printInfoText(const Document& doc) {
    std::printf("Model: %s%s\n", ov::pathText(doc.fileName()).c_str(),
                doc.wasPacked() ? " (packed)" : "");
    std::printf("Ship class: %s\n", shipClassText(doc).c_str());
    const size_t n = doc.componentCount();
    std::printf("Components: %zu\n", n);
    for (size_t k = 0; k < n; ++k) {
        const ComponentInfo info = describe(doc, k);
        const shp::ComponentSummary& c = info.summary;
        std::printf("\nComponent %zu: %s\n", k, ov::printable(c.name).c_str());
        std::printf("  Kind: %s\n", shp::componentKindName(c.kind).c_str());
        std::printf("  Position: %s\n", fmt(c.position).c_str());
        std::printf("  Value at 212: %u\n  Value at 260: %u\n", c.value212, c.value260);
        std::printf("  Switch at 240: %s\n", c.switch240 ? "on" : "off");
        std::printf("  Vertices: %s, faces: %s, textures: %s\n", countText(c.vertices).c_str(),
                    countText(c.faces).c_str(), countText(c.textures).c_str());
        for (const std::string& t : info.textureNames)
            std::printf("    texture %s\n", ov::printable(t).c_str());
        std::printf("  Block13: %s, block14: %s\n",
                    c.block13 ? (*c.block13 ? "on" : "off") : "absent",
                    c.block14 ? "present" : "absent");
        if (!c.attachments) {
            std::printf("  Attachments: missing (no Type9 block)\n");
        } else {
            std::printf("  Attachments: %zu%s\n", *c.attachments,
                        tooShort(*c.attachments, info.attachments.size()).c_str());
            for (size_t i = 0; i < info.attachments.size(); ++i) {
                const auto& a = info.attachments[i];
                std::printf("    %zu  %s at %s\n", i, a.name.c_str(), fmt(a.position).c_str());
            }
        }
        if (!c.boxes) {
            std::printf("  Boxes: missing (no box block)\n");
        } else {
            std::printf("  Boxes: %zu%s\n", *c.boxes, tooShort(*c.boxes, info.boxes.size()).c_str());
            for (size_t i = 0; i < info.boxes.size(); ++i) {
                const auto& b = info.boxes[i];
                std::printf("    %zu  centre %s, half extents %s\n", i, fmt(b.centre).c_str(),
                            fmt(b.halfExtents).c_str());
            }
        }
    }
}

void printInfoJson(const Document& doc) {
    Json j;
    j.beginObject().field("file", ov::pathText(doc.fileName())).field("packed", doc.wasPacked());
    if (auto c = shp::shipClass(doc.chain()))
        j.key("shipClass")
            .beginObject()
            .field("value", *c)
            .field("name", shp::shipClassName(*c))
            .endObject();
    j.key("components").beginArray();
    for (size_t k = 0; k < doc.componentCount(); ++k) {
        const ComponentInfo info = describe(doc, k);
        const shp::ComponentSummary& c = info.summary;
        j.beginObject()
            .field("index", k)
            .field("name", c.name)
            .field("kind", c.kind)
            .field("kindName", shp::componentKindName(c.kind));
        jsonVec3(j, "position", c.position);
        j.field("value212", c.value212).field("value260", c.value260);
        j.field("switch240", c.switch240 != 0);
        // A count is left out when its block is missing.
        auto count = [&j](std::string_view key, const std::optional<size_t>& n) {
            if (n) j.field(key, *n);
        };
        count("vertices", c.vertices);
        count("faces", c.faces);
        count("textures", c.textures);
        j.key("textureNames").beginArray();
        for (const auto& t : info.textureNames)
            j.value(t);
        j.endArray();
        j.key("block13").value(c.block13 ? (*c.block13 ? "on" : "off") : "absent");
        j.field("block14", c.block14);
        j.key("attachments").beginArray();
        for (const auto& a : info.attachments) {
            j.beginObject().field("kind", a.kind).field("name", a.name);
            jsonVec3(j, "position", a.position);
            j.endObject();
        }
        j.endArray();
        j.key("boxes").beginArray();
        for (const auto& b : info.boxes) {
            j.beginObject();
            jsonVec3(j, "centre", b.centre);
            jsonVec3(j, "halfExtents", b.halfExtents);
            j.endObject();
        }
        j.endArray();
        j.field("hasType9Block", c.attachments.has_value());
        j.field("hasBoxBlock", c.boxes.has_value());
        j.endObject();
    }
    j.endArray().endObject();
    std::cout << j.str() << '\n';
}

int runCheck(Cli& cli, const std::string& path, bool json) {
    Document doc(cli.reporter);
    if (!openModel(cli, doc, path)) return kFailed;
    const auto names = doc.componentNames();
    struct Found {
        int component;
        std::string caption, text;
        size_t more = 0;  // a summary line standing for this many components
    };
    std::vector<Found> found;
    for (const auto& p : doc.model().check())
        found.push_back({p.component, p.caption, p.text, p.more});
    // A component whose blocks are there but hold nothing draws nothing in the game.
    for (size_t k = 0; k < doc.componentCount(); ++k) {
        const auto c = doc.summary(k);
        if (c.vertices && *c.vertices == 0)
            found.push_back({int(k), "Empty component", "The vertex block holds no vertices."});
        if (c.faces && *c.faces == 0)
            found.push_back({int(k), "Empty component", "The face block holds no faces."});
    }
    // Bytes after the terminator, reported while opening, are a problem of the file.
    if (doc.trailingBytes() > 0)
        found.push_back({-1, "Trailing bytes",
                         std::to_string(doc.trailingBytes()) + " byte(s) after the terminator block"});
    size_t count = 0;
    for (const auto& p : found) count += p.more > 0 ? p.more : 1;
    if (json) {
        Json j;
        j.beginObject().field("file", path).field("components", names.size()).key("problems").beginArray();
        for (const auto& p : found) {
            j.beginObject().field("component", p.component);
            if (p.component >= 0 && p.more == 0) j.field("name", names[size_t(p.component)]);
            if (p.more > 0) j.field("moreComponents", p.more);
            j.field("caption", p.caption).field("text", p.text).endObject();
        }
        j.endArray().endObject();
        std::cout << j.str() << '\n';
        return found.empty() ? kOk : kFailed;
    }
    for (const auto& p : found) {
        std::string where = "model";
        if (p.more > 0)
            where = std::to_string(p.more) + " more components";
        else if (p.component >= 0)
            where = "component " + std::to_string(p.component) + " \"" +
                    ov::printable(names[size_t(p.component)]) + "\"";
        std::printf("%s: %s: %s\n", where.c_str(), p.caption.c_str(),
                    ov::printable(p.text).c_str());
    }
    if (found.empty()) {
        std::printf("%s: %zu components, no problems found\n", path.c_str(), names.size());
        return kOk;
    }
    std::printf("%s: %zu problem%s found\n", path.c_str(), count, count == 1 ? "" : "s");
    return kFailed;
}

}  // namespace

void addModelCommands(Cli& cli) {
    auto* model = cli.app.add_subcommand(
        "model", "Open, check, merge, edit and save SHP models (edits save the file unpacked)");
    model->require_subcommand(1);
    auto a = std::make_shared<ModelArgs>();

    auto* info = model->add_subcommand("info", "Ship class, components, attachments and boxes");
    info->add_option("FILE", a->file, "SHP model, packed or not")->required();
    info->add_flag("--json", a->json, "Print a JSON object");
    info->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file)) return;
        a->json ? printInfoJson(doc) : printInfoText(doc);
    });

    auto* check = model->add_subcommand(
        "check", "Run every validity test on every component and face; exit 1 on any problem");
    check->add_option("FILE", a->file, "SHP model, packed or not")->required();
    check->add_flag("--json", a->json, "Print the problems as JSON");
    check->callback([&cli, a] { cli.exitCode = runCheck(cli, a->file, a->json); });

    auto* save = model->add_subcommand("save", "Open a model (packed or not) and save it unpacked");
    save->add_option("IN", a->file, "SHP model")->required();
    save->add_option("-o,--output", a->out,
                     "File to write (default: IN itself, its first state kept as IN.bak)");
    save->add_flag("--dry-run", a->dryRun, "Say what would be written and write nothing");
    save->add_flag("--force", a->force, "Replace an existing --output file");
    save->add_flag("--json", a->json, "Print the file written and its backup as JSON");
    save->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file)) return;
        saveModel(cli, doc, *a, [&doc](Json& j) { j.field("wasPacked", doc.wasPacked()); });
    });

    auto* merge = model->add_subcommand("merge", "Add the components of OTHER to BASE");
    merge->add_option("BASE", a->file, "SHP model")->required();
    merge->add_option("OTHER", a->other, "SHP model whose components are added")->required();
    merge->add_option("-o,--output", a->out, "File to write")->required();
    merge->add_flag("--dry-run", a->dryRun, "Say what would be written and write nothing");
    merge->add_flag("--force", a->force, "Replace an existing --output file");
    merge->add_flag("--json", a->json, "Print the file written and the components added as JSON");
    merge->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file)) return;
        const size_t before = doc.componentCount();
        // Nothing merged (the other model holds no blocks) is a failure here too.
        if (auto merged = doc.merge(ov::pathFromText(a->other)); !merged || !*merged) {
            cli.exitCode = kFailed;
            return;
        }
        auto added = [&](Json& j) {
            const auto names = doc.componentNames();
            j.field("other", a->other).field("componentsBefore", before).key("added").beginArray();
            for (size_t k = before; k < names.size(); ++k)
                j.beginObject().field("index", k).field("name", names[k]).endObject();
            j.endArray();
        };
        if (a->dryRun && a->json) {
            printWritten(*a, a->out, doc.chain().write().size(), std::nullopt, added);
            return;
        }
        if (a->dryRun) {
            std::cout << "would write " << a->out << ": " << doc.chain().write().size()
                      << " bytes, unpacked, " << before << " + " << doc.componentCount() - before
                      << " components\n";
            return;
        }
        warnAboutTemporariesBeside(ov::pathFromText(a->out));
        if (!mayReplace(cli.reporter, a->out, a->force, {a->file, a->other}) || !doc.saveAs(ov::pathFromText(a->out))) {
            cli.exitCode = kFailed;
            return;
        }
        if (a->json) {
            auto size = ov::fileSize(ov::pathFromText(a->out));
            printWritten(*a, a->out, size ? size_t(*size) : 0, std::nullopt, added);
            return;
        }
        std::printf("%s: %zu + %zu components\n", a->out.c_str(), before,
                    doc.componentCount() - before);
    });

    auto* del = model->add_subcommand("delete-component",
                                      "Remove a component and its whole group of blocks");
    del->add_option("FILE", a->file, "SHP model (rewritten unless -o is given)")->required();
    del->add_option("INDEX", a->component, "Component index (from 0)")->required();
    addEditOptions(del, *a);
    del->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file) || !checkComponent(cli, doc, a->component)) return;
        const std::string name = doc.componentNames()[a->component];
        if (!doc.deleteComponent(a->component)) {
            cli.exitCode = kFailed;
            return;
        }
        auto deleted = [&](Json& j) {
            j.key("component").beginObject().field("index", a->component).field("name", name).endObject();
            j.field("componentsLeft", doc.componentCount());
        };
        if (saveModel(cli, doc, *a, deleted) && !a->json)
            std::printf("Deleted component %zu \"%s\"; %zu left\n", a->component, name.c_str(),
                        doc.componentCount());
    });

    auto* attach = model->add_subcommand(
        "attach",
        "Attach a default object to a component: 0 missile mount point, 1 gun object, 2 engine "
        "flame, 3 gun, 4 blinking light");
    attach->add_option("FILE", a->file, "SHP model (rewritten unless -o is given)")->required();
    attach->add_option("COMPONENT", a->component, "Component index (from 0)")->required();
    attach->add_option("KIND", a->kind, "Attachment kind 0-4")
        ->required()
        ->check(CLI::Range(0, shp::kAttachmentKinds - 1));
    addEditOptions(attach, *a);
    attach->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file) || !checkComponent(cli, doc, a->component)) return;
        auto index = doc.attach(a->component, a->kind);
        if (!index) {
            cli.exitCode = kFailed;
            return;
        }
        auto attached = [&](Json& j) {
            jsonComponent(j, doc, a->component);
            j.field("kind", a->kind).field("kindName", shp::attachMenuName(a->kind)).field("attachment", *index);
        };
        if (saveModel(cli, doc, *a, attached) && !a->json)
            std::printf("Attached %s to component %zu as attachment %zu\n",
                        shp::attachMenuName(a->kind), a->component, *index);
    });

    auto* detach = model->add_subcommand("detach", "Remove an attachment from a component");
    detach->add_option("FILE", a->file, "SHP model (rewritten unless -o is given)")->required();
    detach->add_option("COMPONENT", a->component, "Component index (from 0)")->required();
    detach->add_option("INDEX", a->index, "Attachment index (from 0)")->required();
    addEditOptions(detach, *a);
    detach->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file) || !checkComponent(cli, doc, a->component)) return;
        const auto names = doc.attachmentNames(a->component);
        if (names && a->index >= names->size()) {
            printError("attachment " + std::to_string(a->index) + " is out of range: component " +
                       std::to_string(a->component) + " has " + std::to_string(names->size()) +
                       (names->empty() ? "" : " (0-" + std::to_string(names->size() - 1) + ")"));
            cli.exitCode = kFailed;
            return;
        }
        // Without its Type9 block the document refuses, and says why.
        if (!doc.detach(a->component, a->index)) {
            cli.exitCode = kFailed;
            return;
        }
        auto detached = [&](Json& j) {
            jsonComponent(j, doc, a->component);
            j.key("attachment").beginObject().field("index", a->index).field("name", (*names)[a->index]).endObject();
        };
        if (saveModel(cli, doc, *a, detached) && !a->json)
            std::printf("Removed attachment %zu (%s) from component %zu\n", a->index,
                        (*names)[a->index].c_str(), a->component);
    });

    auto* setClass = model->add_subcommand(
        "set-class", "Set the ship class byte: 0 Fighter, 1 Capship, 2 Fighter + Cloak");
    setClass->add_option("FILE", a->file, "SHP model (rewritten unless -o is given)")->required();
    setClass->add_option("CLASS", a->value, "Fighter, Capship, \"Fighter + Cloak\", or a byte 0-255")
        ->required();
    addEditOptions(setClass, *a);
    setClass->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file)) return;
        const auto old = shp::shipClass(doc.chain());
        if (!old) {
            printError(a->file + ": the model has no ship header record to hold the class");
            cli.exitCode = kFailed;
            return;
        }
        auto value = shipClassNamed(a->value);
        if (!value) {
            cli.exitCode = kUsage;
            return;
        }
        if (!doc.setShipClass(*value)) {
            cli.exitCode = kFailed;
            return;
        }
        auto changed = [&](Json& j) {
            for (auto [key, v] : {std::pair{"oldClass", *old}, std::pair{"newClass", *value}})
                j.key(key).beginObject().field("value", v).field("name", shp::shipClassName(v)).endObject();
        };
        if (saveModel(cli, doc, *a, changed) && !a->json)
            std::printf("Ship class: %s\n", shp::shipClassName(*value).c_str());
    });

    auto* block13 = model->add_subcommand(
        "block13", "Switch a component's block13 on (values 2 and 5) or off (empty)");
    block13->add_option("FILE", a->file, "SHP model (rewritten unless -o is given)")->required();
    block13->add_option("COMPONENT", a->component, "Component index (from 0)")->required();
    block13->add_option("STATE", a->onOff, "on or off")
        ->required()
        ->check(CLI::IsMember({"on", "off"}));
    addEditOptions(block13, *a);
    block13->callback([&cli, a] {
        Document doc(cli.reporter);
        if (!openModel(cli, doc, a->file) || !checkComponent(cli, doc, a->component)) return;
        const bool on = a->onOff == "on";
        // A missing Type9 block is the document's to report; a block13 that cannot
        // take the change is said here.
        const shp::ComponentBlocks at = doc.model().locate(a->component);
        if (at.attachments &&
            (!at.block13 || (on && doc.chain().blocks()[*at.block13].recordSize < 4))) {
            printError("component " + std::to_string(a->component) +
                       " has no block13 of its own that can hold the two values");
            cli.exitCode = kFailed;
            return;
        }
        auto stateOf = [&doc, k = a->component] {
            const auto b = doc.summary(k).block13;
            return b ? (*b ? "on" : "off") : "absent";
        };
        const std::string before = stateOf();
        if (!doc.setBlock13(a->component, on)) {
            cli.exitCode = kFailed;
            return;
        }
        auto changed = [&](Json& j) {
            jsonComponent(j, doc, a->component);
            j.field("old", before).field("new", stateOf());
        };
        if (saveModel(cli, doc, *a, changed) && !a->json)
            std::printf("Block13 of component %zu: %s\n", a->component, a->onOff.c_str());
    });
}

}  // namespace ovcli
