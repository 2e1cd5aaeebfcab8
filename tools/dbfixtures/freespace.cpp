#include "tools/dbfixtures/freespace.h"

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>

#include "platform/sqlitepages.h"

namespace pixhaven::dbfixtures {
namespace {

enum ByteKind : std::uint8_t { kFree = 0, kLive = 1, kStructure = 2 };

constexpr std::size_t kDatabaseHeader = 100;
constexpr std::size_t kWalHeader = 32;
constexpr std::size_t kFrameHeader = 24;
// More overflow pages than any payload of these files needs: a loop in a chain ends here.
constexpr int kMaxOverflowPages = 1 << 16;

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// One file with a kind per byte.
struct MarkedFile {
    std::string bytes;
    std::vector<std::uint8_t> kinds;

    explicit MarkedFile(std::string content)
        : bytes(std::move(content)), kinds(bytes.size(), kFree) {}

    unsigned Byte(std::size_t at) const {
        return at < bytes.size() ? static_cast<unsigned char>(bytes[at]) : 0U;
    }
    std::uint32_t Big16(std::size_t at) const { return (Byte(at) << 8) | Byte(at + 1); }
    std::uint32_t Big32(std::size_t at) const { return (Big16(at) << 16) | Big16(at + 2); }
    // A varint at `at`; `length` gets its size in bytes.
    std::uint64_t Varint(std::size_t at, std::size_t& length) const {
        std::uint64_t value = 0;
        for (std::size_t i = 0; i < 9; ++i) {
            const unsigned byte = Byte(at + i);
            if (i == 8) {
                length = 9;
                return (value << 8) | byte;
            }
            value = (value << 7) | (byte & 0x7FU);
            if ((byte & 0x80U) == 0) {
                length = i + 1;
                return value;
            }
        }
        return value;
    }
    void Mark(std::size_t from, std::size_t to, ByteKind kind) {
        to = std::min(to, kinds.size());
        for (std::size_t i = from; i < to; ++i) {
            kinds[i] = kind;
        }
    }
};

// Where the image of a page that SQLite reads now lies: which file, from which byte.
struct PageImage {
    int file = 0;
    std::size_t offset = 0;
};

class Walker {
public:
    Walker(MarkedFile& database, MarkedFile& wal, std::uint32_t pageSize, std::uint32_t usable,
           std::map<std::uint32_t, PageImage> images)
        : files_{&database, &wal},
          pageSize_(pageSize),
          usable_(usable),
          images_(std::move(images)) {}

    void VisitTree(std::uint32_t page) {
        if (page == 0 || !visited_.insert(page).second || !images_.contains(page)) {
            return;
        }
        const PageImage image = images_.at(page);
        MarkedFile& file = *files_[static_cast<std::size_t>(image.file)];
        const std::size_t base = image.offset;
        const std::size_t header = base + (page == 1 ? kDatabaseHeader : 0);
        const unsigned type = file.Byte(header);
        if (type != 2 && type != 5 && type != 10 && type != 13) {
            return;
        }
        const bool leaf = type == 10 || type == 13;
        const std::size_t headerLength = leaf ? 8 : 12;
        const std::uint32_t cells = file.Big16(header + 3);
        file.Mark(base, header + headerLength + 2 * std::size_t{cells}, kStructure);
        for (std::uint32_t i = 0; i < cells; ++i) {
            const std::uint32_t pointer = file.Big16(header + headerLength + 2 * std::size_t{i});
            if (pointer < pageSize_) {
                VisitCell(file, base, base + pointer, type);
            }
        }
        if (!leaf) {
            VisitTree(file.Big32(header + 8));
        }
    }

private:
    void VisitCell(MarkedFile& file, std::size_t pageBase, std::size_t cell, unsigned type) {
        std::size_t at = cell;
        if (type == 2 || type == 5) {
            const std::uint32_t child = file.Big32(at);
            at += 4;
            if (type == 5) {
                std::size_t length = 0;
                file.Varint(at, length);
                file.Mark(cell, at + length, kLive);
                VisitTree(child);
                return;
            }
            VisitTree(child);
        }
        std::size_t length = 0;
        const std::uint64_t payload = file.Varint(at, length);
        at += length;
        if (type == 13) {
            file.Varint(at, length);  // the rowid
            at += length;
        }
        const std::uint64_t local =
            pixhaven::sqlitepages::LocalPayloadSize(payload, usable_, type == 13);
        const std::size_t end = std::min<std::size_t>(at + local, pageBase + pageSize_);
        file.Mark(cell, end, kLive);
        if (local < payload) {
            file.Mark(end, end + 4, kLive);
            VisitOverflow(file.Big32(end), payload - local);
        }
    }

    void VisitOverflow(std::uint32_t page, std::uint64_t remaining) {
        for (int step = 0; step < kMaxOverflowPages && page != 0 && remaining > 0; ++step) {
            if (!images_.contains(page)) {
                return;
            }
            const PageImage image = images_.at(page);
            MarkedFile& file = *files_[static_cast<std::size_t>(image.file)];
            const std::uint64_t here = std::min<std::uint64_t>(remaining, usable_ - 4);
            file.Mark(image.offset, image.offset + 4 + here, kLive);
            remaining -= here;
            page = file.Big32(image.offset);
        }
    }

    MarkedFile* files_[2];
    std::uint32_t pageSize_;
    std::uint32_t usable_;
    std::map<std::uint32_t, PageImage> images_;
    std::set<std::uint32_t> visited_;
};

// The page images of the committed WAL frames that replace database pages, and the database size
// in pages the last commit gives (0 when no frame was committed).
std::uint32_t ApplyWal(MarkedFile& wal, std::uint32_t pageSize,
                       std::map<std::uint32_t, PageImage>& images) {
    if (wal.bytes.size() < kWalHeader) {
        wal.Mark(0, wal.bytes.size(), kStructure);
        return 0;
    }
    const std::uint32_t magic = wal.Big32(0);
    if ((magic != 0x377f0682 && magic != 0x377f0683) || wal.Big32(8) != pageSize) {
        return 0;
    }
    wal.Mark(0, kWalHeader, kStructure);
    const std::uint32_t salt1 = wal.Big32(16);
    const std::uint32_t salt2 = wal.Big32(20);
    std::map<std::uint32_t, PageImage> pending;
    std::uint32_t databasePages = 0;
    for (std::size_t frame = kWalHeader; frame + kFrameHeader + pageSize <= wal.bytes.size();
         frame += kFrameHeader + pageSize) {
        if (wal.Big32(frame + 8) != salt1 || wal.Big32(frame + 12) != salt2) {
            break;  // frames of an earlier generation of the log
        }
        wal.Mark(frame, frame + kFrameHeader, kStructure);
        pending[wal.Big32(frame)] = PageImage{1, frame + kFrameHeader};
        if (const std::uint32_t commitSize = wal.Big32(frame + 4); commitSize != 0) {
            for (const auto& [page, image] : pending) {
                images[page] = image;
            }
            pending.clear();
            databasePages = commitSize;
        }
    }
    return databasePages;
}

}  // namespace

bool FileSpace::Stretches::Contains(std::string_view bytes) const {
    if (bytes.empty()) {
        return false;
    }
    const std::boyer_moore_horspool_searcher searcher(bytes.begin(), bytes.end());
    auto from = text.begin();
    while (true) {
        const auto found = std::search(from, text.end(), searcher);
        if (found == text.end()) {
            return false;
        }
        const auto at = static_cast<std::size_t>(found - text.begin());
        const auto next = std::upper_bound(starts.begin(), starts.end(), at);
        const std::size_t end = next == starts.end() ? text.size() : *next;
        if (at + bytes.size() <= end) {
            return true;
        }
        from = found + 1;
    }
}

FileSpace::FileSpace(const std::filesystem::path& database,
                     const std::vector<std::uint32_t>& rootPages) {
    MarkedFile main(ReadBytes(database));
    std::filesystem::path walPath = database;
    walPath += "-wal";
    MarkedFile wal(std::filesystem::exists(walPath) ? ReadBytes(walPath) : std::string());
    if (main.bytes.size() < kDatabaseHeader || main.bytes.compare(0, 16, "SQLite format 3\0", 16)) {
        throw std::runtime_error("not an SQLite database: " + database.string());
    }
    pageSize_ = main.Big16(16) == 1 ? 65536U : main.Big16(16);
    if (pageSize_ < 512) {
        throw std::runtime_error("bad page size in " + database.string());
    }
    const std::uint32_t usable = pageSize_ - main.Byte(20);

    std::map<std::uint32_t, PageImage> images;
    const auto filePages = static_cast<std::uint32_t>(main.bytes.size() / pageSize_);
    for (std::uint32_t page = 1; page <= filePages; ++page) {
        images[page] = PageImage{0, std::size_t{page - 1} * pageSize_};
    }
    if (const std::uint32_t walPages = ApplyWal(wal, pageSize_, images); walPages != 0) {
        std::erase_if(images, [&](const auto& entry) { return entry.first > walPages; });
    }
    main.Mark(0, kDatabaseHeader, kStructure);

    Walker walker(main, wal, pageSize_, usable, images);
    walker.VisitTree(1);
    for (const std::uint32_t root : rootPages) {
        walker.VisitTree(root);
    }

    for (const MarkedFile* file : {&main, &wal}) {
        for (std::size_t at = 0; at < file->bytes.size();) {
            const std::uint8_t kind = file->kinds[at];
            std::size_t end = at;
            while (end < file->bytes.size() && file->kinds[end] == kind) {
                ++end;
            }
            if (kind != kStructure) {
                Stretches& stretches = kind == kFree ? free_ : live_;
                stretches.starts.push_back(stretches.text.size());
                stretches.text.append(file->bytes, at, end - at);
            }
            at = end;
        }
    }
}

bool FileSpace::FoundInFreeSpace(std::string_view bytes) const {
    return free_.Contains(bytes);
}

bool FileSpace::FoundInLiveCells(std::string_view bytes) const {
    return live_.Contains(bytes);
}

}  // namespace pixhaven::dbfixtures
