#include "framework/Streams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

namespace pw::framework {

std::int64_t TStream::Size() {
    const std::int64_t pos = Seek(0, SeekOrigin::Current);
    const std::int64_t size = Seek(0, SeekOrigin::End);
    Seek(pos, SeekOrigin::Beginning);
    return size;
}

void TStream::ReadBuffer(void* buffer, std::int64_t count) {
    if (count != 0 && Read(buffer, count) != count) throw EReadError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::int64_t count) {
    if (count != 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

std::int64_t TStream::CopyFrom(TStream& source, std::int64_t count) {
    if (count < 0) return 0;
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr std::int64_t kChunk = 64 * 1024;
    std::vector<unsigned char> buf(static_cast<std::size_t>(std::min(count, kChunk)));
    std::int64_t left = count;
    while (left > 0) {
        const std::int64_t n = std::min(left, kChunk);
        source.ReadBuffer(buf.data(), n);
        WriteBuffer(buf.data(), n);
        left -= n;
    }
    return count;
}

// --- TMemoryStream ---

std::int64_t TMemoryStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0 || pos_ >= size_) return 0;
    const std::int64_t n = std::min(count, size_ - pos_);
    std::memcpy(buffer, data_.get() + pos_, static_cast<std::size_t>(n));
    pos_ += n;
    return n;
}

void TMemoryStream::Reserve(std::int64_t capacity) {
    if (capacity <= capacity_) return;
    if (static_cast<std::uint64_t>(capacity) > std::numeric_limits<std::size_t>::max())
        throw std::bad_alloc();
    // A fresh block comes zeroed from calloc without touching its pages.
    void* p = data_ ? std::realloc(data_.get(), static_cast<std::size_t>(capacity))
                    : std::calloc(static_cast<std::size_t>(capacity), 1);
    if (!p) throw std::bad_alloc();
    (void)data_.release();
    data_.reset(static_cast<unsigned char*>(p));
    capacity_ = capacity;
}

std::int64_t TMemoryStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (pos_ > kMax - count) throw std::bad_alloc();
    const std::int64_t end = pos_ + count;
    if (end > capacity_) Reserve(std::max(end, capacity_ < kMax / 2 ? capacity_ * 2 : kMax));
    // A write past the end leaves zeros in the gap.
    if (pos_ > size_) std::memset(data_.get() + size_, 0, static_cast<std::size_t>(pos_ - size_));
    std::memcpy(data_.get() + pos_, buffer, static_cast<std::size_t>(count));
    pos_ = end;
    size_ = std::max(size_, end);
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    switch (origin) {
        case SeekOrigin::Beginning:
            base = 0;
            break;
        case SeekOrigin::Current:
            base = pos_;
            break;
        case SeekOrigin::End:
            base = size_;
            break;
    }
    // Saturate instead of overflowing; a position before the start is the start.
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (offset > 0 && base > kMax - offset) {
        pos_ = kMax;
    } else {
        pos_ = std::max<std::int64_t>(base + offset, 0);
    }
    return pos_;
}

void TMemoryStream::SetSize(std::int64_t size) {
    // A negative size would leave the position before the start, and reads out of bounds.
    size = std::max<std::int64_t>(size, 0);
    const bool fresh = !data_;
    Reserve(size);
    // New bytes read as zero; a fresh block from calloc is zero already.
    if (size > size_ && !fresh)
        std::memset(data_.get() + size_, 0, static_cast<std::size_t>(size - size_));
    size_ = size;
    if (pos_ > size) pos_ = size;
}

void TMemoryStream::Clear() {
    data_.reset();
    size_ = capacity_ = pos_ = 0;
}

void TMemoryStream::LoadFromFile(const std::string& fileName) {
    TFileStream f(fileName, FileMode::OpenRead);
    const std::int64_t size = f.Size();
    if (size < 0) throw EReadError("Cannot read \"" + fileName + "\": it has no size");
    TMemoryStream loaded;
    loaded.SetSize(size);
    f.ReadBuffer(loaded.data_.get(), size);
    data_ = std::move(loaded.data_);
    size_ = loaded.size_;
    capacity_ = loaded.capacity_;
    pos_ = 0;
}

void TMemoryStream::SaveToFile(const std::string& fileName) {
    TFileStream f(fileName, FileMode::Create);
    f.WriteBuffer(data_.get(), size_);
}

// --- TFileStream ---

namespace {
const char* ModeText(FileMode mode) {
    switch (mode) {
        case FileMode::Create:
            return "w+b";
        case FileMode::OpenRead:
            return "rb";
        case FileMode::OpenWrite:
        case FileMode::OpenReadWrite:
            return "r+b";
    }
    return "rb";
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, FileMode mode) : fileName_(fileName) {
    errno = 0;
    file_ = std::fopen(fileName.c_str(), ModeText(mode));
    std::error_code ec;
    if (file_ && std::filesystem::is_directory(fileName, ec)) {
        std::fclose(file_);
        file_ = nullptr;
        errno = EISDIR;
    }
    if (!file_) {
        const char* what = mode == FileMode::Create ? "Cannot create file" : "Cannot open file";
        throw EFOpenError(std::string(what) + " \"" + fileName + "\". " + std::strerror(errno));
    }
    // Unbuffered, like the platform's own file writes: a failed write is reported by Write itself.
    std::setvbuf(file_, nullptr, _IONBF, 0);
}

TFileStream::~TFileStream() {
    if (file_) std::fclose(file_);
}

// The C library requires a positioning call between a read and a following write on the same
// stream, and the other way round; some runtimes misplace data without it.
void TFileStream::SwitchTo(LastOp op) {
    if (lastOp_ != LastOp::None && lastOp_ != op) std::fseek(file_, 0, SEEK_CUR);
    lastOp_ = op;
}

std::int64_t TFileStream::Read(void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    SwitchTo(LastOp::Read);
    return static_cast<std::int64_t>(std::fread(buffer, 1, static_cast<std::size_t>(count), file_));
}

std::int64_t TFileStream::Write(const void* buffer, std::int64_t count) {
    if (count <= 0) return 0;
    SwitchTo(LastOp::Write);
    return static_cast<std::int64_t>(
        std::fwrite(buffer, 1, static_cast<std::size_t>(count), file_));
}

std::int64_t TFileStream::Seek(std::int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Beginning ? SEEK_SET
                       : origin == SeekOrigin::Current ? SEEK_CUR
                                                       : SEEK_END;
    lastOp_ = LastOp::None;
#if defined(_WIN32)
    // long is 32 bits there: files beyond 2 GiB need the 64-bit calls.
    if (_fseeki64(file_, offset, whence) != 0) return -1;
    return static_cast<std::int64_t>(_ftelli64(file_));
#else
    if (offset != static_cast<long>(offset)) return -1;
    if (std::fseek(file_, static_cast<long>(offset), whence) != 0) return -1;
    return static_cast<std::int64_t>(std::ftell(file_));
#endif
}

void TFileStream::SetSize(std::int64_t size) {
    if (size < 0) throw EWriteError("Cannot set the size of \"" + fileName_ + "\" below 0");
    std::error_code ec;
    std::filesystem::resize_file(fileName_, static_cast<std::uintmax_t>(size), ec);
    if (ec) throw EWriteError("Cannot set the size of \"" + fileName_ + "\". " + ec.message());
    if (Position() > size) SetPosition(size);
}

}  // namespace pw::framework
