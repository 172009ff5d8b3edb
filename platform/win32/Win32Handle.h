#pragma once
// Owners of Windows handles: each closes its handle exactly once, when it goes.

#include <windows.h>

#include <utility>

namespace pw::platform::win32 {

// A kernel object handle (file, process, thread, mutex). Both null and INVALID_HANDLE_VALUE
// count as no handle, as the API uses either for failure.
class UniqueHandle {
  public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }

    HANDLE get() const { return handle_; }
    bool valid() const { return handle_ && handle_ != INVALID_HANDLE_VALUE; }
    void Reset() {
        if (valid()) ::CloseHandle(handle_);
        handle_ = nullptr;
    }

  private:
    HANDLE handle_ = nullptr;
};

// An opened registry key. The predefined roots (HKEY_CURRENT_USER, ...) are never put in one.
class UniqueRegKey {
  public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY key) : key_(key) {}
    ~UniqueRegKey() { Reset(); }
    UniqueRegKey(UniqueRegKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept {
        if (this != &other) {
            Reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }

    HKEY get() const { return key_; }
    // For the out-parameter of RegOpenKeyExA and RegCreateKeyExA; closes what was held.
    HKEY* put() {
        Reset();
        return &key_;
    }
    void Reset() {
        if (key_) ::RegCloseKey(key_);
        key_ = nullptr;
    }

  private:
    HKEY key_ = nullptr;
};

}  // namespace pw::platform::win32
