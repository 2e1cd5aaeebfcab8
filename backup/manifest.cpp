// Manifest.mbdb reading. The file is read whole into one buffer that the Manifest keeps: records
// point into it for their texts instead of copying them, which halves the memory of a large
// manifest and makes reading one pass over the bytes (bench/manifest_process.sh: peak memory).
//
// Layout (all integers big-endian, unsigned):
//
//   header   "mbdb" (4 bytes), format version (2 bytes, not checked)
//   record   domain, path, link target, data hash, encryption key   strings
//            mode 2, inode 8 (high half first), user id 4, group id 4,
//            modified 4, accessed 4, created 4 (Unix seconds), size 8,
//            protection class 1, property count N 1,
//            N x (name string, value string)
//   string   length L (2 bytes), then L bytes without terminator;
//            L = 0xFFFF means absent and is followed by nothing
//
// Records follow each other to the end of the file, with no count and no padding.
#include "backup/manifest.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <new>
#include <thread>

#include "backup/sha1.h"
#include "platform/bytereader.h"
#include "platform/localtime.h"

namespace pixhaven::backup {

using platform::ByteReader;
namespace {

constexpr std::size_t kHeaderSize = 6;
constexpr std::uint16_t kAbsent = 0xFFFF;
constexpr std::string_view kMagic = "mbdb";
constexpr std::string_view kNull = "(null)";

void SkipString(ByteReader& reader) {
    const auto length = static_cast<std::uint16_t>(reader.BigEndian(2));
    if (length != kAbsent) {
        reader.Skip(length);
    }
}

// Two digits from a table rather than by division (bench_manifest BM_ReadManifest: 132 ms of
// main-thread time dividing, 119 ms so).
constexpr std::array<char, 200> kTwoDigits = [] {
    std::array<char, 200> digits{};
    for (int i = 0; i < 100; ++i) {
        digits[2 * i] = static_cast<char>('0' + i / 10);
        digits[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return digits;
}();

void WriteTwoDigits(char* out, int value) {
    const auto* digits = &kTwoDigits[2 * static_cast<unsigned>(value % 100)];
    out[0] = digits[0];
    out[1] = digits[1];
}

// "%m-%d-%Y %H:%M:%S" without the C library's locale machinery (bench_manifest BM_ReadManifest).
void WriteTimeText(const platform::CivilTime& t, char* out) {
    WriteTwoDigits(out, t.month);
    out[2] = '-';
    WriteTwoDigits(out + 3, t.day);
    out[5] = '-';
    WriteTwoDigits(out + 6, t.year / 100);
    WriteTwoDigits(out + 8, t.year % 100);
    out[10] = ' ';
    WriteTwoDigits(out + 11, t.hour);
    out[13] = ':';
    WriteTwoDigits(out + 14, t.minute);
    out[16] = ':';
    WriteTwoDigits(out + 17, t.second);
}

// SHA-1 of domain "-" path into `out`. The whole text is hashed, however long: that is the name
// the backup gave the file, so cutting the text would point at a file that does not exist.
void WriteStoredName(std::optional<std::string_view> domain, std::optional<std::string_view> path,
                     char (&out)[40]) {
    const std::string_view d = domain.value_or(kNull);
    const std::string_view p = path.value_or(kNull);
    Sha1 sha;
    sha.Update(d.data(), d.size());
    sha.Update("-", 1);
    sha.Update(p.data(), p.size());
    DigestHex(sha.Finish(), out);
}

}  // namespace

Manifest::Bytes Manifest::AllocateBytes(std::size_t size) {
    return Bytes(static_cast<unsigned char*>(platform::AllocateLargeBlock(size)),
                 ManifestBytesDeleter{size});
}

std::optional<std::string_view> ManifestRecord::Text(int index) const {
    const unsigned char* p = texts_;
    for (int i = 0;; ++i) {
        const auto length = static_cast<std::uint16_t>((p[0] << 8) | p[1]);
        p += 2;
        if (i == index) {
            if (length == kAbsent) {
                return std::nullopt;
            }
            return std::string_view(reinterpret_cast<const char*>(p), length);
        }
        if (length != kAbsent) {
            p += length;
        }
    }
}

std::optional<std::string> ManifestRecord::DataHash() const {
    const std::optional<std::string_view> raw = Text(3);
    if (!raw) {
        return std::nullopt;
    }
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(raw->size() * 2);
    for (const char c : *raw) {
        const auto byte = static_cast<unsigned char>(c);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0x0F];
    }
    return hex;
}

std::filesystem::path ManifestRecord::StoredFile(const std::filesystem::path& backupFolder) const {
    const std::string_view name = StoredName();
    if (layout_ == StoredLayout::ByPrefix) {
        return backupFolder / name.substr(0, 2) / name;
    }
    return backupFolder / name;
}

// Turns the bytes of a whole file into records, in two passes: the first only finds where the
// complete records start, so the second can build them in storage of the right size, split between
// two threads on a large manifest (hashing the stored names is most of the work; bench_manifest
// BM_ReadManifest).
class ManifestParser {
public:
    static std::optional<Manifest> ParseCopy(std::string_view bytes) {
        Manifest::Bytes copy = Manifest::AllocateBytes(bytes.size());
        if (!copy) {
            return std::nullopt;
        }
        std::copy(bytes.begin(), bytes.end(), copy.get());
        return ParseOrNone(std::move(copy), bytes.size());
    }

    static std::optional<Manifest> ReadFile(const std::filesystem::path& file) {
        std::error_code error;
        if (!std::filesystem::is_regular_file(file, error)) {
            return std::nullopt;
        }
        const std::uintmax_t size = std::filesystem::file_size(file, error);
        if (error || size > std::numeric_limits<std::size_t>::max() / 2) {
            return std::nullopt;
        }
        std::ifstream stream(file, std::ios::binary);
        Manifest::Bytes bytes = Manifest::AllocateBytes(static_cast<std::size_t>(size));
        if (!stream || !bytes) {
            return std::nullopt;
        }
        // A file that shrank since its size was taken is parsed as far as it could be read.
        const std::streamsize read = stream.rdbuf()->sgetn(reinterpret_cast<char*>(bytes.get()),
                                                           static_cast<std::streamsize>(size));
        return ParseOrNone(std::move(bytes),
                           static_cast<std::size_t>(std::max<std::streamsize>(read, 0)));
    }

private:
    // Out of memory for the records gives no manifest rather than a partial one.
    static std::optional<Manifest> ParseOrNone(Manifest::Bytes bytes, std::size_t size) {
        try {
            return Parse(std::move(bytes), size);
        } catch (const std::bad_alloc&) {
            return std::nullopt;
        }
    }

    static std::optional<Manifest> Parse(Manifest::Bytes bytes, std::size_t size) {
        if (size < kHeaderSize ||
            std::string_view(reinterpret_cast<const char*>(bytes.get()), 4) != kMagic) {
            return std::nullopt;
        }
        const RecordIndex index = IndexRecords(bytes.get() + kHeaderSize, bytes.get() + size);
        if (index.count == 0) {
            return std::nullopt;
        }
        Manifest manifest;
        manifest.records_.resize(index.count);
        ReadRecordsInParallel(index, bytes.get() + size, manifest.records_);
        manifest.bytes_ = std::move(bytes);
        return manifest;
    }

    static constexpr std::size_t kChunk = 16384;  // records per unit of parallel work

    struct RecordIndex {
        std::size_t count = 0;
        std::vector<const unsigned char*> chunkStarts;  // start of records 0, kChunk, 2 * kChunk...
    };

    static RecordIndex IndexRecords(const unsigned char* begin, const unsigned char* end) {
        ByteReader reader(begin, end);
        RecordIndex index;
        while (!reader.AtEnd()) {
            const unsigned char* start = reader.Cursor();
            SkipRecord(reader);
            if (reader.Failed()) {
                break;  // a record running past the end is dropped; earlier ones stay
            }
            if (index.count % kChunk == 0) {
                index.chunkStarts.push_back(start);
            }
            ++index.count;
        }
        return index;
    }

    static void ReadRecordsInParallel(const RecordIndex& index, const unsigned char* end,
                                      ManifestRecords& records) {
        const std::size_t chunks = index.chunkStarts.size();
        if (chunks < 2) {
            ReadRecordRange(index.chunkStarts[0], end, records.data(), records.size());
            return;
        }
        const std::size_t split = chunks / 2;  // first half of the chunks here, the rest there
        const std::size_t firstCount = split * kChunk;
        std::exception_ptr failure;
        {
            std::jthread helper([&] {
                try {
                    ReadRecordRange(index.chunkStarts[split], end, records.data() + firstCount,
                                    records.size() - firstCount);
                } catch (...) {
                    failure = std::current_exception();
                }
            });
            ReadRecordRange(index.chunkStarts[0], end, records.data(), firstCount);
        }
        if (failure) {
            std::rethrow_exception(failure);
        }
    }

    static void ReadRecordRange(const unsigned char* start, const unsigned char* end,
                                ManifestRecord* out, std::size_t count) {
        ByteReader reader(start, end);
        platform::LocalTimeConverter clock;
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = ReadRecord(reader, clock);
        }
    }

    static void SkipRecord(ByteReader& reader) {
        for (int i = 0; i < 5; ++i) {
            SkipString(reader);
        }
        reader.Skip(2 + 8 + 4 + 4 + 4 + 4 + 4 + 8 + 1);
        const auto properties = reader.BigEndian(1);
        for (std::uint64_t i = 0; i < properties; ++i) {
            SkipString(reader);
            SkipString(reader);
        }
    }

    // Reads a record already known to be complete.
    static ManifestRecord ReadRecord(ByteReader& reader, platform::LocalTimeConverter& clock) {
        ManifestRecord record;
        record.texts_ = reader.Cursor();
        for (int i = 0; i < 5; ++i) {
            SkipString(reader);
        }
        record.mode = static_cast<std::uint16_t>(reader.BigEndian(2));
        record.inodeHigh = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.inodeLow = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.userId = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.groupId = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.modified = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.accessed = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.created = static_cast<std::uint32_t>(reader.BigEndian(4));
        record.size = static_cast<std::uint32_t>(reader.BigEndian(8));
        record.protectionClass = static_cast<std::int32_t>(reader.BigEndian(1));
        record.propertyCount = static_cast<std::int32_t>(reader.BigEndian(1));
        for (std::int32_t i = 0; i < record.propertyCount; ++i) {
            SkipString(reader);
            SkipString(reader);
        }
        FormatTime(record.modified, clock, record.modifiedText_);
        FormatTime(record.accessed, clock, record.accessedText_);
        FormatTime(record.created, clock, record.createdText_);
        char name[40];
        WriteStoredName(record.Domain(), record.Path(), name);
        std::copy(std::begin(name), std::end(name), record.storedName_.begin());
        return record;
    }

public:
    static void FormatTime(std::uint32_t seconds, platform::LocalTimeConverter& clock,
                           ManifestRecord::TimeTextBuffer& out) {
        if (seconds != 0) {
            WriteTimeText(clock.ToLocal(seconds), out.data());
        }
    }
};

ManifestBuilder::ManifestBuilder(std::size_t expectedRecords)
    : clock_(std::make_unique<platform::LocalTimeConverter>()) {
    records_.reserve(expectedRecords);
}

unsigned char* ManifestBuilder::TextSpace(std::size_t bytes) {
    constexpr std::size_t kBlockBytes = std::size_t{4} << 20;
    if (static_cast<std::size_t>(textEnd_ - textCursor_) < bytes) {
        const std::size_t size = std::max(bytes, kBlockBytes);
        Manifest::Bytes block = Manifest::AllocateBytes(size);
        if (!block) {
            throw std::bad_alloc();
        }
        textCursor_ = block.get();
        textEnd_ = textCursor_ + size;
        textBlocks_.push_back(std::move(block));
    }
    unsigned char* space = textCursor_;
    textCursor_ += bytes;
    return space;
}

namespace {

unsigned char* PutText(unsigned char* out, std::optional<std::string_view> text) {
    const std::size_t length = text ? text->size() : kAbsent;
    *out++ = static_cast<unsigned char>(length >> 8);
    *out++ = static_cast<unsigned char>(length & 0xFF);
    if (text && !text->empty()) {
        std::memcpy(out, text->data(), text->size());
        out += text->size();
    }
    return out;
}

}  // namespace

bool ManifestBuilder::Add(std::string_view storedName, std::optional<std::string_view> domain,
                          std::optional<std::string_view> path, const RecordFacts& facts) {
    const auto fits = [](std::optional<std::string_view> text) {
        return !text || text->size() < kAbsent;
    };
    if (storedName.size() != std::tuple_size_v<decltype(ManifestRecord::storedName_)> ||
        !fits(domain) || !fits(path) || !fits(facts.encryptionKey)) {
        return false;
    }
    // Domain, path, then link target and data hash (absent) and the encryption key.
    constexpr std::size_t kLengthBytes = 2 * 5;
    const auto length = [](std::optional<std::string_view> text) {
        return text ? text->size() : 0;
    };
    unsigned char* texts =
        TextSpace(kLengthBytes + length(domain) + length(path) + length(facts.encryptionKey));
    unsigned char* out = PutText(PutText(texts, domain), path);
    out = PutText(PutText(out, std::nullopt), std::nullopt);
    PutText(out, facts.encryptionKey);
    ManifestRecord& record = records_.emplace_back();
    record.texts_ = texts;
    record.mode = facts.mode;
    record.modified = facts.modified;
    record.accessed = facts.accessed;
    record.created = facts.created;
    record.size = static_cast<std::uint32_t>(facts.size);  // low 32 bits, as Manifest.mbdb keeps
    record.protectionClass = facts.protectionClass;
    ManifestParser::FormatTime(record.modified, *clock_, record.modifiedText_);
    ManifestParser::FormatTime(record.accessed, *clock_, record.accessedText_);
    ManifestParser::FormatTime(record.created, *clock_, record.createdText_);
    std::copy(storedName.begin(), storedName.end(), record.storedName_.begin());
    record.layout_ = StoredLayout::ByPrefix;
    record.hasContent_ = facts.hasContent;
    return true;
}

Manifest ManifestBuilder::Join(std::vector<ManifestBuilder>& parts) {
    Manifest manifest;
    manifest.modern_ = true;
    if (parts.empty()) {
        return manifest;
    }
    std::size_t count = 0;
    for (const ManifestBuilder& part : parts) {
        count += part.records_.size();
    }
    manifest.records_ = std::move(parts.front().records_);
    manifest.records_.reserve(count);
    for (ManifestBuilder& part : parts) {
        manifest.records_.insert(manifest.records_.end(), part.records_.begin(),
                                 part.records_.end());
        // The part's memory goes now, not with the vector of parts.
        decltype(part.records_)().swap(part.records_);
        std::move(part.textBlocks_.begin(), part.textBlocks_.end(),
                  std::back_inserter(manifest.textBlocks_));
        part.textBlocks_.clear();
    }
    return manifest;
}

std::optional<Manifest> ParseManifest(std::string_view bytes) {
    return ManifestParser::ParseCopy(bytes);
}

std::optional<Manifest> ReadManifest(const std::filesystem::path& file) {
    return ManifestParser::ReadFile(file);
}

std::string MakeStoredName(std::optional<std::string_view> domain,
                           std::optional<std::string_view> path) {
    char name[40];
    WriteStoredName(domain, path, name);
    return std::string(name, sizeof name);
}

std::string FormatRecordTime(std::uint32_t seconds) {
    if (seconds == 0) {
        return {};
    }
    char text[19];
    WriteTimeText(platform::ToLocalTime(seconds), text);
    return std::string(text, sizeof text);
}

}  // namespace pixhaven::backup
