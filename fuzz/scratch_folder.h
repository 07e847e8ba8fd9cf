#pragma once
// A scratch folder for fuzz targets that work on files: made on first use under
// the system's temporary folder and removed with everything in it when the process
// ends normally. Its owner removes it from its destructor, so the path is still
// alive while it is removed.

#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace ovfuzz {

class ScratchFolder {
public:
    explicit ScratchFolder(std::string_view prefix) {
        std::random_device rd;
        path_ = std::filesystem::temp_directory_path() /
                (std::string(prefix) + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

}  // namespace ovfuzz
