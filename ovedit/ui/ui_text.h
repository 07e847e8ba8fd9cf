#pragma once
// Small conversions between the libraries' texts and Qt's, shared by OVEdit's windows.

#include <QLocale>
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ui/paths.h"

namespace ov::edit {

// Archive entry names are bytes, one character per byte.
inline QString fromEntryName(std::string_view name) {
    return QString::fromLatin1(name.data(), qsizetype(name.size()));
}

// Messages and other library texts are UTF-8.
inline QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), qsizetype(text.size()));
}

// Paths go through the shared conversion (Unicode, never the local code page).
using desktop::toPathText;
inline QString fromPath(const std::string& path) {
    return desktop::fromPathText(path);
}

// "12,345", grouped as the editor shows sizes.
inline QString groupedNumber(uint64_t n) {
    static const QLocale english(QLocale::English, QLocale::UnitedStates);
    return english.toString(qulonglong(n));
}

}  // namespace ov::edit
