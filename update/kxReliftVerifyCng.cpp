// The digests and signatures of kxReliftVerify on Windows, with the system's own cryptography
// (CNG). CNG has SHA-256 but no Ed25519: the build refuses a public key on Windows, so there is
// never a key to check a signature with, and a signature is never taken as valid.
#include "update/kxReliftVerify.h"

#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>

#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace pw::update {
namespace {

// Big enough that a large download is read in few calls, small enough to sit on any heap.
constexpr std::size_t kReadBlockSize = 64 * 1024;
constexpr std::size_t kSha256Length = 32;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

class Algorithm {
  public:
    Algorithm() {
        if (BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) != 0)
            handle_ = nullptr;
    }
    ~Algorithm() {
        if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
    }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class Hash {
  public:
    explicit Hash(const Algorithm& algorithm) {
        if (!algorithm.get() ||
            BCryptCreateHash(algorithm.get(), &handle_, nullptr, 0, nullptr, 0, 0) != 0)
            handle_ = nullptr;
    }
    ~Hash() {
        if (handle_) BCryptDestroyHash(handle_);
    }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    BCRYPT_HASH_HANDLE get() const { return handle_; }

  private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    const Algorithm algorithm;
    const Hash hash(algorithm);
    if (!hash.get()) return std::nullopt;

    std::vector<unsigned char> block(kReadBlockSize);
    for (;;) {
        const std::size_t n = std::fread(block.data(), 1, block.size(), file.get());
        if (n > 0 && BCryptHashData(hash.get(), block.data(), static_cast<ULONG>(n), 0) != 0)
            return std::nullopt;
        if (n < block.size()) break;
    }
    if (std::ferror(file.get())) return std::nullopt;

    std::array<unsigned char, kSha256Length> digest{};
    if (BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0) != 0)
        return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(digest.size() * 2);
    for (const unsigned char b : digest) {
        hex += kHex[b >> 4];
        hex += kHex[b & 0x0F];
    }
    return hex;
}

bool VerifyInfoSignature(std::string_view, std::string_view, std::string_view) noexcept {
    return false;
}

}  // namespace pw::update
