#pragma once
// Whether an update may be trusted: the SHA-256 digests an information file gives for its
// files, and the Ed25519 signature of the information file itself. Both are opt-in for the
// maker: an information file without digests, read by a build without a public key, is
// handled exactly as before. Pure functions of their arguments and of the files they read;
// callable from any thread.

#include <optional>
#include <string>
#include <string_view>

#include "update/kxReliftInfo.h"

namespace pw::update {

// The public key (PEM) this build was made with, from the CMake cache variable
// PAGEWARDEN_UPDATE_PUBKEY; empty when the build has none.
std::string_view BuiltInUpdatePublicKey();

// The URL of the detached signature of the information file at infoFileURL.
std::string SignatureURL(std::string_view infoFileURL);

// True when text is exactly 64 hex digits, in either case.
bool IsSha256Hex(std::string_view text);

// The SHA-256 digest of a file's bytes in lower-case hex; nullopt when it cannot be read
// (missing, a folder, a read error). Reads in blocks, so a file of any size costs little memory.
std::optional<std::string> Sha256OfFile(const std::string& path);

// True when expectedHex is a well-formed digest (IsSha256Hex) equal to actualHex ignoring case.
bool DigestMatches(std::string_view expectedHex, std::string_view actualHex);

// Whether the downloaded file at path may be installed: true when digest is empty (the
// information file gave none), otherwise when the file's digest matches it.
bool FileMatchesDigest(const std::string& path, std::string_view digest);

// True when signatureBytes is a valid Ed25519 signature, by the key publicKeyPem (a
// "PUBLIC KEY" PEM), of exactly infoFileBytes. The signature is the raw 64 bytes, as
// "openssl pkeyutl -sign -rawin" writes them, or their base64 (blanks and line breaks allowed).
// False for a malformed key or signature, or a key of another type; never throws.
bool VerifyInfoSignature(std::string_view publicKeyPem, std::string_view infoFileBytes,
                         std::string_view signatureBytes) noexcept;

// Whether an information file may be acted on at all. Always true without a public key.
// With one, the signature must verify and, unless the file only redirects to a web page (nothing
// is downloaded then), every listed file must carry a well-formed digest. A file that fails
// counts as missing: nothing it lists is downloaded.
bool InfoFileAccepted(std::string_view publicKeyPem, std::string_view infoFileBytes,
                      std::string_view signatureBytes, const TkxReliftInfoFile& info);

}  // namespace pw::update
