// Reads a backup's Manifest.mbdb: which stored file holds which device file.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/largeblock.h"
#include "platform/localtime.h"

namespace pixhaven::backup {

// Where a record's content file lies in the backup folder.
enum class StoredLayout : std::uint8_t {
    Flat,      // backup folder / stored name
    ByPrefix,  // backup folder / first two characters / stored name
};

// One device file as the manifest lists it. Its texts point into the Manifest that made it, so a
// record is valid only as long as that Manifest lives.
class ManifestRecord {
public:
    std::optional<std::string_view> Domain() const { return Text(0); }
    std::optional<std::string_view> Path() const { return Text(1); }
    std::optional<std::string_view> LinkTarget() const { return Text(2); }
    // The data hash as lower-case hexadecimal text.
    std::optional<std::string> DataHash() const;
    std::optional<std::string_view> EncryptionKey() const { return Text(4); }

    // Local date and time texts ("%m-%d-%Y %H:%M:%S"); empty when the time is 0.
    std::string_view ModifiedText() const { return TimeText(modifiedText_); }
    std::string_view AccessedText() const { return TimeText(accessedText_); }
    std::string_view CreatedText() const { return TimeText(createdText_); }

    // Name of the content file: 40 lower-case hexadecimal characters.
    std::string_view StoredName() const { return {storedName_.data(), storedName_.size()}; }
    StoredLayout Layout() const { return layout_; }
    std::filesystem::path StoredFile(const std::filesystem::path& backupFolder) const;
    // False for folders and links of a Manifest.db, which have no stored file; true for every
    // Manifest.mbdb record.
    bool HasContent() const { return hasContent_; }

    std::uint16_t mode = 0;
    std::uint32_t inodeHigh = 0;
    std::uint32_t inodeLow = 0;
    std::uint32_t userId = 0;
    std::uint32_t groupId = 0;
    std::uint32_t modified = 0;  // seconds since 1970-01-01 00:00 UTC
    std::uint32_t accessed = 0;
    std::uint32_t created = 0;
    std::uint32_t size = 0;  // low 32 bits of the size
    std::int32_t protectionClass = 0;
    std::int32_t propertyCount = 0;

private:
    friend class ManifestParser;
    friend class ManifestBuilder;
    using TimeTextBuffer = std::array<char, 19>;

    std::optional<std::string_view> Text(int index) const;
    static std::string_view TimeText(const TimeTextBuffer& text) {
        return text[0] == '\0' ? std::string_view() : std::string_view(text.data(), text.size());
    }

    // The five texts stand back to back as in the file: a 2-byte length, then the bytes; a length
    // of 0xFFFF means absent.
    const unsigned char* texts_ = nullptr;
    TimeTextBuffer modifiedText_{};
    TimeTextBuffer accessedText_{};
    TimeTextBuffer createdText_{};
    std::array<char, 40> storedName_{};
    StoredLayout layout_ = StoredLayout::Flat;
    bool hasContent_ = true;
};

struct ManifestBytesDeleter {
    std::size_t size = 0;
    void operator()(unsigned char* bytes) const noexcept { platform::FreeLargeBlock(bytes, size); }
};

// Records and file bytes in large blocks, like the builder's (bench_manifest BM_ReadManifest).
using ManifestRecords = std::vector<ManifestRecord, platform::LargeBlockAllocator<ManifestRecord>>;

// The records of one manifest, in file order, with the bytes their texts point into.
class Manifest {
public:
    using const_iterator = ManifestRecords::const_iterator;

    const ManifestRecords& Records() const { return records_; }
    std::size_t size() const { return records_.size(); }
    bool empty() const { return records_.empty(); }
    const_iterator begin() const { return records_.begin(); }
    const_iterator end() const { return records_.end(); }
    const ManifestRecord& operator[](std::size_t i) const { return records_[i]; }
    // True when read from Manifest.db rather than Manifest.mbdb.
    bool IsModern() const { return modern_; }

private:
    friend class ManifestParser;
    friend class ManifestBuilder;
    using Bytes = std::unique_ptr<unsigned char[], ManifestBytesDeleter>;
    static Bytes AllocateBytes(std::size_t size);

    Bytes bytes_;
    std::vector<Bytes> textBlocks_;  // a built manifest's texts
    ManifestRecords records_;
    bool modern_ = false;
};

// The facts of one record that does not come from Manifest.mbdb bytes.
struct RecordFacts {
    std::uint64_t size = 0;
    std::uint32_t modified = 0;
    std::uint32_t accessed = 0;
    std::uint32_t created = 0;
    std::uint16_t mode = 0;
    bool hasContent = true;
    std::optional<std::string_view> encryptionKey;  // kept as the record's encryption-key text
    std::int32_t protectionClass = 0;
};

// Builds a Manifest from another source, part by part (one part per thread). Each record's texts
// are kept as a Manifest.mbdb record keeps them, so every reader of records works unchanged.
// Each part is written by its own thread: aligned to a cache line so that two parts never share
// one (bench_manifestdb BM_ReadManifestDb: that sharing cost a third of the read).
class alignas(64) ManifestBuilder {
public:
    explicit ManifestBuilder(std::size_t expectedRecords = 0);

    // False (nothing added) when a text is too long for a record to hold.
    bool Add(std::string_view storedName, std::optional<std::string_view> domain,
             std::optional<std::string_view> path, const RecordFacts& facts);
    std::size_t size() const { return records_.size(); }

    // One Manifest of the parts' records, in part order, with layout ByPrefix. The first part's
    // records are taken over whole, not copied, so give it room for all of them
    // (bench_manifestdb BM_ReadManifestDb).
    static Manifest Join(std::vector<ManifestBuilder>& parts);

private:
    // Room for `bytes` of texts that stays where it is: records point into it as they are made.
    // Carved from 4 MB large blocks rather than allocated per record (bench_manifestdb
    // BM_ReadManifestDb).
    unsigned char* TextSpace(std::size_t bytes);

    std::vector<Manifest::Bytes> textBlocks_;
    unsigned char* textCursor_ = nullptr;
    unsigned char* textEnd_ = nullptr;
    // Large blocks: half a million records fault in a few huge pages instead of some 30,000
    // ordinary ones, which on a virtual machine cost more than reading the rows
    // (bench_manifestdb BM_ReadManifestDb: 750 to 500 ms, when SQLite read every file).
    ManifestRecords records_;
    std::unique_ptr<platform::LocalTimeConverter> clock_;
};

// Reads `file`; none when it cannot be opened or read, does not start with "mbdb", or holds no
// complete record. A record that runs past the end ends the reading; earlier records are kept.
std::optional<Manifest> ReadManifest(const std::filesystem::path& file);
// The same from bytes already in memory (copied).
std::optional<Manifest> ParseManifest(std::string_view bytes);

// SHA-1 of domain + "-" + path as 40 lower-case hexadecimal characters; an absent domain or path
// stands as "(null)".
std::string MakeStoredName(std::optional<std::string_view> domain,
                           std::optional<std::string_view> path);

// Local time "%m-%d-%Y %H:%M:%S" of a Unix time; empty for 0.
std::string FormatRecordTime(std::uint32_t seconds);

}  // namespace pixhaven::backup
