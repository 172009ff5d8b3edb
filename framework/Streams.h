#pragma once
// Byte streams in the shape the components use them: a stream has a position and a size, reads
// and writes move the position, and the Buffer forms raise when fewer bytes move than asked.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pw::framework {

class EStreamError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};
// A file could not be opened or created; the message names the file and the reason.
class EFOpenError : public EStreamError {
    using EStreamError::EStreamError;
};
// A file could not be created; the message is "Cannot create file <name>".
class EFCreateError : public EStreamError {
    using EStreamError::EStreamError;
};
class EReadError : public EStreamError {
    using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {
    using EStreamError::EStreamError;
};

enum class SeekOrigin { Beginning, Current, End };

class TStream {
  public:
    virtual ~TStream() = default;

    // Reads up to count bytes; returns how many were read.
    virtual std::int64_t Read(void* buffer, std::int64_t count) = 0;
    // Writes up to count bytes; returns how many were written.
    virtual std::int64_t Write(const void* buffer, std::int64_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    virtual void SetSize(std::int64_t size) = 0;

    std::int64_t Position() { return Seek(0, SeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, SeekOrigin::Beginning); }
    std::int64_t Size();

    void ReadBuffer(void* buffer, std::int64_t count);         // EReadError when short
    void WriteBuffer(const void* buffer, std::int64_t count);  // EWriteError when short
    // Copies count bytes from source's position (count 0: all of source, from its start).
    std::int64_t CopyFrom(TStream& source, std::int64_t count);
};

// The stream lives in memory; Memory() stays valid until the next write or SetSize.
class TMemoryStream : public TStream {
  public:
    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    const unsigned char* Memory() const { return data_.get(); }
    std::string_view View() const {
        return {reinterpret_cast<const char*>(data_.get()), static_cast<std::size_t>(size_)};
    }
    void Clear();
    void LoadFromFile(const std::string& fileName);  // EFOpenError when it cannot be read
    void SaveToFile(const std::string& fileName);    // EFOpenError / EWriteError

  private:
    // Grown with realloc, which moves a large block by remapping its pages rather than copying
    // them, so a stream that grows to hundreds of megabytes costs no more than its bytes.
    struct Free {
        void operator()(unsigned char* p) const noexcept { std::free(p); }
    };
    void Reserve(std::int64_t capacity);  // std::bad_alloc when the memory cannot be had
    std::unique_ptr<unsigned char, Free> data_;
    std::int64_t size_ = 0;
    std::int64_t capacity_ = 0;
    std::int64_t pos_ = 0;
};

enum class FileMode { Create, OpenRead, OpenWrite, OpenReadWrite };

class TFileStream : public TStream {
  public:
    // Create truncates or creates; the Open forms need an existing file. EFOpenError on failure.
    TFileStream(const std::string& fileName, FileMode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Read(void* buffer, std::int64_t count) override;
    std::int64_t Write(const void* buffer, std::int64_t count) override;
    std::int64_t Seek(std::int64_t offset, SeekOrigin origin) override;
    void SetSize(std::int64_t size) override;

    const std::string& FileName() const { return fileName_; }

  private:
    enum class LastOp { None, Read, Write };
    void SwitchTo(LastOp op);

    std::string fileName_;
    std::FILE* file_ = nullptr;
    LastOp lastOp_ = LastOp::None;
};

}  // namespace pw::framework
