#pragma once
// The model document of the component editor: one SHP model in memory, the file it
// came from, and the selections that the viewer and the editing panels share.
//
// Every operation reports to the user through ov::Reporter with the editor's own
// captions ("Uh oh...", "Something went wrong...", "Warning!", "ERROR") and abandons
// what it was doing; it never leaves the chain half changed. Packed models are
// unpacked in memory: no temporary file is ever written while opening.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "common/report.h"
#include "common/shp.h"
#include "ovtool/model/components.h"

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

// A model read from a file, before it becomes a document's.
struct LoadedModel {
    shp::BlockChain chain;
    bool wasPacked = false;
};

// Reads a model file, packed or not, and says why when it cannot: an unreadable
// file gives "Error opening %s!"; a file that is neither an unpacked SHP nor one
// packed stream, or whose chain cannot be read, gives the "doesn't appear to be"
// message (followed by where the data ends when the chain is truncated). A packed
// file is announced with the "Compressed SHP file?" message first. Safe on hostile
// input.
std::optional<LoadedModel> loadModel(const std::filesystem::path& path, Reporter& reporter);

class Document {
public:
    explicit Document(Reporter& reporter) : reporter_(reporter) {}

    // Frees the current model, then loads `path`. The path becomes the current
    // file name even when the model came packed, so Save writes it back unpacked
    // under the chosen name. Returns whether a model is loaded afterwards (a file
    // whose chain has no blocks loads nothing, silently).
    bool open(const std::filesystem::path& path);

    // Frees the model; nothing loaded, nothing selected.
    void close();

    // Adds the components of another model after this one's: the other model must
    // start with its ship header followed directly by its Type-1 block, and both
    // Type-1 tables must hold full 312-byte records. Returns whether the model
    // changed; on any refusal it is exactly as before.
    bool merge(const std::filesystem::path& path);

    // Writes the chain and its terminator to the current file name through a
    // temporary file renamed over it. Does nothing without a model. On failure the
    // target is untouched and the model stays as it is.
    bool save();
    // As save(), to another file, which becomes the current file name on success.
    bool saveAs(const std::filesystem::path& path);

    bool loaded() const { return loaded_; }
    bool wasPacked() const { return wasPacked_; }
    const std::filesystem::path& fileName() const { return fileName_; }
    const shp::BlockChain& chain() const { return chain_; }
    shp::BlockChain& chain() { return chain_; }

    // Selections shared with the viewer and the panels; -1 for none.
    int selectedComponent() const { return selectedComponent_; }
    int selectedAttachment() const { return selectedAttachment_; }
    void selectComponent(int k) {
        selectedComponent_ = k;
        selectedAttachment_ = -1;
    }
    void selectAttachment(int i) { selectedAttachment_ = i; }

    // ---- lookups -----------------------------------------------------------
    // Index of the Type-1 block (the last one in the chain).
    std::optional<size_t> componentTable() const { return chain_.componentTable(); }
    size_t componentCount() const;
    // The component list: one name per Type-1 record, in record order.
    std::vector<std::string> componentNames() const;
    // The n-th (0-based) block of a type.
    std::optional<size_t> nthBlock(uint16_t type, size_t n) const { return chain_.nth(type, n); }
    // The Type-1 record of component k; the view is valid until the chain changes.
    std::optional<shp::ComponentView> component(size_t k);

    // ---- validity tests: each reports its own message when it fails ----------
    // The (k+1)-th type-9 block, which also becomes the current type-9 block.
    std::optional<size_t> attachmentBlock(size_t k);
    // The (k+1)-th type-7 block.
    std::optional<size_t> boxBlock(size_t k);
    struct Geometry {
        size_t vertices;
        size_t faces;
        std::optional<size_t> textures;
    };
    // Component k's vertex and face blocks (and texture names, when present): the
    // first of each type after its type-9 block.
    std::optional<Geometry> geometry(size_t k);
    // The first block of type 3, 4 or 6 (or any other) after the current type-9
    // block; nothing when no type-9 block has been looked up.
    std::optional<size_t> afterCurrentAttachments(uint16_t type) const;

    // The attachment list of component k (reports a missing type-9 block).
    std::vector<std::string> attachmentNames(size_t k);

    // ---- editing -----------------------------------------------------------
    // Removes component k: its Type-1 record and its whole group of blocks (from its
    // type-2 block up to the next one). Refused for a reduced Type-1 table, and when
    // the group does not hold exactly the component's own type-7 and type-9
    // blocks, since later components would then pair with the wrong blocks.
    // Resets the selections.
    bool deleteComponent(size_t k);

    // Appends a copy of the default record of attachment kind 0-4 to component k's
    // type-9 block; returns the new attachment's index.
    std::optional<size_t> attach(size_t k, uint32_t kind);
    // Removes attachment `index` of component k.
    bool detach(size_t k, size_t index);

    // Byte 20 of the ship header record.
    bool setShipClass(uint8_t value);

    // Component k's block13 (in its own group, after its type-9 block): on holds
    // two records with the values 2 and 5, off holds none; the record size stays.
    bool setBlock13(size_t k, bool on);

private:
    void report(const char* caption, const std::string& text, Icon icon);

    Reporter& reporter_;
    shp::BlockChain chain_;
    std::filesystem::path fileName_;
    bool loaded_ = false;
    bool wasPacked_ = false;
    int selectedComponent_ = -1;
    int selectedAttachment_ = -1;
    // The current component's type-9 block, set by attachmentBlock().
    std::optional<size_t> current9_;
};

}  // namespace ov::model
