#pragma once
// Binds the converter library at run time, as the data editor does: by the
// library's file name and the export's name. A missing library or export is an
// error that names what was missing; nothing is called then.

#include <filesystem>
#include <string>

#include "3ds2ov/convert3ds2ov.h"
#include "common/result.h"

namespace ov {

class ConverterLibrary {
public:
#if defined(_WIN32)
    static constexpr const char* kFileName = "3ds2ov.dll";
#elif defined(__APPLE__)
    static constexpr const char* kFileName = "lib3ds2ov.dylib";
#else
    static constexpr const char* kFileName = "lib3ds2ov.so";
#endif
    static constexpr const char* kExportName = "convert3ds2ov";

    // Loads the library file and looks up the export.
    static Result<ConverterLibrary> load(const std::filesystem::path& file,
                                         const char* exportName = kExportName);

    ConverterLibrary(ConverterLibrary&& other) noexcept;
    ConverterLibrary& operator=(ConverterLibrary&& other) noexcept;
    ConverterLibrary(const ConverterLibrary&) = delete;
    ConverterLibrary& operator=(const ConverterLibrary&) = delete;
    ~ConverterLibrary();

    // Runs one conversion; returns the library's result code (0 = SHP written).
    int convert(const std::string& inputPath, const std::string& textureName,
                const std::string& shpPath) const;

private:
    ConverterLibrary(void* handle, Convert3ds2ovFn fn) : handle_(handle), fn_(fn) {}

    void* handle_ = nullptr;
    Convert3ds2ovFn fn_ = nullptr;
};

}  // namespace ov
