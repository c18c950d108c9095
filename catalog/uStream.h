#pragma once
// Byte streams a caller hands to TWinHttp::GetStream.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace velmora {

class IByteStream {
public:
    virtual ~IByteStream() = default;
    // Appends the bytes; throws when the stream cannot take them.
    virtual void Write(const char* data, std::size_t size) = 0;
    // Bytes in the stream so far.
    virtual std::uint64_t Size() const = 0;
};

class TMemoryStream : public IByteStream {
public:
    void Write(const char* data, std::size_t size) override { FData.append(data, size); }
    std::uint64_t Size() const override { return FData.size(); }
    const std::string& Data() const { return FData; }
    std::string Take() { return std::move(FData); }

private:
    std::string FData;
};

// A file opened for writing: truncated, or with `append` continued at its end
// (Size() then counts what it held). Write errors throw std::runtime_error;
// Close() flushes and reports a failed flush the same way. With `lock`, the
// stream holds an advisory lock on the file while it is open, which
// IsLockedByWriter sees from any process.
class TFileStream : public IByteStream {
public:
    explicit TFileStream(const std::filesystem::path& path, bool lock = false, bool append = false);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    void Write(const char* data, std::size_t size) override;
    std::uint64_t Size() const override { return FSize; }
    void Close();

private:
    std::FILE* FFile = nullptr;
    std::uint64_t FSize = 0;
};

// IsLockedByWriter (platform/util/Files.h) tells whether a TFileStream opened
// with `lock` still has the file open.

} // namespace velmora
