#include "converter_library.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace ov {

namespace {

std::string pathText(const std::filesystem::path& p) {
    auto u8 = p.u8string();
    return std::string(u8.begin(), u8.end());
}

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
        return makeError("Cannot load the converter library \"" + pathText(file) +
                         "\": " + lastErrorText());
    auto fn = reinterpret_cast<Convert3ds2ovFn>(
        reinterpret_cast<void*>(GetProcAddress(handle, exportName)));
#else
    void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* why = dlerror();
        return makeError("Cannot load the converter library \"" + pathText(file) +
                         "\": " + (why ? why : "unknown error"));
    }
    dlerror();
    auto fn = reinterpret_cast<Convert3ds2ovFn>(dlsym(handle, exportName));
#endif
    if (!fn) {
        unload(handle);
        return makeError("The converter library \"" + pathText(file) + "\" has no export \"" +
                         exportName + "\"");
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

}  // namespace ov
