#pragma once
// Binds the converter library at run time, as the data editor does: by the
// library's file name and the export's name. A missing library or export is an
// error that names what was missing; nothing is called then.
//
// Finding, loading and the texts of the result codes say nothing to the user and
// may run on any thread. The converter itself prints its progress to the process's
// standard output; make one conversion at a time.

#include <filesystem>
#include <string>
#include <vector>

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

    // Loads the library file and looks up the export. Errors: ReadFailed (the file
    // cannot be loaded), BadData (it has no such export).
    static Result<ConverterLibrary> load(const std::filesystem::path& file,
                                         const char* exportName = kExportName);

    ConverterLibrary(ConverterLibrary&& other) noexcept;
    ConverterLibrary& operator=(ConverterLibrary&& other) noexcept;
    ConverterLibrary(const ConverterLibrary&) = delete;
    ConverterLibrary& operator=(const ConverterLibrary&) = delete;
    ~ConverterLibrary();

    // Runs one conversion; returns the library's result code (0 = SHP written; see
    // converterResultText).
    int convert(const std::string& inputPath, const std::string& textureName,
                const std::string& shpPath) const;

private:
    ConverterLibrary(void* handle, Convert3ds2ovFn fn) : handle_(handle), fn_(fn) {}

    void* handle_ = nullptr;
    Convert3ds2ovFn fn_ = nullptr;
};

// The environment variable that names the converter library to use.
inline constexpr const char* kConverterLibraryVariable = "OV_3DS2OV_LIBRARY";

// Where the converter library is looked for, best first: `given` alone when it is
// set (the user's choice); else the file named by OV_3DS2OV_LIBRARY alone when that
// is set; else ConverterLibrary::kFileName beside the running program, then the
// library in the build tree this binding was built in, so a build works without
// installing.
std::vector<std::filesystem::path> converterLibraryCandidates(
    const std::filesystem::path& given = {});

// Loads the first candidate that is a file, or else the first candidate, so that
// the error names the library that was wanted. ErrorKind::NotFound when there is
// no candidate at all.
Result<ConverterLibrary> findConverterLibrary(const std::filesystem::path& given = {});

// What a result code of convert3ds2ov means, for codes 0-9; "unknown result code N"
// for any other.
std::string converterResultText(int code);

}  // namespace ov
