// The rules of trust; the cryptography they rest on is in kxReliftVerifyOpenSSL.cpp.
#include "update/kxReliftVerify.h"

namespace pw::update {
namespace {

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string SignatureURL(std::string_view infoFileURL) {
    return std::string(infoFileURL) + ".sig";
}

bool IsSha256Hex(std::string_view text) {
    constexpr std::size_t kSha256HexLength = 64;
    if (text.size() != kSha256HexLength) return false;
    for (const char c : text) {
        if (!IsHexDigit(c)) return false;
    }
    return true;
}

bool DigestMatches(std::string_view expectedHex, std::string_view actualHex) {
    if (!IsSha256Hex(expectedHex) || actualHex.size() != expectedHex.size()) return false;
    for (std::size_t i = 0; i < expectedHex.size(); ++i) {
        if (LowerAscii(expectedHex[i]) != LowerAscii(actualHex[i])) return false;
    }
    return true;
}

bool FileMatchesDigest(const std::string& path, std::string_view digest) {
    if (digest.empty()) return true;
    const auto actual = Sha256OfFile(path);
    return actual && DigestMatches(digest, *actual);
}

bool InfoFileAccepted(std::string_view publicKeyPem, std::string_view infoFileBytes,
                      std::string_view signatureBytes, const TkxReliftInfoFile& info) {
    if (publicKeyPem.empty()) return true;
    if (!VerifyInfoSignature(publicKeyPem, infoFileBytes, signatureBytes)) return false;
    if (info.method == TvqUpgradeMethod::umRedirectToURL) return true;
    if (info.digests.size() != info.files.size()) return false;
    for (const std::string& digest : info.digests) {
        if (!IsSha256Hex(digest)) return false;
    }
    return true;
}

}  // namespace pw::update
