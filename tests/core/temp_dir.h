#pragma once

#include <filesystem>
#include <string_view>

namespace wren::test {

/// A fresh directory under the system's temporary folder, removed on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    /// Writes content byte for byte to a file in the directory and returns its path.
    std::filesystem::path Write(std::string_view name, std::string_view content) const;

private:
    std::filesystem::path path_;
};

} // namespace wren::test
