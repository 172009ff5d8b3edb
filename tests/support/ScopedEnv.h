#pragma once
// Sets (or, with nullopt, removes) environment variables for as long as it lives, then puts them
// back as they were. Processes started meanwhile inherit the values; the time zone is read again
// at both ends, for the tests that change TZ.

#include <time.h>

#include <cstdlib>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pw::test {

// Sets an environment variable, or removes it with nullopt (on Windows an empty value removes
// it too: Windows has no empty variables).
inline void SetEnv(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
    _putenv_s(name.c_str(), value ? value->c_str() : "");
#else
    value ? setenv(name.c_str(), value->c_str(), 1) : unsetenv(name.c_str());
#endif
}

class ScopedEnv {
  public:
    explicit ScopedEnv(
        std::initializer_list<std::pair<const char*, std::optional<std::string>>> vars) {
        for (const auto& [name, value] : vars) {
            const char* old = std::getenv(name);
            saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
            SetEnv(name, value);
        }
        tzset();
    }
    ~ScopedEnv() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it)
            SetEnv(it->first, it->second);
        tzset();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace pw::test
