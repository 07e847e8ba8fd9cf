#pragma once
// The model document of the component editor: one SHP model in memory and the file
// it came from, as a window holds it.
//
// Lookups are silent: they return what they found (see shp::ModelView), and the
// editor's validity messages for a component come from validity(), for the window
// to show as it sees fit. Opening, merging and saving, and every edit that is
// refused, report through ov::Reporter with the editor's own captions ("Uh oh...",
// "Something went wrong...", "Warning!", "ERROR"), each failure exactly once, and
// leave the chain as it was. Packed models are unpacked in memory: no temporary
// file is ever written while opening.
//
// Selections and other view state belong to the window, not here. A document is
// used from one thread (the window's); model() may be read from a worker thread
// only while the document does not change.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "common/report.h"
#include "common/result.h"
#include "common/shp.h"
#include "common/shp_model.h"

namespace ov::model {

inline constexpr const char* kCompressedCaption = "Compressed SHP file?";
inline constexpr const char* kCompressedText =
    "The file you attempted to load is compressed. I'll uncompress it, check if it's a SHP "
    "file and load it if possible";
inline constexpr const char* kOpenErrorCaption = "Something went wrong...";
// "Error opening %s!" with the file name.
std::string openErrorText(const std::filesystem::path& path);

inline constexpr const char* kBadShpCaption = "Something went wrong...";
inline constexpr const char* kBadShpText = "Bad SHP file!";

inline constexpr const char* kReducedBlock1Caption = "Warning!";
inline constexpr const char* kReducedBlock1Text =
    "This ship uses a reduced version of Block1, no changes will be made to avoid possible "
    "problems!";

inline constexpr const char* kSaveErrorCaption = "Warning!";
// "Error saving file "%s"" with the file name.
std::string saveErrorText(const std::filesystem::path& path);

// Any other refusal of an operation (a structure that it cannot change without
// losing the pairing of components and their blocks), and the warning about bytes
// after a model's terminator block.
inline constexpr const char* kEditRefusedCaption = "Warning!";

// Reads a model file, packed or not, and says why when it cannot: an unreadable
// file gives "Error opening %s!" followed by the reason; a file that is neither an unpacked SHP nor
// one packed stream, or whose chain cannot be read, gives the "doesn't appear to be" message
// (followed by what is wrong, when there is more to say). A packed file is announced with the
// "Compressed SHP file?" message first, and bytes after the terminator block with a warning. Safe
// on hostile input.
std::optional<shp::LoadedModel> loadModel(const std::filesystem::path& path, Reporter& reporter);

enum class OpenResult {
    Loaded,  // a model is loaded
    Empty,   // the file holds a chain without blocks: nothing is loaded, nothing said
    Failed,  // the file could not be loaded; the reason has been reported
};

// The fields of a Type-1 record that the editor shows and lets the user change.
struct ComponentFields {
    std::string name;
    uint32_t kind = 0;
    shp::Vec3 position;
    uint32_t value212 = 0;
    uint32_t switch240 = 0;
    uint32_t value260 = 0;
};
inline constexpr size_t kMaxComponentName = 63;  // the 64-byte field keeps its zero

// The fields of an attachment record that the editor shows and lets the user change
// (the kind is shown only: a record's other fields mean something else per kind).
struct AttachmentFields {
    uint32_t kind = 0;
    shp::Vec3 position;
    uint32_t objectIndex = 0;  // kind 1: the attached-object table
    uint32_t gunType = 0;      // kind 3: the gun-type table
};

// The fields of a box record that the editor shows and lets the user change (its
// orientation is shown in the view only).
struct BoxFields {
    shp::Vec3 centre;
    shp::Vec3 halfExtents;
};

// Where a save over an existing model keeps the model's first state: NAME.bak
// beside it (the extension replaced).
std::filesystem::path backupPathFor(const std::filesystem::path& model);

// Whether a save that replaces a file first keeps that file's first state.
enum class Backup {
    None,
    // Copies the file about to be replaced to backupPathFor(file), unless that
    // backup exists already: the first state is kept however often it is saved.
    KeepFirstState,
};

// What changed, as told to the document's listeners.
enum class Change {
    Opened,    // a model was loaded
    Closed,    // the model was freed (also when an open fails after freeing it)
    Edited,    // the chain changed: an edit, a merge or replaceChain()
    Saved,     // written to fileName(), which may be a new name
    Modified,  // only the modified flag changed (setModified)
};

class Document {
public:
    explicit Document(Reporter& reporter) : reporter_(reporter) {}
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    // ---- files ---------------------------------------------------------------
    // Frees the current model, then loads `path`. The path becomes the current
    // file name even when the model came packed, so Save writes it back unpacked
    // under the chosen name.
    OpenResult open(const std::filesystem::path& path);

    // Frees the current model, then takes a model built in memory (an import) as
    // one that was never saved: no file name, modified. Loads nothing from an
    // empty chain (OpenResult::Empty).
    OpenResult adopt(shp::BlockChain chain);

    // Frees the model: nothing loaded.
    void close();

    // Adds the components of another model after this one's: the other model must
    // start with its ship header followed directly by its Type-1 block, and both
    // Type-1 tables must hold full 312-byte records. True when the model changed;
    // false when there was nothing to do (no model loaded, or the other model holds
    // no blocks), silently; an error when it was refused (reported). On any refusal
    // the model is exactly as before.
    Result<bool> merge(const std::filesystem::path& path);

    // Writes the chain and its terminator to the current file name through a
    // temporary file renamed over it. True when written; false when it failed
    // (reported as "Error saving file "%s"" followed by the system's reason) or when no model is
    // loaded or it has no file name yet (nothing to do, nothing said). On failure the target is
    // untouched and the model stays as it is. With Backup::KeepFirstState a failure to write the
    // backup is reported the same way, with the backup's name, and nothing is saved.
    bool save(Backup backup = Backup::None);
    // As save(), to another file, which becomes the current file name on success.
    bool saveAs(const std::filesystem::path& path, Backup backup = Backup::None);
    // The backup the last successful save made; empty when it made none.
    const std::filesystem::path& backupMade() const { return backupMade_; }

    // ---- state ---------------------------------------------------------------
    bool loaded() const { return loaded_; }
    bool wasPacked() const { return wasPacked_; }
    // Bytes that followed the terminator block in the file (not kept, not saved).
    uint64_t trailingBytes() const { return trailingBytes_; }
    const std::filesystem::path& fileName() const { return fileName_; }
    const shp::BlockChain& chain() const { return chain_; }
    // The chain with its index, for every lookup; valid until the next change.
    shp::ModelView model() const { return shp::ModelView(chain_, index_); }

    // Set by every change of the chain, cleared by open, close and save.
    bool modified() const { return modified_; }
    void setModified(bool modified);
    // Counts every change of the chain or of the loaded model, starting at 0.
    uint64_t version() const { return version_; }

    // Listeners are called on the document's thread after each change, in the order
    // they were added. The number returned removes the listener again.
    using Listener = std::function<void(Change)>;
    size_t addListener(Listener listener);
    void removeListener(size_t id);

    // Replaces the whole chain: an undo step putting back a snapshot taken as a copy
    // of chain(), or an edit the document has no operation for (a field of a record,
    // changed through a record view on a copy of chain()). Marks the document
    // modified and tells the listeners. Does nothing without a loaded model.
    void replaceChain(shp::BlockChain chain);

    // ---- lookups (silent) ----------------------------------------------------
    size_t componentCount() const { return model().componentCount(); }
    // The component list: one name per Type-1 record, in record order.
    std::vector<std::string> componentNames() const { return model().componentNames(); }
    shp::ComponentSummary summary(size_t k) const { return model().summary(k); }
    // Component k's attachment list; nothing without its type-9 block.
    std::optional<std::vector<std::string>> attachmentNames(size_t k) const {
        return model().attachmentNames(k);
    }
    // The editor's validity messages for component k (missing type-9, box, vertex
    // or face block), with their captions, in the order it shows them.
    std::vector<shp::Problem> validity(size_t k) const { return model().validity(k); }
    // The component table holds records of another size than 312 bytes: it is
    // shown and saved, but the editor changes none of its records.
    bool reducedComponentTable() const;
    // Component k's record fields; nothing past the table.
    std::optional<ComponentFields> componentFields(size_t k) const;
    // Box `index` of component k; nothing where there is no such record.
    std::optional<BoxFields> boxFields(size_t k, size_t index) const;
    // Attachment `index` of component k; nothing where there is no such record.
    std::optional<AttachmentFields> attachmentFields(size_t k, size_t index) const;

    // ---- edits ---------------------------------------------------------------
    // Each returns whether it changed the model (false: it was already so), or the
    // reason it was refused, which has been reported. A refused edit changes
    // nothing. Every change marks the document modified and tells the listeners.

    // Removes component k: its Type-1 record and its whole group of blocks (from its
    // type-2 block up to the next one). Refused for a reduced Type-1 table, and when
    // the group does not hold exactly the component's own type-7 and type-9
    // blocks, since later components would then pair with the wrong blocks.
    Result<bool> deleteComponent(size_t k);

    // Appends a copy of the default record of attachment kind 0-4 to component k's
    // type-9 block; returns the new attachment's index.
    Result<size_t> attach(size_t k, uint32_t kind);
    // Removes attachment `index` of component k.
    Result<bool> detach(size_t k, size_t index);

    // Byte 20 of the ship header record.
    Result<bool> setShipClass(uint8_t value);

    // Component k's block13 (in its own group, after its type-9 block): on holds
    // two records with the values 2 and 5, off holds none; the record size stays.
    Result<bool> setBlock13(size_t k, bool on);

    // Writes the fields of component k's record that differ from `fields` (floats
    // compared bit for bit, so an unchanged field keeps its exact bytes). Refused
    // for a reduced Type-1 table and for a name longer than kMaxComponentName bytes
    // or holding a zero byte.
    Result<bool> setComponentFields(size_t k, const ComponentFields& fields);

    // Writes the position, object index and gun type of attachment `index` of
    // component k where they differ from `fields`; its kind stays. Refused for a
    // record too short to hold them.
    Result<bool> setAttachmentFields(size_t k, size_t index, const AttachmentFields& fields);

    // Writes the centre and half extents of box `index` of component k where they
    // differ from `fields`. Refused for a record too short to hold them.
    Result<bool> setBoxFields(size_t k, size_t index, const BoxFields& fields);
    // Appends a box to component k's box block and returns its index: a copy of the
    // component's last box, or, when it has none, a box along the component's axes
    // around its vertices (the other fields zero).
    Result<size_t> addBox(size_t k);
    // Removes box `index` of component k.
    Result<bool> removeBox(size_t k, size_t index);

private:
    Error refuse(const char* caption, const std::string& text);
    // Refuses unless a model is loaded and component k exists.
    std::optional<Error> refuseComponent(size_t k);
    // Component k's box block, or the refusal (reported).
    Result<size_t> boxBlock(size_t k);
    // After the chain changed: rebuilds the index, marks modified, notifies.
    void changed();
    void notify(Change change);

    Reporter& reporter_;
    shp::BlockChain chain_;
    shp::ChainIndex index_;
    std::filesystem::path fileName_;
    std::filesystem::path backupMade_;
    bool loaded_ = false;
    bool wasPacked_ = false;
    uint64_t trailingBytes_ = 0;
    bool modified_ = false;
    uint64_t version_ = 0;
    std::vector<std::pair<size_t, Listener>> listeners_;
    size_t nextListener_ = 1;
};

}  // namespace ov::model
