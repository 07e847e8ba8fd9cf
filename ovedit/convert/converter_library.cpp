#include "converter_library.h"

#include <cstdlib>
#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "common/fileio.h"

namespace ov {

namespace {

#ifdef _WIN32
std::string lastErrorText() {
    return "error " + std::to_string(GetLastError());
}
#endif

void unload(void* handle) {
    if (!handle) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle));
#else
    dlclose(handle);
#endif
}

}  // namespace

Result<ConverterLibrary> ConverterLibrary::load(const std::filesystem::path& file,
                                                const char* exportName) {
#ifdef _WIN32
    HMODULE handle = LoadLibraryW(file.c_str());
    if (!handle)
        return makeError(ErrorKind::ReadFailed, "Cannot load the converter library \"" +
                                                    pathText(file) + "\": " + lastErrorText());
    auto fn = reinterpret_cast<Convert3ds2ovFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, exportName)));
#else
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return makeError(ErrorKind::ReadFailed, "Cannot load the converter library \"" +
                                                    pathText(file) +
                                                    "\": " + (why ? why : "unknown error"));
    }
    dlerror();
    auto fn = reinterpret_cast<Convert3ds2ovFn>(dlsym(handle, exportName));
#endif
    if (!fn) {
        unload(handle);
        return makeError(ErrorKind::BadData, "The converter library \"" + pathText(file) +
                                                 "\" has no export \"" + exportName + "\"");
    }
    return ConverterLibrary(handle, fn);
}

ConverterLibrary::ConverterLibrary(ConverterLibrary&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), fn_(std::exchange(other.fn_, nullptr)) {}

ConverterLibrary& ConverterLibrary::operator=(ConverterLibrary&& other) noexcept {
    if (this != &other) {
        unload(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
        fn_ = std::exchange(other.fn_, nullptr);
    }
    return *this;
}

ConverterLibrary::~ConverterLibrary() {
    unload(handle_);
}

int ConverterLibrary::convert(const std::string& inputPath, const std::string& textureName,
                              const std::string& shpPath) const {
    return fn_(inputPath.c_str(), textureName.c_str(), shpPath.c_str());
}


std::vector<std::filesystem::path> converterLibraryCandidates(const std::filesystem::path& given) {
    if (!given.empty()) return {given};
#ifdef _WIN32
    const std::string variable(kConverterLibraryVariable);
    const std::wstring wideVariable(variable.begin(), variable.end());
    if (const wchar_t* env = _wgetenv(wideVariable.c_str()); env && *env)
        return {std::filesystem::path(env)};
#else
    if (const char* env = std::getenv(kConverterLibraryVariable); env && *env)
        return {std::filesystem::path(env)};
#endif
    std::vector<std::filesystem::path> out;
    if (auto dir = programFolder(); !dir.empty()) {
        out.push_back(dir / ConverterLibrary::kFileName);
#ifdef OV_3DS2OV_INSTALLED_DIR
        out.push_back(
            (dir / OV_3DS2OV_INSTALLED_DIR / ConverterLibrary::kFileName).lexically_normal());
#endif
    }
#ifdef OV_3DS2OV_BUILD_FILE
    out.push_back(std::filesystem::path(OV_3DS2OV_BUILD_FILE));
#endif
    return out;
}

Result<ConverterLibrary> findConverterLibrary(const std::filesystem::path& given) {
    const auto candidates = converterLibraryCandidates(given);
    if (candidates.empty())
        return makeError(ErrorKind::NotFound,
                         std::string("cannot tell where ") + ConverterLibrary::kFileName + " is");
    std::error_code ec;
    for (const auto& c : candidates)
        if (std::filesystem::is_regular_file(c, ec)) return ConverterLibrary::load(c);
    return ConverterLibrary::load(candidates.front());
}

std::string converterResultText(int code) {
    // The codes convert3ds2ov returns (3ds2ov/convert3ds2ov.h).
    switch (code) {
        case 0:
            return "the SHP model was written";
        case 1:
            return "a mesh has no texture coordinates";
        case 2:
            return "a mesh's texture coordinates do not match its vertices";
        case 3:
            return "the 3DS file cannot be opened";
        case 4:
            return "the model has more than 5000 vertices or 5000 faces";
        case 5:
            return "every vertex of the model lies at the origin";
        case 6:
            return "the texture name is over 63 or the output path over 79 characters";
        case 7:
            return "the SHP file cannot be written";
        case 8:
            return "the 3DS data is malformed";
        case 9:
            return "the 3DS file holds no mesh";
        default:
            return "unknown result code " + std::to_string(code);
    }
}

}  // namespace ov
