// The digests and signatures of kxReliftVerify, computed with OpenSSL's libcrypto.
#include "update/kxReliftVerify.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <array>
#include <climits>
#include <cstdio>
#include <memory>
#include <vector>

namespace pw::update {
namespace {

constexpr std::size_t kEd25519SignatureLength = 64;
// Big enough that a large download is read in few calls, small enough to sit on any heap.
constexpr std::size_t kReadBlockSize = 64 * 1024;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
struct BioFree {
    void operator()(BIO* b) const { BIO_free(b); }
};
struct PkeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct MdCtxFree {
    void operator()(EVP_MD_CTX* c) const { EVP_MD_CTX_free(c); }
};
using MdCtx = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The raw signature: signatureBytes itself when it is 64 bytes, else its base64 decoded.
// Works in fixed buffers so that verification cannot fail for want of memory.
std::optional<std::array<unsigned char, kEd25519SignatureLength>> RawSignature(
    std::string_view signatureBytes) {
    std::array<unsigned char, kEd25519SignatureLength> raw{};
    if (signatureBytes.size() == raw.size()) {
        for (std::size_t i = 0; i < raw.size(); ++i) {
            raw[i] = static_cast<unsigned char>(signatureBytes[i]);
        }
        return raw;
    }
    // 64 bytes are 88 base64 characters, the last two of them padding.
    constexpr std::size_t kBase64Length = (kEd25519SignatureLength + 2) / 3 * 4;
    std::array<unsigned char, kBase64Length> text{};
    std::size_t n = 0;
    for (const char c : signatureBytes) {
        if (IsBlank(c)) continue;
        if (n == text.size()) return std::nullopt;
        text[n++] = static_cast<unsigned char>(c);
    }
    if (n != text.size() || text[n - 1] != '=' || text[n - 2] != '=') return std::nullopt;
    std::array<unsigned char, kBase64Length / 4 * 3> decoded{};
    if (EVP_DecodeBlock(decoded.data(), text.data(), static_cast<int>(text.size())) < 0) {
        return std::nullopt;
    }
    // EVP_DecodeBlock decodes the padding as two zero bytes; anything else there means the
    // text was not the base64 of exactly 64 bytes.
    if (decoded[kEd25519SignatureLength] != 0 || decoded[kEd25519SignatureLength + 1] != 0) {
        return std::nullopt;
    }
    for (std::size_t i = 0; i < raw.size(); ++i)
        raw[i] = decoded[i];
    return raw;
}

bool VerifyEd25519(std::string_view publicKeyPem, std::string_view data,
                   std::string_view signatureBytes) {
    if (publicKeyPem.empty() || publicKeyPem.size() > INT_MAX) return false;
    const auto signature = RawSignature(signatureBytes);
    if (!signature) return false;

    const std::unique_ptr<BIO, BioFree> bio(
        BIO_new_mem_buf(publicKeyPem.data(), static_cast<int>(publicKeyPem.size())));
    if (!bio) return false;
    const std::unique_ptr<EVP_PKEY, PkeyFree> key(
        PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    // Another key type would verify by its own rules; the maker signs with Ed25519 only.
    if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519) return false;

    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx) return false;
    if (EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) != 1) return false;
    return EVP_DigestVerify(ctx.get(), signature->data(), signature->size(),
                            reinterpret_cast<const unsigned char*>(data.data()), data.size()) == 1;
}

}  // namespace

std::optional<std::string> Sha256OfFile(const std::string& path) {
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return std::nullopt;
    const MdCtx ctx(EVP_MD_CTX_new());
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return std::nullopt;

    std::vector<unsigned char> block(kReadBlockSize);
    for (;;) {
        const std::size_t n = std::fread(block.data(), 1, block.size(), file.get());
        if (n > 0 && EVP_DigestUpdate(ctx.get(), block.data(), n) != 1) return std::nullopt;
        if (n < block.size()) break;
    }
    // A folder opens on Linux and then fails its first read: that is an error, not an empty file.
    if (std::ferror(file.get())) return std::nullopt;

    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx.get(), digest.data(), &length) != 1) return std::nullopt;
    static constexpr char kHex[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

bool VerifyInfoSignature(std::string_view publicKeyPem, std::string_view infoFileBytes,
                         std::string_view signatureBytes) noexcept {
    const bool valid = VerifyEd25519(publicKeyPem, infoFileBytes, signatureBytes);
    // A rejected key or signature leaves errors queued on this thread, where the next OpenSSL
    // user (curl's TLS) would read them as its own.
    if (!valid) ERR_clear_error();
    return valid;
}

}  // namespace pw::update
