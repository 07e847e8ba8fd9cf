#include "game_files.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "common/fileio.h"

namespace ov::ships {

namespace {

// Splits on both separators; fails on a component that is empty, "." or "..", or
// carries a drive colon.
std::optional<std::vector<std::string>> splitRelative(std::string_view relative) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (size_t i = 0; i <= relative.size(); ++i) {
        if (i < relative.size() && relative[i] != '\\' && relative[i] != '/') continue;
        std::string_view part = relative.substr(start, i - start);
        if (!isPlainFileName(part)) return std::nullopt;
        parts.emplace_back(part);
        start = i + 1;
    }
    return parts;
}

// The entry of `dir` named `name` ignoring case: the exact spelling when it exists,
// else the first match in sorted order so the choice does not depend on the order
// in which the folder lists its entries.
std::optional<fs::path> matchEntry(const fs::path& dir, const std::string& name) {
    std::error_code ec;
    fs::path exact = dir / pathFromText(name);
    if (fs::exists(fs::symlink_status(exact, ec))) return exact;
    std::optional<std::string> best;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = pathText(it->path().filename());
        if (sameNameIgnoringCase(entry, name) && (!best || entry < *best)) best = entry;
    }
    if (!best) return std::nullopt;
    return dir / pathFromText(*best);
}

}  // namespace

bool isPlainFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") return false;
    return name.find_first_of("\\/:") == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

std::optional<fs::path> findInFolder(const fs::path& root, std::string_view relative) {
    auto parts = splitRelative(relative);
    if (!parts) return std::nullopt;
    fs::path at = root;
    for (const auto& part : *parts) {
        std::error_code ec;
        if (!fs::is_directory(at, ec)) return std::nullopt;
        auto next = matchEntry(at, part);
        if (!next) return std::nullopt;
        at = *next;
    }
    return at;
}

std::optional<fs::path> pathInFolder(const fs::path& root, std::string_view relative) {
    auto parts = splitRelative(relative);
    if (!parts || parts->empty()) return std::nullopt;
    std::string last = parts->back();
    parts->pop_back();
    fs::path at = root;
    for (const auto& part : *parts) {
        std::error_code ec;
        if (!fs::is_directory(at, ec)) return std::nullopt;
        auto next = matchEntry(at, part);
        if (!next) return std::nullopt;
        at = *next;
    }
    std::error_code ec;
    if (!fs::is_directory(at, ec)) return std::nullopt;
    auto existing = matchEntry(at, last);
    return existing ? *existing : at / pathFromText(last);
}

}  // namespace ov::ships
