#pragma once
// Points TMPDIR at a folder of the test's own while it lives: the file replacer and its queue go
// to the temp folder, and processes started meanwhile inherit it.

#include <cstdlib>
#include <optional>
#include <string>

namespace pw::test {

class ScopedTmpDir {
  public:
    explicit ScopedTmpDir(const std::string& dir) {
        if (const char* old = std::getenv("TMPDIR")) old_ = old;
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~ScopedTmpDir() {
        if (old_) {
            setenv("TMPDIR", old_->c_str(), 1);
        } else {
            unsetenv("TMPDIR");
        }
    }
    ScopedTmpDir(const ScopedTmpDir&) = delete;
    ScopedTmpDir& operator=(const ScopedTmpDir&) = delete;

  private:
    std::optional<std::string> old_;
};

}  // namespace pw::test
