#include "platform/sqlitepages.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>

namespace pixhaven::sqlitepages {
namespace {

constexpr std::string_view kMagic{"SQLite format 3\0", 16};
constexpr std::uint32_t kLeastUsable = 480;

// Up to out.size() bytes at `position` of `buffer`'s file; how many arrived.
std::size_t ReadFromBuffer(std::streambuf& buffer, std::uint64_t position,
                           std::span<unsigned char> out) {
    const auto at = static_cast<std::streamoff>(position);
    if (out.empty() || buffer.pubseekpos(at, std::ios::in) != std::streampos(at)) {
        return 0;
    }
    const std::streamsize arrived =
        buffer.sgetn(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(out.size()));
    return arrived > 0 ? static_cast<std::size_t>(arrived) : 0;
}

class FilePages final : public PageSource {
public:
    static std::unique_ptr<FilePages> Open(const std::filesystem::path& file) {
        auto pages = std::unique_ptr<FilePages>(new FilePages(file));
        std::error_code error;
        pages->size_ = std::filesystem::file_size(file, error);
        // Unbuffered: every read is a large positioned read straight into the caller's memory.
        pages->stream_.rdbuf()->pubsetbuf(nullptr, 0);
        pages->stream_.open(file, std::ios::binary);
        if (error || !pages->stream_) {
            return nullptr;
        }
        return pages;
    }

    std::uint64_t Size() const override { return size_; }

    std::size_t ReadUpTo(std::uint64_t position, std::span<unsigned char> out) override {
        if (position >= size_) {
            return 0;
        }
        return ReadFromBuffer(*stream_.rdbuf(), position,
                              out.first(static_cast<std::size_t>(
                                  std::min<std::uint64_t>(out.size(), size_ - position))));
    }

    std::unique_ptr<PageSource> Clone() const override { return Open(file_); }

private:
    explicit FilePages(std::filesystem::path file) : file_(std::move(file)) {}

    std::filesystem::path file_;
    std::ifstream stream_;
    std::uint64_t size_ = 0;
};

class MemoryPageSource final : public PageSource {
public:
    explicit MemoryPageSource(std::string_view bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadUpTo(std::uint64_t position, std::span<unsigned char> out) override {
        if (position >= bytes_.size()) {
            return 0;
        }
        const std::size_t count =
            std::min(out.size(), bytes_.size() - static_cast<std::size_t>(position));
        std::memcpy(out.data(), bytes_.data() + position, count);
        return count;
    }
    std::unique_ptr<PageSource> Clone() const override {
        return std::make_unique<MemoryPageSource>(bytes_);
    }

private:
    std::string_view bytes_;
};

// Where a walk goes next: a page and its depth below the root.
struct Pending {
    std::uint32_t page;
    std::size_t depth;
};

// One table b-tree walk; see TreeWalkRules.
class TreeWalk {
public:
    TreeWalk(PageReader& pages, std::uint32_t usable, const TreeWalkRules& rules)
        : pages_(pages), usable_(usable), rules_(rules), visited_(pages.PageCount() + 1) {}

    std::optional<std::vector<std::uint32_t>> Run(std::uint32_t root) {
        pending_.push_back({root, 0});
        while (!pending_.empty()) {
            const Pending next = pending_.back();
            pending_.pop_back();
            if (!Visit(next) && rules_.refuseDamage) {
                return std::nullopt;
            }
        }
        return std::move(leaves_);
    }

private:
    // False on damage.
    bool Visit(const Pending& next) {
        if (next.page == 0 || next.page >= visited_.size() || visited_[next.page] ||
            next.depth > kMaxTreeDepth) {
            return false;
        }
        visited_[next.page] = true;
        if (rules_.leavesByDepth && next.depth == leafDepth_) {
            leaves_.push_back(next.page);
            return true;
        }
        const unsigned char* bytes = pages_.Page(next.page);
        if (bytes == nullptr) {
            return false;
        }
        const std::size_t header = rules_.fileHeaderOnPageOne ? HeaderOffsetOf(next.page) : 0;
        const BtreePage page(bytes, header, usable_);
        if (page.Type() == kTableLeaf) {
            leafDepth_ = leafDepth_.value_or(next.depth);
            leaves_.push_back(next.page);
            return true;
        }
        return page.Type() == kTableInterior && PushChildren(page, next.depth + 1);
    }

    // Queues the children so that the first to visit is on top; false on damage.
    bool PushChildren(const BtreePage& page, std::size_t depth) {
        const std::uint32_t cells = page.CellCount();
        if (rules_.refuseDamage && cells != page.StoredCellCount()) {
            return false;
        }
        children_.clear();
        for (std::uint32_t i = 0; i < cells; ++i) {
            const std::size_t offset = page.CellOffset(i);
            const bool fits =
                rules_.refuseDamage ? page.InContentArea(offset, 4) : offset + 4 <= page.Usable();
            if (fits) {
                children_.push_back(Load32(page.Bytes() + offset));
            } else if (rules_.refuseDamage) {
                return false;
            }
        }
        if (rules_.rightChildFirst) {
            children_.insert(children_.begin(), page.RightChild());
        } else {
            children_.push_back(page.RightChild());
        }
        for (auto child = children_.rbegin(); child != children_.rend(); ++child) {
            pending_.push_back({*child, depth});
        }
        return true;
    }

    PageReader& pages_;
    std::uint32_t usable_;
    const TreeWalkRules& rules_;
    std::vector<bool> visited_;
    std::vector<Pending> pending_;
    std::vector<std::uint32_t> children_;
    std::vector<std::uint32_t> leaves_;
    std::optional<std::size_t> leafDepth_;
};

}  // namespace

// ---- Records

RecordParse ParseRecord(std::span<const unsigned char> region, std::vector<RecordField>& fields) {
    fields.clear();
    std::size_t pos = 0;
    std::uint64_t headerSize = 0;
    if (!ReadVarint(region.data(), region.size(), pos, headerSize) || headerSize < pos ||
        headerSize > region.size()) {
        return RecordParse::Invalid;
    }
    const auto header = static_cast<std::size_t>(headerSize);
    std::size_t body = header;
    bool truncated = false;
    while (pos < header) {
        std::uint64_t type = 0;
        if (!ReadVarint(region.data(), header, pos, type) ||
            ClassOf(type) == SerialClass::Reserved) {
            return RecordParse::Invalid;
        }
        const std::uint64_t length = SerialTypeLength(type);
        if (truncated || length > region.size() - body) {
            truncated = true;
            continue;  // the header is still read to its end, to tell a broken one
        }
        fields.push_back({type, body, static_cast<std::size_t>(length)});
        body += static_cast<std::size_t>(length);
    }
    return truncated ? RecordParse::Truncated : RecordParse::Complete;
}

// ---- The file header

std::uint32_t PageSizeFromStored(std::uint32_t stored) {
    const std::uint32_t size = stored == 1 ? 65536U : stored;
    return size >= 512 && size <= 65536 && std::has_single_bit(size) ? size : 0;
}

std::optional<FileHeader> ParseFileHeader(std::span<const unsigned char> bytes) {
    if (bytes.size() < kFileHeaderSize ||
        std::memcmp(bytes.data(), kMagic.data(), kMagic.size()) != 0) {
        return std::nullopt;
    }
    const unsigned char* p = bytes.data();
    FileHeader header;
    header.pageSize = PageSizeFromStored(Load16(p + 16));
    header.reservedBytes = p[20];
    if (header.pageSize == 0 || header.pageSize - header.reservedBytes < kLeastUsable) {
        return std::nullopt;
    }
    header.usableSize = header.pageSize - header.reservedBytes;
    header.writeVersion = p[18];
    header.readVersion = p[19];
    header.maxPayloadFraction = p[21];
    header.minPayloadFraction = p[22];
    header.leafPayloadFraction = p[23];
    header.changeCounter = Load32(p + 24);
    header.pageCount = Load32(p + 28);
    header.firstFreelistTrunk = Load32(p + 32);
    header.freelistCount = Load32(p + 36);
    header.textEncoding = Load32(p + 56);
    header.versionValidFor = Load32(p + 92);
    return header;
}

// ---- Sources

std::unique_ptr<PageSource> OpenFilePages(const std::filesystem::path& file) {
    return FilePages::Open(file);
}

std::unique_ptr<PageSource> MemoryPages(std::string_view bytes) {
    return std::make_unique<MemoryPageSource>(bytes);
}

std::size_t StreamPages::ReadUpTo(std::uint64_t position, std::span<unsigned char> out) {
    if (position >= size_ || stream_.rdbuf() == nullptr) {
        return 0;
    }
    stream_.clear();
    return ReadFromBuffer(
        *stream_.rdbuf(), position,
        out.first(static_cast<std::size_t>(std::min<std::uint64_t>(out.size(), size_ - position))));
}

PageReader::PageReader(PageSource& source, std::uint32_t pageSize, std::size_t windowBytes,
                       LastPage lastPage)
    : source_(&source),
      pageSize_(pageSize),
      windowPages_(std::max<std::size_t>(windowBytes / std::max<std::uint32_t>(pageSize, 1), 1)),
      lastPage_(lastPage) {
    if (pageSize_ != 0) {
        const std::uint64_t size = source.Size();
        pageCount_ = size / pageSize_ + (lastPage == LastPage::ZeroFilled && size % pageSize_ != 0);
    }
}

const unsigned char* PageReader::Load(std::uint64_t number) {
    if (number == 0 || number > pageCount_) {
        return nullptr;
    }
    const std::uint64_t first = (number - 1) / windowPages_ * windowPages_ + 1;
    if (Fill(first, std::min(windowPages_, pageCount_ - first + 1)) <= number - first) {
        return nullptr;
    }
    return window_.data() + (number - first) * pageSize_;
}

bool PageReader::LoadRun(std::uint64_t first, std::uint64_t last) {
    if (first == 0 || last < first || last > pageCount_) {
        return false;
    }
    const std::uint64_t count = last - first + 1;
    return Fill(first, count) == count;
}

std::uint64_t PageReader::Fill(std::uint64_t first, std::uint64_t count) {
    const std::uint64_t start = (first - 1) * pageSize_;
    const auto bytes = static_cast<std::size_t>(count * pageSize_);
    window_.resize(bytes + kPagePadding);
    const std::size_t arrived = source_->ReadUpTo(start, std::span(window_).first(bytes));
    std::fill(window_.begin() + static_cast<std::ptrdiff_t>(arrived), window_.end(), 0);
    const std::uint64_t pages = lastPage_ == LastPage::ZeroFilled
                                    ? (arrived + pageSize_ - 1) / pageSize_
                                    : arrived / pageSize_;
    first_ = pages > 0 ? first : 0;
    loaded_ = pages;
    return pages;
}

// ---- Overflow chains

OverflowReader::OverflowReader(PageSource& source, std::uint32_t pageSize, std::uint32_t usable)
    : source_(&source),
      pageSize_(pageSize),
      usable_(usable),
      pageCount_(pageSize != 0 ? source.Size() / pageSize : 0) {}

bool OverflowReader::Gather(const BtreePage& page, const Cell& cell,
                            std::vector<unsigned char>& payload) {
    const unsigned char* local = page.Bytes() + cell.payloadOffset;
    payload.assign(local, local + cell.localSize);
    if (cell.localSize >= cell.payloadSize) {
        return true;
    }
    // Each overflow page carries usable - 4 bytes, so a sound chain fits the file.
    if (cell.payloadSize - cell.localSize > pageCount_ * (usable_ - 4)) {
        return false;
    }
    if (passed_.size() != pageCount_ + 1) {
        passed_.assign(pageCount_ + 1, 0);
    }
    ++chain_;
    page_.resize(pageSize_);
    payload.resize(static_cast<std::size_t>(cell.payloadSize));
    std::uint32_t next = cell.firstOverflow;
    for (std::size_t filled = cell.localSize; filled < payload.size();) {
        if (next == 0 || next > pageCount_ || passed_[next] == chain_ ||
            !source_->Read(std::uint64_t{next - 1} * pageSize_, page_)) {
            return false;
        }
        passed_[next] = chain_;
        const std::size_t take = std::min<std::size_t>(payload.size() - filled, usable_ - 4);
        std::memcpy(payload.data() + filled, page_.data() + 4, take);
        filled += take;
        next = Load32(page_.data());
    }
    return true;
}

// ---- Freeblocks

void FreeblockWalker::Collect(const BtreePage& page, std::vector<Freeblock>& out) {
    out.clear();
    const std::uint32_t usable = page.Usable();
    const unsigned char* bytes = page.Bytes();
    std::uint32_t offset = page.FirstFreeblock();
    if (rules_ == FreeblockRules::RepeatsOnly) {
        if (seen_.size() < usable) {
            seen_.assign(usable, 0);
        }
        ++chain_;
        while (offset != 0 && offset + 4 <= usable && seen_[offset] != chain_) {
            seen_[offset] = chain_;
            out.push_back({offset, Load16(bytes + offset + 2)});
            offset = Load16(bytes + offset);
        }
        return;
    }
    std::size_t earliest = page.PointerArrayEnd();
    while (offset != 0 && offset >= earliest && offset + 4 <= usable) {
        const std::uint32_t size = Load16(bytes + offset + 2);
        if (size < 4 || size > usable - offset) {
            return;
        }
        out.push_back({offset, size});
        earliest = offset + size;
        offset = Load16(bytes + offset);
    }
}

// ---- Trees and the freelist

std::optional<std::vector<std::uint32_t>> TableLeaves(PageReader& pages, std::uint32_t root,
                                                      std::uint32_t usable,
                                                      const TreeWalkRules& rules) {
    return TreeWalk(pages, usable, rules).Run(root);
}

Freelist ReadFreelist(PageReader& pages, const FileHeader& header) {
    Freelist list;
    std::vector<bool> seen(pages.PageCount() + 1);
    const auto fresh = [&](std::uint32_t page) {
        if (page == 0 || page >= seen.size() || seen[page]) {
            return false;
        }
        seen[page] = true;
        return true;
    };
    // A trunk's leaf numbers fill its usable part after the 8-byte header.
    const std::uint32_t usable = std::min(header.usableSize, pages.PageSize());
    const std::uint32_t mostLeaves = usable >= 8 ? usable / 4 - 2 : 0;
    bool skipped = false;
    std::uint32_t trunk = header.firstFreelistTrunk;
    while (trunk != 0 && fresh(trunk)) {
        const unsigned char* bytes = pages.Page(trunk);
        if (bytes == nullptr) {
            break;
        }
        list.trunks.push_back(trunk);
        const std::uint32_t stored = Load32(bytes + 4);
        const std::uint32_t count = std::min(stored, mostLeaves);
        skipped = skipped || count != stored;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t leaf = Load32(bytes + 8 + 4 * std::size_t{i});
            if (fresh(leaf)) {
                list.leaves.push_back(leaf);
            } else {
                skipped = true;
            }
        }
        trunk = Load32(bytes);
    }
    list.complete =
        trunk == 0 && !skipped && list.trunks.size() + list.leaves.size() == header.freelistCount;
    return list;
}

}  // namespace pixhaven::sqlitepages
