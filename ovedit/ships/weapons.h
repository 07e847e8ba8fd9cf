#pragma once
// The weapons and the class byte of ship models, as the ship stats and weapons
// tab changes them.
//
// A ship's model is the loose copy in the game's ships\ folder when there is one,
// otherwise the item of resource.hog with the same file name, unpacked. A changed
// model is always written as a loose, unpacked file in ships\ (the archive is
// never written); before the first change of a model its unchanged bytes are kept
// beside it as NAME.bak, and an existing .bak is never replaced, so it always
// holds the model from before the first change.
//
// Weapon points are the attachments of kind 0 (missile mount), 1 (external gun)
// and 3 (gun) of every component, in component order and, within a component, in
// the order of its attachment block. A change writes one 32-bit field of the
// chosen points:
//
//   gun           kind 3, gun type at record offset 100
//   external gun  kind 1, attached-object index at record offset 52
//   missile mount kind 0, missile type at record offset 56
//
// The standard and the Tiger model of a ship correspond when they have the same
// number of components, and each component the same attachment kinds in the same
// order; weapon point n of one is then weapon point n of the other.
//
// Models are read through the model core (common/shp_model.h) and their fields
// through shp::AttachmentView. The core here (shipClassOf, toggleCloak,
// loadShipModel, weaponEntries and the names) says nothing and may run on any
// thread; IsCapitalShip, IsCloaked, ToggleCloak, ChangeWeapons and RestoreWeapons
// report every failure exactly once and return whether they went through.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/bytes.h"
#include "common/report.h"
#include "common/result.h"
#include "common/shp.h"
#include "ship_table.h"

namespace ov::ships {

namespace fs = std::filesystem;

// ---- The class byte (offset 26 of an unpacked model) -----------------------------

// 0 fighter, 1/3/5 capital ship, 2 fighter with cloak.
bool isCapitalClass(uint8_t shipClass);
bool isCloakedClass(uint8_t shipClass);

// The class byte of a model file: read in place from an unpacked model, from the
// unpacked bytes of a packed one. Errors: NotFound, BadData ("PATH: " followed by
// the "doesn't appear to be" text) for a file that is no model, and the kinds of
// a failed read.
Result<uint8_t> shipClassOf(const fs::path& modelPath);

// Writes 2 when the class byte is not 2, else 0, touching no other byte; returns
// the new value. A packed model is refused (Refused), as a byte written into its
// packed stream would break it.
Result<uint8_t> toggleCloak(const fs::path& modelPath);

// shipClassOf with its messages under `title`: "Error - file not found", or the
// reason the file is not a model. Nothing when the class byte cannot be read.
std::optional<uint8_t> readShipClass(std::string_view modelPath, const char* title,
                                     Reporter& reporter);

// True when the class byte is 1, 3 or 5. Title "IsCapitalShip". A model whose
// class byte cannot be read counts as false after its message; a caller that must
// tell the two apart uses readShipClass.
bool IsCapitalShip(std::string_view modelPath, Reporter& reporter);
// True when the class byte is 2. Title "IsCloaked"; otherwise as IsCapitalShip.
bool IsCloaked(std::string_view modelPath, Reporter& reporter);
// toggleCloak with its messages under "IsCloaked".
bool ToggleCloak(std::string_view modelPath, Reporter& reporter);

// ---- Weapon points -----------------------------------------------------------------

enum class WeaponSort : uint32_t { Missile = 0, ExternalGun = 1, Gun = 3 };

// The field each sort's changes write (see shp::AttachmentView).
inline constexpr size_t kGunTypeField = shp::kGunTypeField;
inline constexpr size_t kExternalGunField = shp::kObjectIndexField;
inline constexpr size_t kMissileTypeField = shp::kMissileTypeField;
inline constexpr uint32_t kMissileTypeCount = 16;

struct WeaponEntry {
    uint32_t kind = 0;        // 0, 1 or 3
    uint32_t typeId = 0;      // the 32-bit field the sort's changes write
    size_t component = 0;     // component number
    size_t attachment = 0;    // record number in the component's attachment block
    size_t recordOffset = 0;  // byte offset of the attachment record in the model
    size_t recordSize = 0;
};

// The attachment kinds of each component: the (k+1)-th attachment block belongs to
// component k, for as many components as the component table counts and the
// chain has attachment blocks. Records too short to hold a kind count as kind
// 0xFFFFFFFF.
std::vector<std::vector<uint32_t>> attachmentLayout(const shp::BlockChain& chain);

// The weapon points of a model read from bytes (record offsets refer to those
// bytes). Points whose record is too short for the sort's field are left out.
std::vector<WeaponEntry> weaponEntries(const shp::BlockChain& chain);
// The type id a point's record holds: the field its kind's changes write.
uint32_t weaponTypeId(const shp::ConstAttachmentView& record);

bool modelsCorrespond(const shp::BlockChain& a, const shp::BlockChain& b);

// "Unspecified Gun", "Laser", ... "Coalition Huge Gun" for 0-15, else "Unknown Gun".
const char* gunMenuName(uint32_t id);
// "Pulse Cannon", ... "Laser Cannon Type 4" for 0-7, "Laser Cannon Type 5" for
// 11, else "Unknown".
const char* externalGunMenuName(uint32_t id);
// "Missile type N" for 0-15, else "Unknown Missile".
std::string missileMenuName(uint32_t id);
// The weapons list's text for a point.
std::string weaponName(const WeaponEntry& entry);
// "Gun", "External gun", "Missile mount".
const char* weaponSortName(WeaponSort sort);
// Whether the sort's menu offers this id.
bool isOfferedType(WeaponSort sort, uint32_t id);

// ---- Models of the game folder -------------------------------------------------------

struct ShipModel {
    std::string name;  // as in the ship table
    Bytes original;    // as found: the loose file, or the archive item unpacked
    Bytes unpacked;    // the model's unpacked bytes
    shp::BlockChain chain;
    bool fromArchive = false;  // else the loose copy in the ships folder
};

// The model named `modelName` (a plain file name): the loose copy in ships\ first,
// else the resource.hog item. Fails when neither exists or the bytes are no model.
Result<ShipModel> loadShipModel(const fs::path& gameFolder, std::string_view modelName);

// NAME.bak for NAME.shp (or NAME).
std::string backupName(std::string_view modelName);

// The model's loose file in ships\ when there is one (packed or not); else the
// archive's item unpacked into `scratchFolder` under its own name, written through
// a temporary file. The game folder is never written. For handing a model to a
// program that opens files.
Result<fs::path> shipModelFile(const fs::path& gameFolder, std::string_view modelName,
                               const fs::path& scratchFolder);

// The model's loose, unpacked file in ships\, made first when the model is only in
// the archive or its loose copy is packed: the unchanged bytes are kept as NAME.bak
// (unless one is there) and the unpacked model written as the loose file, as a
// weapon change does. For changes made in place, such as the cloak.
Result<fs::path> looseShipModel(const fs::path& gameFolder, std::string_view modelName);

// Sets the chosen weapon points (indexes into weaponEntries of the standard model)
// of the given sort to `typeId`, in the standard and, when the ship has one, the
// Tiger model, and writes both as loose files. Points of another sort are left
// alone. Refused with a message and nothing written when a point does not exist,
// none is of the sort, the type is not offered, a model cannot be found or read,
// or the two models do not correspond ("Error - standard ship and Tiger ship
// attachments don't match", title "OV Edit", critical).
bool ChangeWeapons(std::string_view gameFolder, const Ship& ship, WeaponSort sort, uint32_t typeId,
                   std::span<const size_t> points, Reporter& reporter);

// Puts the models of the ship at `position` back: from NAME.bak in ships\ when it
// exists and corresponds to the current model, else from the editor's
// addons\ships\ copy; the Tiger model likewise when it has a .bak. Messages: the
// too-different message (title "OV Edit"), "No suitable original can be found"
// (title "RestoreWeapons").
bool RestoreWeapons(std::string_view gameFolder, std::string_view editorFolder,
                    const ShipTable& table, size_t position, Reporter& reporter);

}  // namespace ov::ships
