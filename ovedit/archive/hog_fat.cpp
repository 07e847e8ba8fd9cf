// FAT backup, restore and in-place editing. The archive is never rebuilt: every
// change writes a few bytes of the FAT where they are, and the FAT's length never
// changes.

#include <cstring>

#include "common/fileio.h"
#include "hog.h"
#include "hog_internal.h"

namespace ov::archive {

namespace {

constexpr const char* kEditorTitle = "Table Editor";

void reloadAfterWrite(HogArchive& archive, Reporter& reporter) {
    if (auto st = archive.reload(); !st)
        reporter.message("OV Edit", "Error - can't read the FAT again: " + st.error().describe(),
                         Icon::Critical);
}

bool fatRegionFits(const HogArchive& archive) {
    return archive.fatLength() >= kHeaderSize && archive.fatLength() <= archive.fileSize();
}

}  // namespace

bool backupFat(HogArchive& archive, Reporter& reporter) {
    const fs::path backup = archive.backupPath();
    std::error_code ec;
    if (fs::exists(backup, ec)) {
        Answer a = reporter.question("Backup FAT table",
                                     "A hog FAT backup file already exists at this location.\n"
                                     "Do you want to overwrite this file?",
                                     Buttons::YesNo, Icon::Question);
        if (a != Answer::Yes) return false;
    }
    auto cantCreate = [&](const std::string& why) {
        reporter.message("Error", "Couldn't create FAT backup file.\n\n" + why, Icon::Critical);
        return false;
    };
    // A FAT length the file cannot hold would make a backup that restores garbage.
    if (!fatRegionFits(archive))
        return cantCreate("The FAT length in this hog file's header (" +
                          std::to_string(archive.fatLength()) + ") doesn't fit the file.");
    auto region = readFileAt(archive.path(), 0, archive.fatLength());
    if (!region) return cantCreate(region.error().describe());
    if (region->size() != archive.fatLength()) return cantCreate("The hog file ends first.");
    if (auto st = writeFileAtomic(backup, *region); !st) return cantCreate(st.error().describe());
    return true;
}

namespace {

// Why the backup cannot go back over this archive's FAT, or nothing when it can: it
// must be a FAT backup whose header states the archive's own size and FAT length,
// and every entry it holds must lie inside the archive. A backup of another archive
// would make this one list the other's entries at offsets that hold something else.
std::optional<std::string> foreignBackup(const HogArchive& archive, ByteSpan saved,
                                         uint32_t length) {
    if (saved.size() < kHeaderSize || std::memcmp(saved.data(), "BIGF", 4) != 0)
        return "The restore file is not a hog FAT backup. Restore aborted.";
    if (saved.size() < length)
        return "The restore file is shorter than the FAT of this hog file (" +
               std::to_string(length) + " bytes). Restore aborted.";
    auto own = readFileAt(archive.path(), 0, kHeaderSize);
    if (!own || own->size() < kHeaderSize)
        return "This hog file's header can't be read. Restore aborted.";
    const uint32_t hogSize = loadU32BE(own->data() + 4);
    const uint32_t savedSize = loadU32BE(saved.data() + 4);
    const uint32_t savedLength = loadU32BE(saved.data() + 12);
    if (savedSize != hogSize || savedLength != length)
        return "The restore file is the FAT backup of another hog file (it states a size of " +
               std::to_string(savedSize) + " bytes and a FAT of " + std::to_string(savedLength) +
               " bytes; this hog file " + std::to_string(hogSize) + " and " +
               std::to_string(length) + "). Restore aborted.";
    std::vector<HogEntry> entries;
    walkFat(saved.first(length), kHeaderSize, loadU32BE(saved.data() + 8), entries);
    for (size_t i = 0; i < entries.size(); ++i)
        if (uint64_t(entries[i].offset) + entries[i].size > archive.fileSize())
            return "Entry " + std::to_string(i + 1) + " of the restore file (\"" +
                   printable(entries[i].name) +
                   "\") points past the end of this hog file. Restore aborted.";
    return std::nullopt;
}

}  // namespace

bool restoreFat(HogArchive& archive, Reporter& reporter) {
    const fs::path backup = archive.backupPath();
    std::error_code ec;
    if (!fs::is_regular_file(backup, ec)) {
        reporter.message("Error", "Restore file can't be found. Restore aborted.", Icon::Critical);
        return false;
    }
    // The archive's own FAT length: the header values of an archive opened through
    // its companion came from the companion.
    auto own = readFileAt(archive.path(), 0, kHeaderSize);
    const uint32_t length =
        own && own->size() >= kHeaderSize ? loadU32BE(own->data() + 12) : archive.fatLength();
    if (length < kHeaderSize || length > archive.fileSize()) {
        reporter.message("Error",
                         "The FAT length in this hog file's header (" + std::to_string(length) +
                             ") doesn't fit the file. Restore aborted.",
                         Icon::Critical);
        return false;
    }
    auto saved = readFileAt(backup, 0, length);
    if (!saved) {
        reporter.message("Error", "Restore file can't be read. Restore aborted.", Icon::Critical);
        return false;
    }
    if (auto why = foreignBackup(archive, *saved, length)) {
        reporter.message("Error", *why, Icon::Critical);
        return false;
    }
    Answer a = reporter.question(
        "Hog File Allocation Table Restore",
        "Restoring the FAT table will overwrite any changes made to the table in this"
        " hog file from the hog editor. It can't restore damage done to the hog from"
        " other apps. and it can CAUSE INTERFERENCE with the ship switcher if enabled.",
        Buttons::YesNo, Icon::Question);
    if (a != Answer::Yes) return false;
    auto lock = lockOpenArchive(archive);
    if (!lock) {
        reporter.message("Error", "Error - " + lock.error().describe(), Icon::Critical);
        return false;
    }
    if (auto st = writeFileAt(archive.path(), 0, *saved); !st) {
        reporter.message("Error", "Error - " + st.error().describe(), Icon::Critical);
        return false;
    }
    reloadAfterWrite(archive, reporter);
    return true;
}

bool pasteEntry(HogArchive& archive, size_t from, size_t to, Reporter& reporter) {
    const auto& entries = archive.entries();
    if (from >= entries.size() || to >= entries.size()) {
        reporter.message("OV Edit", "Error - no such entry in the FAT", Icon::Exclamation);
        return false;
    }
    const uint32_t source = entries[from].entryPos;
    const uint32_t target = entries[to].entryPos;
    auto lock = lockOpenArchive(archive);
    if (!lock) {
        reporter.message("OV Edit", "Error - " + lock.error().describe(), Icon::Critical);
        return false;
    }
    auto pointer = readFileAt(archive.path(), source, 8);
    auto current = readFileAt(archive.path(), target, 8);
    if (!pointer || pointer->size() != 8 || !current || current->size() != 8) {
        reporter.message("OV Edit", "Error - can't read the FAT of " + pathText(archive.path()),
                         Icon::Critical);
        return false;
    }
    if (*pointer == *current) return true;  // onto itself, or already pointing there
    if (auto st = writeFileAt(archive.path(), target, *pointer); !st) {
        reporter.message("OV Edit", "Error - " + st.error().describe(), Icon::Critical);
        return false;
    }
    reloadAfterWrite(archive, reporter);
    return true;
}

std::optional<uint32_t> parseHex(std::string_view text) {
    if (text.empty() || text.size() > 8) return std::nullopt;
    uint32_t v = 0;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            return std::nullopt;
        v = (v << 4) | uint32_t(d);
    }
    return v;
}

bool saveEntry(HogArchive& archive, size_t row, std::string_view name, std::string_view offsetHex,
               std::string_view sizeHex, Reporter& reporter) {
    if (row >= archive.entries().size()) {
        reporter.message(kEditorTitle, "Error - no such entry in the FAT", Icon::Exclamation);
        return false;
    }
    const HogEntry& e = archive.entries()[row];
    if (name.size() != e.name.size()) {
        reporter.message(kEditorTitle,
                         "The name of the file MUST be the same length or the\n"
                         "entire .hog file will have to be rebuilt. Changes not saved",
                         Icon::Exclamation);
        return false;
    }
    if (name.find('\0') != std::string_view::npos) {
        reporter.message(kEditorTitle,
                         "The name of the file can't contain a zero byte. Changes not saved",
                         Icon::Exclamation);
        return false;
    }
    auto offset = parseHex(trim(offsetHex));
    if (!offset) {
        reporter.message(kEditorTitle,
                         "The value entered for offset is an invalid hexadecimal number",
                         Icon::Exclamation);
        return false;
    }
    auto size = parseHex(trim(sizeHex));
    if (!size) {
        reporter.message(kEditorTitle,
                         "The value entered for size is an invalid hexadecimal number",
                         Icon::Exclamation);
        return false;
    }
    if (uint64_t(*offset) + *size > archive.fileSize()) {
        reporter.message(kEditorTitle,
                         "The offset and size point past the end of the hog file (" +
                             std::to_string(archive.fileSize()) + " bytes). Changes not saved",
                         Icon::Exclamation);
        return false;
    }
    ByteWriter w(8 + name.size());
    w.u32be(*offset);
    w.u32be(*size);
    w.bytes(ByteSpan(reinterpret_cast<const uint8_t*>(name.data()), name.size()));
    auto lock = lockOpenArchive(archive);
    if (!lock) {
        reporter.message(kEditorTitle, "Error - " + lock.error().describe(), Icon::Critical);
        return false;
    }
    if (auto st = writeFileAt(archive.path(), e.entryPos, w.buffer()); !st) {
        reporter.message(kEditorTitle, "Error - " + st.error().describe(), Icon::Critical);
        return false;
    }
    reloadAfterWrite(archive, reporter);
    return true;
}

}  // namespace ov::archive
