#pragma once
// Paths between Qt's text and the libraries'. The libraries take paths as UTF-8
// text or as std::filesystem::path; Qt holds them as UTF-16. Both conversions go
// through Unicode, never through the local 8-bit code page, so a game folder
// named in Cyrillic, Greek or Japanese opens on Windows as it does elsewhere.

#include <QDir>
#include <QString>
#include <filesystem>
#include <string>

#include "common/fileio.h"

namespace ov::desktop {

// A path typed or chosen in a window, as the libraries' path text (UTF-8).
inline std::string toPathText(const QString& path) {
    return path.toStdString();
}

// In Qt's form, with '/' between names: a library's join on Windows puts a backslash
// before the last name, and Qt compares and shows paths in one form only.
inline QString fromPathText(const std::string& path) {
    return QDir::fromNativeSeparators(QString::fromStdString(path));
}

inline std::filesystem::path toPath(const QString& path) {
    return ov::pathFromText(toPathText(path));
}

inline QString fromPath(const std::filesystem::path& path) {
    return fromPathText(ov::pathText(path));
}

}  // namespace ov::desktop
