#pragma once
// Finding a component's blocks in a model and checking that they are all there.
//
// Components are paired with their blocks by counting, not by position: component
// k owns the (k+1)-th type-2, type-7 and type-9 blocks of the chain, and its
// vertex, face and texture-name blocks are the first of types 4, 3 and 6 after its
// type-9 block. Every function here only reads the chain.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/shp.h"

namespace ov::model {

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
};
ComponentBlocks locate(const shp::BlockChain& chain, size_t k);

// Component k's group of blocks as [first, last): from its type-2 block up to the
// next type-2 block or the end of the chain.
std::optional<std::pair<size_t, size_t>> componentGroup(const shp::BlockChain& chain, size_t k);

// Number of records in the Type-1 block, 0 without one.
size_t componentCount(const shp::BlockChain& chain);

// Text of a texture-name record: the name up to its zero byte.
std::string textureName(const shp::Block& block, size_t i);

struct Problem {
    int component = -1;  // -1: the model as a whole
    std::string caption;
    std::string text;
};

// Runs every validity test on every component (missing type-9, type-7, vertex or
// face block), and checks every face against its component's blocks: vertex and
// texture indices in range, records long enough to hold the fields read. Faces
// beyond the first few faulty ones of a component are summed up in one line.
std::vector<Problem> checkModel(const shp::BlockChain& chain);

}  // namespace ov::model
