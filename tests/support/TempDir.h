#pragma once
// A fresh folder under the system's temp folder, removed with everything in it at the end.

#include <filesystem>
#include <string>

namespace pw::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // path() / name as a string.
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // Writes bytes to path()/name and returns the full path.
    std::string Write(const std::string& name, const std::string& bytes) const;

  private:
    std::filesystem::path path_;
};

// Reads a whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace pw::test
