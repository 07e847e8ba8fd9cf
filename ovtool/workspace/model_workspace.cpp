#include "ovtool/workspace/model_workspace.h"

#include <QFileInfo>
#include <QStringList>
#include <QUndoStack>
#include <algorithm>

#include "common/fileio.h"
#include "common/ui/paths.h"
#include "ovtool/interchange/interchange.h"
#include "ovtool/workspace/edit_commands.h"

namespace ov::tool {

namespace {

using desktop::fromPath;
using desktop::toPath;

// Names are bytes in the file; Latin-1 shows each byte as one character.
QString fromBytes(const std::string& s) {
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

using Fields = model::ComponentFields;

}  // namespace

ModelWorkspace::ModelWorkspace(Reporter& reporter, QObject* parent)
    : QObject(parent), reporter_(reporter), doc_(reporter) {
    undo_ = new QUndoStack(this);
    undo_->setUndoLimit(kUndoLimit);
    // A model back at its saved state is unmodified again.
    connect(undo_, &QUndoStack::cleanChanged, this, [this](bool clean) {
        if (doc_.loaded()) doc_.setModified(!clean);
    });
    doc_.addListener([this](model::Change change) { documentChanged(change); });
}

ModelWorkspace::~ModelWorkspace() {
    // The stack says it is clean as it goes; the document goes first.
    disconnect(undo_, nullptr, this, nullptr);
}

void ModelWorkspace::documentChanged(model::Change change) {
    switch (change) {
        case model::Change::Opened:
        case model::Change::Closed:
            break;  // open() tells the views once it is complete
        case model::Change::Edited:
            emit modelEdited();
            emit fileStateChanged();  // an edit marks the model modified
            break;
        case model::Change::Saved:
        case model::Change::Modified:
            emit fileStateChanged();
            break;
    }
}

// ---- files ------------------------------------------------------------------------

model::OpenResult ModelWorkspace::open(const QString& path) {
    selection_ = {};
    validityShown_.clear();
    suggestedName_.clear();
    undo_->clear();
    const model::OpenResult result = doc_.open(toPath(path));
    undo_->setClean();
    emit modelReset();
    emit selectionChanged();
    emit fileStateChanged();
    const QString name = QFileInfo(path).fileName();
    switch (result) {
        case model::OpenResult::Loaded:
            setStatus(tr("Opened %1").arg(name));
            reportValidity();
            break;
        case model::OpenResult::Empty:
            setStatus(tr("%1 holds no blocks: nothing was loaded").arg(name));
            break;
        case model::OpenResult::Failed:
            setStatus(tr("%1 was not opened").arg(name));
            break;
    }
    return result;
}

model::OpenResult ModelWorkspace::openBuilt(shp::BlockChain chain, const QString& suggestedName) {
    selection_ = {};
    validityShown_.clear();
    undo_->clear();
    const model::OpenResult result = doc_.adopt(std::move(chain));
    suggestedName_ = result == model::OpenResult::Loaded ? suggestedName : QString();
    // Never saved: no state of the history is the file's.
    if (result == model::OpenResult::Loaded)
        undo_->resetClean();
    else
        undo_->setClean();
    emit modelReset();
    emit selectionChanged();
    emit fileStateChanged();
    if (result == model::OpenResult::Loaded) {
        setStatus(tr("New model %1, not saved yet").arg(displayName()));
        reportValidity();
    } else {
        setStatus(tr("The model holds no blocks: nothing was loaded"));
    }
    return result;
}

bool ModelWorkspace::merge(const QString& path) {
    auto* step = new DocumentCommand(
        *this, tr("Merge %1").arg(QFileInfo(path).fileName()),
        [path](model::Document& doc, Selection now) -> std::optional<Selection> {
            auto done = doc.merge(toPath(path));
            if (!done || !*done) return std::nullopt;
            return now;
        });
    return push(step);
}

bool ModelWorkspace::save() {
    if (!doc_.loaded() || !hasFileName()) return false;
    if (!doc_.save(model::Backup::KeepFirstState)) return false;
    saved();
    return true;
}

bool ModelWorkspace::saveAs(const QString& path) {
    if (!doc_.loaded() || path.isEmpty()) return false;
    if (!doc_.saveAs(toPath(path), model::Backup::KeepFirstState)) return false;
    suggestedName_.clear();
    saved();
    return true;
}

bool ModelWorkspace::exportTo(const QString& path) {
    namespace ix = interchange;
    if (!doc_.loaded() || path.isEmpty()) return false;
    const std::filesystem::path out = toPath(path);
    auto refuse = [this](const std::filesystem::path& file, const std::string& why) {
        reporter_.message(model::kSaveErrorCaption, model::saveErrorText(file) + "\n\n" + why,
                          Icon::Critical);
        return false;
    };
    auto files = ix::exportFiles(doc_.chain(), out);
    if (!files) return refuse(out, files.error().describe());
    for (const ix::ExportedFile& f : *files) {
        std::error_code ec;
        const auto status = std::filesystem::symlink_status(f.path, ec);
        if (!std::filesystem::exists(status)) continue;
        if (!std::filesystem::is_regular_file(status))
            return refuse(f.path, "It is not a regular file; it is not written over.");
        if (hasFileName() && sameFile(f.path, doc_.fileName()))
            return refuse(f.path, "It is the model's own file; give the export another name.");
    }
    // The file dialog asked about the export itself; the .bin or .mtl written
    // beside it is asked about here, before anything is written.
    for (const ix::ExportedFile& f : *files) {
        std::error_code ec;
        if (f.path == out || !std::filesystem::exists(f.path, ec)) continue;
        const Answer a = reporter_.question(
            "Export",
            pathText(f.path) + " already exists beside the export. Replace it?",
            Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) {
            setStatus(tr("Nothing was exported: %1 was kept").arg(fromPath(f.path.filename())));
            return false;
        }
    }
    std::vector<FileWrite> writes;
    for (const ix::ExportedFile& f : *files)
        writes.push_back({f.path, f.bytes});
    if (auto written = writeFilesTogether(writes); !written)
        return refuse(out, written.error().describe() + "\nNothing was written.");
    QStringList names;
    for (const ix::ExportedFile& f : *files)
        names << fromPath(f.path.filename());
    QString text = tr("Exported %1").arg(names.join(tr(" and ")));
    if (ix::formatOf(out) == ix::FileFormat::Obj)
        text += tr("; OBJ holds the geometry and groups only, export glTF to bring the ship back");
    setStatus(text);
    return true;
}

model::OpenResult ModelWorkspace::importFrom(const QString& path, const QString& texture) {
    namespace ix = interchange;
    const std::filesystem::path in = toPath(path);
    ix::ImportOptions options;
    if (!texture.isEmpty()) options.texture = texture.toLatin1().toStdString();
    auto imported = ix::importFile(in, options);
    if (!imported) {
        reporter_.message(model::kOpenErrorCaption,
                          model::openErrorText(in) + "\n\n" + imported.error().describe(),
                          Icon::Critical);
        setStatus(tr("%1 was not imported").arg(QFileInfo(path).fileName()));
        return model::OpenResult::Failed;
    }
    const ix::ImportReport report = imported->report;
    std::filesystem::path suggested = in;
    suggested.replace_extension(".shp");
    const model::OpenResult result = openBuilt(std::move(imported->chain), fromPath(suggested));
    if (result != model::OpenResult::Loaded) return result;

    const QString name = QFileInfo(path).fileName();
    if (report.fromExtras)
        setStatus(tr("Imported %1: the exported ship with %2 of %3 component(s) changed, not saved yet")
                      .arg(name)
                      .arg(report.components - report.componentsKept)
                      .arg(report.components));
    else
        setStatus(tr("Imported %1 as a new ship of %2 component(s), not saved yet")
                      .arg(name)
                      .arg(report.components));
    std::vector<std::string> notes = report.notes;
    const ix::FileFormat format = ix::formatOf(in);
    if (!report.fromExtras && (format == ix::FileFormat::Gltf || format == ix::FileFormat::Glb))
        notes.insert(notes.begin(),
                     "The file carries no ship data of an export, so it became a new ship. To "
                     "bring an exported ship back from Blender, tick Include > Custom Properties "
                     "when exporting.");
    if (!notes.empty()) {
        std::string text;
        for (const std::string& n : notes)
            text += (text.empty() ? "" : "\n") + n;
        reporter_.message("Import", text, Icon::Information);
    }
    return result;
}

void ModelWorkspace::saved() {
    undo_->setClean();
    QString text = tr("Saved %1").arg(fromPath(doc_.fileName().filename()));
    if (!doc_.backupMade().empty())
        text += tr("; its first state is kept in %1").arg(fromPath(doc_.backupMade().filename()));
    setStatus(text);
    emit fileStateChanged();
}

QString ModelWorkspace::filePath() const {
    return fromPath(doc_.fileName());
}

QString ModelWorkspace::displayName() const {
    if (hasFileName()) return fromPath(doc_.fileName().filename());
    if (!suggestedName_.isEmpty()) return QFileInfo(suggestedName_).fileName();
    return tr("Untitled");
}

QString ModelWorkspace::suggestedPath() const {
    return hasFileName() ? filePath() : suggestedName_;
}

void ModelWorkspace::setStatus(const QString& text) {
    status_ = text;
    emit statusChanged(text);
}

// ---- selection --------------------------------------------------------------------

Selection ModelWorkspace::clamped(Selection s) const {
    if (s.component < 0 || s.component >= int(doc_.componentCount())) return {};
    const auto k = size_t(s.component);
    if (s.attachment < 0 || !doc_.attachmentFields(k, size_t(s.attachment))) s.attachment = -1;
    if (s.box < 0 || !doc_.boxFields(k, size_t(s.box))) s.box = -1;
    return s;
}

void ModelWorkspace::setSelection(Selection selection) {
    selection = clamped(selection);
    if (selection == selection_) return;
    selection_ = selection;
    emit selectionChanged();
}

void ModelWorkspace::selectComponent(int component) {
    if (component == selection_.component) return;
    setSelection({component, -1, -1});
}

void ModelWorkspace::selectAttachment(int attachment) {
    setSelection({selection_.component, attachment, selection_.box});
}

void ModelWorkspace::selectBox(int box) {
    setSelection({selection_.component, selection_.attachment, box});
}

// ---- history ----------------------------------------------------------------------

bool ModelWorkspace::push(ModelCommand* command) {
    if (!doc_.loaded() || !command->makeBeforePush()) {
        delete command;
        return false;
    }
    undo_->push(command);
    return true;
}

ModelWorkspace::Snapshot ModelWorkspace::snapshot() {
    if (!current_ || currentVersion_ != doc_.version()) {
        current_ = std::make_shared<const shp::BlockChain>(doc_.chain());
        currentVersion_ = doc_.version();
    }
    return current_;
}

void ModelWorkspace::restore(const Snapshot& chain, Selection selection) {
    // The views read the selection when they hear of the change: set it first.
    const Selection was = selection_;
    selection_ = selection;
    doc_.replaceChain(*chain);
    current_ = chain;
    currentVersion_ = doc_.version();
    selection_ = clamped(selection);
    if (selection_ != was) emit selectionChanged();
    reportValidity();
}

void ModelWorkspace::reportValidity() {
    const size_t count = doc_.componentCount();
    for (size_t k = 0; k < count; ++k) {
        if (!validityShown_.insert(k).second) continue;
        for (const shp::Problem& p : doc_.validity(k))
            reporter_.message(p.caption, p.text,
                              p.caption == shp::kEmptyGeometryCaption ? Icon::Critical
                                                                      : Icon::Exclamation);
    }
}

// ---- edits ------------------------------------------------------------------------

namespace {

// A change of component k's record fields, as one function of them.
DocumentCommand::Change componentChange(int component, std::function<void(Fields&)> change) {
    return [component, change = std::move(change)](model::Document& doc,
                                                   Selection now) -> std::optional<Selection> {
        if (component < 0) return std::nullopt;
        auto fields = doc.componentFields(size_t(component));
        if (!fields) return std::nullopt;
        change(*fields);
        auto done = doc.setComponentFields(size_t(component), *fields);
        if (!done || !*done) return std::nullopt;
        return now;
    };
}

std::optional<Selection> changed(const Result<bool>& done, Selection after) {
    if (!done || !*done) return std::nullopt;
    return after;
}

}  // namespace

bool ModelWorkspace::setShipClass(uint8_t value) {
    return push(new DocumentCommand(
        *this, tr("Set ship class to %1").arg(fromBytes(shp::shipClassName(value))),
        [value](model::Document& doc, Selection now) {
            return changed(doc.setShipClass(value), now);
        }));
}

bool ModelWorkspace::deleteComponent(int component) {
    if (component < 0 || component >= int(doc_.componentCount())) return false;
    const QString name = fromBytes(doc_.componentNames()[size_t(component)]);
    return push(new DocumentCommand(*this, tr("Delete component %1").arg(name),
                                    [component](model::Document& doc, Selection) {
                                        return changed(doc.deleteComponent(size_t(component)),
                                                       Selection{});
                                    }));
}

bool ModelWorkspace::renameComponent(int component, const std::string& name) {
    return push(new DocumentCommand(*this, tr("Rename component"),
                                    componentChange(component, [name](Fields& f) { f.name = name; })));
}

bool ModelWorkspace::setComponentKind(int component, uint32_t kind) {
    return push(new DocumentCommand(*this, tr("Change component kind"),
                                    componentChange(component, [kind](Fields& f) { f.kind = kind; })));
}

bool ModelWorkspace::setComponentValue212(int component, uint32_t value) {
    return push(new DocumentCommand(
        *this, tr("Change value at 212"),
        componentChange(component, [value](Fields& f) { f.value212 = value; })));
}

bool ModelWorkspace::setComponentValue260(int component, uint32_t value) {
    return push(new DocumentCommand(
        *this, tr("Change value at 260"),
        componentChange(component, [value](Fields& f) { f.value260 = value; })));
}

bool ModelWorkspace::setComponentSwitch240(int component, bool on) {
    return push(new DocumentCommand(*this,
                                    on ? tr("Set switch at 240") : tr("Clear switch at 240"),
                                    componentChange(component, [on](Fields& f) {
                                        // A non-zero value stays as it is stored.
                                        if (!on)
                                            f.switch240 = 0;
                                        else if (f.switch240 == 0)
                                            f.switch240 = 1;
                                    })));
}

bool ModelWorkspace::setBlock13(int component, bool on) {
    if (component < 0) return false;
    return push(new DocumentCommand(
        *this, on ? tr("Switch block13 on") : tr("Switch block13 off"),
        [component, on](model::Document& doc, Selection now) {
            return changed(doc.setBlock13(size_t(component), on), now);
        }));
}

bool ModelWorkspace::setPosition(PositionTarget target, int axis, float value) {
    QString text;
    switch (target.kind) {
        case PositionTarget::Kind::Component: text = tr("Move component"); break;
        case PositionTarget::Kind::Attachment: text = tr("Move attachment"); break;
        case PositionTarget::Kind::BoxCentre: text = tr("Move box"); break;
        case PositionTarget::Kind::BoxHalfExtents: text = tr("Resize box"); break;
    }
    return push(new PositionCommand(*this, text, target, axis, value));
}

bool ModelWorkspace::attach(int component, uint32_t kind) {
    if (component < 0) return false;
    return push(new DocumentCommand(
        *this, tr("Attach %1").arg(QString::fromLatin1(shp::attachMenuName(kind))),
        [component, kind](model::Document& doc, Selection now) -> std::optional<Selection> {
            auto index = doc.attach(size_t(component), kind);
            if (!index) return std::nullopt;
            return Selection{component, int(*index), now.component == component ? now.box : -1};
        }));
}

bool ModelWorkspace::detach(int component, int attachment) {
    if (component < 0 || attachment < 0) return false;
    const auto names = doc_.attachmentNames(size_t(component));
    if (!names || size_t(attachment) >= names->size()) return false;
    const QString name = fromBytes((*names)[size_t(attachment)]);
    const int left = int(names->size()) - 1;
    return push(new DocumentCommand(
        *this, tr("Remove %1").arg(name),
        [component, attachment, left](model::Document& doc, Selection now) {
            return changed(doc.detach(size_t(component), size_t(attachment)),
                           Selection{component, std::min(attachment, left - 1),
                                     now.component == component ? now.box : -1});
        }));
}

bool ModelWorkspace::setAttachmentType(int component, int attachment, uint32_t value) {
    if (component < 0 || attachment < 0) return false;
    return push(new DocumentCommand(
        *this, tr("Change attachment type"),
        [component, attachment, value](model::Document& doc,
                                       Selection now) -> std::optional<Selection> {
            auto fields = doc.attachmentFields(size_t(component), size_t(attachment));
            if (!fields) return std::nullopt;
            (fields->kind == 1 ? fields->objectIndex : fields->gunType) = value;
            return changed(doc.setAttachmentFields(size_t(component), size_t(attachment), *fields),
                           now);
        }));
}

bool ModelWorkspace::addBox(int component) {
    if (component < 0) return false;
    return push(new DocumentCommand(
        *this, tr("Add box"),
        [component](model::Document& doc, Selection now) -> std::optional<Selection> {
            auto index = doc.addBox(size_t(component));
            if (!index) return std::nullopt;
            return Selection{component, now.component == component ? now.attachment : -1,
                             int(*index)};
        }));
}

bool ModelWorkspace::removeBox(int component, int box) {
    if (component < 0 || box < 0 || !doc_.boxFields(size_t(component), size_t(box))) return false;
    return push(new DocumentCommand(
        *this, tr("Remove box"), [component, box](model::Document& doc, Selection now) {
            const auto k = size_t(component);
            auto done = doc.removeBox(k, size_t(box));
            int left = 0;
            while (doc.boxFields(k, size_t(left)))
                ++left;
            return changed(done, Selection{component,
                                           now.component == component ? now.attachment : -1,
                                           std::min(box, left - 1)});
        }));
}

}  // namespace ov::tool
