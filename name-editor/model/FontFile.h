// One open font file: a buffered stdio stream with checked, exact-count reads
// and writes, big-endian integer helpers and a stack of remembered positions.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

class FontFile {
  public:
    FontFile() = default;
    FontFile(const FontFile&) = delete;
    FontFile& operator=(const FontFile&) = delete;
    ~FontFile() = default;

    // Opens `path` with an fopen mode string ("rb" to load).
    bool open(const char* path, const char* mode);
    // Takes over an already open descriptor (the save's temporary file).
    bool adopt(int descriptor, const char* mode);
    // Flushes and closes; false if buffered data could not be written.
    bool close();
    bool isOpen() const { return stream_ != nullptr; }

    bool read(std::span<std::uint8_t> buffer);
    bool write(std::span<const std::uint8_t> bytes);
    bool readUInt16(std::uint16_t& value);
    bool readUInt32(std::uint32_t& value);
    bool writeUInt16(std::uint16_t value);
    bool writeUInt32(std::uint32_t value);

    // Positions are counted from the start of the file.
    bool seek(std::int64_t position);
    std::int64_t tell();
    void pushPosition();
    bool popPosition();

    // Size of the file as it was when opened, for checking lengths read from it
    // before anything is allocated for them.
    std::int64_t size() const { return size_; }
    // True if `length` bytes starting at `offset` lie inside the file.
    bool contains(std::int64_t offset, std::int64_t length) const;
    // Reads `length` bytes at `offset` into `bytes` and comes back to the
    // current position. The range is checked against the file first, so a
    // hostile offset or length allocates nothing.
    bool readAt(std::int64_t offset, std::size_t length, std::vector<std::uint8_t>& bytes);

    // Pushes buffered data to the system and asks it to reach the disk.
    bool sync();

  private:
    struct Closer {
        void operator()(std::FILE* stream) const { std::fclose(stream); }
    };
    bool takeSize();

    std::unique_ptr<std::FILE, Closer> stream_;
    std::vector<std::int64_t> positions_;
    std::int64_t size_ = 0;
};
