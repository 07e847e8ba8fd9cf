#pragma once
// A ship model as every tool of the kit reads it: loaded from a file's bytes,
// packed or plain; its chain indexed once; each component's blocks found by
// counting; a silent summary of each component and the problems the editor would
// show for it.
//
// Components are paired with their blocks by counting, not by position: component
// k owns the (k+1)-th type-2, type-7 and type-9 blocks of the chain, and its
// vertex, face and texture-name blocks are the first of types 4, 3 and 6 after its
// type-9 block.
//
// Nothing here talks to the user; every function is safe on hostile input and may
// run on any thread (a ChainIndex and a ModelView are read-only once built).

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "bytes.h"
#include "result.h"
#include "shp.h"

namespace ov::shp {

// Real models are a few hundred kilobytes; anything near this is not a model, and
// reading it whole would only waste memory.
inline constexpr uint64_t kMaxModelFile = uint64_t(256) << 20;

// ---- Loading --------------------------------------------------------------------------

struct LoadedModel {
    BlockChain chain;
    bool wasPacked = false;
    // Bytes after the terminator block: not part of the model, and not saved with it.
    uint64_t trailingBytes = 0;
};

// The unpacked bytes of a model file's bytes: the bytes themselves when they end
// with the terminator, else the unpacked bytes of one packed stream that holds an
// unpacked model. Errors are ErrorKind::BadData; their message is kNotShpText when
// the bytes are neither form, otherwise a sentence saying what is wrong.
Result<Bytes> unpackModel(ByteSpan data);

// Reads a model from a file's bytes, packed or not. Errors as unpackModel's, and
// (with the byte offset) for a chain that cannot be read.
Result<LoadedModel> readModel(ByteSpan data);

// readModel of a whole file of at most kMaxModelFile bytes. A file that cannot be
// read gives its own error kind (NotFound, OutOfRange for one too large,
// ReadFailed); the others are readModel's.
Result<LoadedModel> loadModelFile(const std::filesystem::path& path);

// ---- The index ------------------------------------------------------------------------

// The positions of every block type in a chain, built once in one pass, so that the
// n-th block of a type is found in constant time and the first block of a type
// after a given block in logarithmic time. An index describes the chain it was
// built from as it was then: rebuild it after the chain changes.
class ChainIndex {
public:
    ChainIndex() = default;
    explicit ChainIndex(const BlockChain& chain);

    std::optional<size_t> nth(uint32_t type, size_t n) const;
    std::optional<size_t> firstAfter(size_t after, uint32_t type) const;
    size_t count(uint32_t type) const;
    // The last type-1 block.
    std::optional<size_t> componentTable() const;

private:
    const std::vector<size_t>* positions(uint32_t type) const;

    // The types the lookups ask for are all small: their positions sit in an array,
    // found without hashing. Any other type a file holds goes to the map.
    static constexpr uint32_t kDirectTypes = 16;
    std::array<std::vector<size_t>, kDirectTypes> small_;
    std::unordered_map<uint32_t, std::vector<size_t>> byType_;
};

// ---- Components -----------------------------------------------------------------------

inline constexpr const char* kMissingType9Caption = "Uh oh...";
inline constexpr const char* kMissingType9Text =
    "This SHP file seems to be missing one or more Type9 blocks. Ships should always have one "
    "Type9 block per object, even if it's empty (number == 0)";
inline constexpr const char* kMissingBoxesCaption = "Uh oh...";
inline constexpr const char* kMissingBoxesText =
    "This SHP file seems to be missing it's box structure.";
inline constexpr const char* kEmptyGeometryCaption = "ERROR";
inline constexpr const char* kEmptyGeometryText = "Empty vertices or face block!";

// Indices of component k's blocks in the chain; nothing where the chain has none.
struct ComponentBlocks {
    std::optional<size_t> opener;       // the (k+1)-th type-2 block
    std::optional<size_t> boxes;        // the (k+1)-th type-7 block
    std::optional<size_t> attachments;  // the (k+1)-th type-9 block
    std::optional<size_t> vertices;     // first type 4 after the type-9 block
    std::optional<size_t> faces;        // first type 3 after the type-9 block
    std::optional<size_t> textures;     // first type 6 after the type-9 block
    // In the component's own group: after its type-9 block, before the next type-2.
    std::optional<size_t> block13;
    std::optional<size_t> block14;

    bool operator==(const ComponentBlocks&) const = default;
};

// What the editor shows of one component, found without a word to the user.
struct ComponentSummary {
    // From the Type-1 record (fields the record is too short for read as 0).
    std::string name;
    uint32_t kind = 0;
    Vec3 position;
    uint32_t value212 = 0;
    uint32_t switch240 = 0;
    uint32_t value260 = 0;

    ComponentBlocks blocks;
    // Record counts of the blocks; nothing where the block is missing.
    std::optional<size_t> vertices, faces, textures;
    std::optional<size_t> attachments, boxes;
    // On (it holds values), off (empty), or nothing when the component has none.
    std::optional<bool> block13;
    bool block14 = false;
};

// One thing wrong with a model, with the caption and text the editor shows for it.
struct Problem {
    int component = -1;  // -1: the model as a whole, or the components counted in `more`
    std::string caption;
    std::string text;
    // In check()'s list: this many further components have this problem and are not
    // listed one by one (component is then -1).
    size_t more = 0;
};

// Text of a texture-name record: the name up to its zero byte.
std::string textureName(const Block& block, size_t i);

// A chain and its index, read together. Both must outlive the view and stay as
// they were while it is used.
class ModelView {
public:
    ModelView(const BlockChain& chain, const ChainIndex& index) : chain_(chain), index_(index) {}

    const BlockChain& chain() const { return chain_; }
    const ChainIndex& index() const { return index_; }

    std::optional<size_t> componentTable() const { return index_.componentTable(); }
    // Number of records in the Type-1 block, 0 without one.
    size_t componentCount() const;
    // The Type-1 record of component k; nothing past the table.
    std::optional<ConstComponentView> component(size_t k) const;
    // One name per Type-1 record, in record order.
    std::vector<std::string> componentNames() const;

    ComponentBlocks locate(size_t k) const;
    // Component k's group of blocks as [first, last): from its type-2 block up to the
    // next type-2 block or the end of the chain.
    std::optional<std::pair<size_t, size_t>> group(size_t k) const;
    ComponentSummary summary(size_t k) const;
    // The attachment list of component k; nothing without its type-9 block.
    std::optional<std::vector<std::string>> attachmentNames(size_t k) const;

    // The editor's validity tests for component k, in the order it would show them:
    // a missing type-9 block, a missing box block, and (when the type-9 block is
    // there) a missing vertex or face block.
    std::vector<Problem> validity(size_t k) const;
    // validity(k), then every face checked against the component's blocks: vertex
    // and texture indices in range, records long enough to hold the fields read.
    // Faces beyond the first few faulty ones are summed up in one line.
    std::vector<Problem> problems(size_t k) const;
    // A missing component table, then problems(k) of every component. Components
    // that share their geometry blocks have those faces checked once. Each problem
    // is listed for its first kListedPerProblem components; the others that have it
    // are counted in one more entry (Problem::more), so that a table claiming tens
    // of thousands of broken components gives a list a person can read.
    std::vector<Problem> check() const;
    static constexpr size_t kListedPerProblem = 100;

private:
    const BlockChain& chain_;
    const ChainIndex& index_;
};

// check() of a chain without an index of its own.
std::vector<Problem> checkModel(const BlockChain& chain);

}  // namespace ov::shp
