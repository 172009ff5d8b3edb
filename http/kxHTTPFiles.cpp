// The login record and the output file stream.

#include <filesystem>

#include "http/kxHTTP.h"

namespace pw::http {

namespace {

// The record's fixed key byte; each stored byte is XOR-ed with (length XOR key).
constexpr std::uint8_t kLInfoKey = 0x5A;
constexpr std::size_t kLInfoMaxTexts = 254;

}  // namespace

std::vector<std::uint8_t> TkxLoginComponent::WriteLInfo() const {
    const std::size_t total = Username.size() + Password.size();
    if (total == 0 || total > kLInfoMaxTexts) return {};
    const auto n = static_cast<std::uint8_t>(total + 1);
    const auto mask = static_cast<std::uint8_t>(n ^ kLInfoKey);
    std::vector<std::uint8_t> record;
    record.reserve(n + 1u);
    record.push_back(n);
    record.push_back(static_cast<std::uint8_t>(Username.size() ^ mask));
    for (char c : Username)
        record.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ mask));
    for (char c : Password)
        record.push_back(static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) ^ mask));
    return record;
}

bool TkxLoginComponent::ReadLInfo(std::span<const std::uint8_t> record) {
    if (record.empty()) return false;
    const std::uint8_t n = record[0];
    if (n == 0 || record.size() != n + 1u) return false;
    const auto mask = static_cast<std::uint8_t>(n ^ kLInfoKey);
    const std::size_t userLength = static_cast<std::uint8_t>(record[1] ^ mask);
    if (userLength > n - 1u) return false;
    std::string user, password;
    for (std::size_t i = 0; i < userLength; ++i)
        user += static_cast<char>(record[2 + i] ^ mask);
    for (std::size_t i = 2 + userLength; i < record.size(); ++i)
        password += static_cast<char>(record[i] ^ mask);
    Username = std::move(user);
    Password = std::move(password);
    return true;
}

TkxFileStream::TkxFileStream(platform::IFiles& files, const std::string& fileName,
                             bool clearAttributes, bool keepExisting) {
    std::uint32_t oldAttributes = platform::kInvalidAttributes;
    bool cleared = false;
    if (clearAttributes) {
        oldAttributes = files.GetAttributes(fileName);
        if (oldAttributes != platform::kInvalidAttributes &&
            (oldAttributes & (platform::kAttrHidden | platform::kAttrReadOnly)) != 0)
            cleared = files.SetAttributes(fileName, platform::kAttrArchive);
    }
    std::error_code ec;
    const bool exists = std::filesystem::exists(fileName, ec);
    try {
        file_ = std::make_unique<framework::TFileStream>(
            fileName, keepExisting && exists ? framework::FileMode::OpenReadWrite
                                             : framework::FileMode::Create);
    } catch (const framework::EStreamError&) {
        file_.reset();
    }
    // Only what was lifted is put back: the file's other permissions stay untouched.
    if (cleared) files.SetAttributes(fileName, oldAttributes);
    if (!file_) throw framework::EFCreateError("Cannot create file " + fileName);
}

std::int64_t TkxFileStream::Read(void* buffer, std::int64_t count) {
    return file_->Read(buffer, count);
}

std::int64_t TkxFileStream::Write(const void* buffer, std::int64_t count) {
    return file_->Write(buffer, count);
}

std::int64_t TkxFileStream::Seek(std::int64_t offset, framework::SeekOrigin origin) {
    return file_->Seek(offset, origin);
}

void TkxFileStream::SetSize(std::int64_t size) {
    file_->SetSize(size);
}

}  // namespace pw::http
