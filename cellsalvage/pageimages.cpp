#include "cellsalvage/pageimages.h"

#include <algorithm>
#include <array>
#include <optional>

#include "platform/sqlitewal.h"

namespace cellsalvage {

namespace pages = pixhaven::sqlitepages;

namespace {

// Bytes read at once around a wanted page (bench_cellsalvage).
constexpr std::size_t kWindowBytes = std::size_t{1} << 20;

std::optional<pages::FileHeader> ReadHeader(pages::PageSource& source) {
    std::array<unsigned char, pages::kFileHeaderSize> bytes{};
    if (!source.Read(0, bytes)) {
        return std::nullopt;
    }
    return pages::ParseFileHeader(bytes);
}

}  // namespace

// The file with the log's committed frames laid over it: the bytes SQLite reads now.
class PageImages::Overlay final : public pages::PageSource {
public:
    Overlay(pages::PageSource& file, pages::PageSource& log, std::uint32_t pageSize,
            const std::map<std::uint32_t, std::uint64_t>& frames, std::uint64_t size)
        : file_(file), log_(log), pageSize_(pageSize), frames_(frames), size_(size) {}

    std::uint64_t Size() const override { return size_; }
    std::unique_ptr<PageSource> Clone() const override { return nullptr; }

    std::size_t ReadUpTo(std::uint64_t position, std::span<unsigned char> out) override {
        std::size_t done = 0;
        while (done < out.size() && position + done < size_) {
            const std::uint64_t at = position + done;
            const auto page = static_cast<std::uint32_t>(at / pageSize_ + 1);
            const std::uint64_t within = at % pageSize_;
            const auto chunk = static_cast<std::size_t>(
                std::min<std::uint64_t>({out.size() - done, pageSize_ - within, size_ - at}));
            const auto frame = frames_.find(page);
            const std::size_t arrived =
                frame != frames_.end()
                    ? log_.ReadUpTo(frame->second + within, out.subspan(done, chunk))
                    : file_.ReadUpTo(at, out.subspan(done, chunk));
            done += arrived;
            if (arrived < chunk) {
                break;
            }
        }
        return done;
    }

private:
    pages::PageSource& file_;
    pages::PageSource& log_;
    std::uint64_t pageSize_;
    const std::map<std::uint32_t, std::uint64_t>& frames_;
    std::uint64_t size_;
};

PageImages::~PageImages() = default;

std::unique_ptr<PageImages> PageImages::Open(const std::filesystem::path& database) {
    std::unique_ptr<PageImages> images(new PageImages());
    images->file_ = pages::OpenFilePages(database);
    if (!images->file_) {
        return nullptr;
    }
    const std::optional<pages::FileHeader> header = ReadHeader(*images->file_);
    if (!header) {
        return nullptr;
    }
    images->header_ = *header;
    images->fileReader_ = std::make_unique<pages::PageReader>(
        *images->file_, header->pageSize, kWindowBytes, pages::PageReader::LastPage::ZeroFilled);
    images->current_ = images->fileReader_.get();
    std::filesystem::path logPath = database;
    logPath += "-wal";
    std::error_code error;
    if (std::filesystem::is_regular_file(logPath, error)) {
        images->log_ = pages::OpenFilePages(logPath);
        images->ReadLog();
    }
    return images;
}

void PageImages::ReadLog() {
    std::optional<pages::WalReader> log = log_ ? pages::WalReader::Open(*log_) : std::nullopt;
    if (!log || log->Header().pageSize != header_.pageSize) {
        return;
    }
    std::map<std::uint32_t, std::uint64_t> pending;
    while (log->Next()) {
        const pages::WalFrame& frame = log->Frame();
        frames_.emplace_back(frame.pageNumber, frame.pageOffset);
        pending[frame.pageNumber] = frame.pageOffset;
        if (frame.EndsTransaction()) {
            for (const auto& [page, offset] : pending) {
                currentFrames_[page] = offset;
            }
            pending.clear();
            committedPages_ = frame.commitSize;
        }
    }
    if (currentFrames_.empty()) {
        return;
    }
    overlay_ = std::make_unique<Overlay>(*file_, *log_, header_.pageSize, currentFrames_,
                                         std::uint64_t{committedPages_} * header_.pageSize);
    overlayReader_ = std::make_unique<pages::PageReader>(*overlay_, header_.pageSize, kWindowBytes,
                                                         pages::PageReader::LastPage::ZeroFilled);
    current_ = overlayReader_.get();
    if (const std::optional<pages::FileHeader> now = ReadHeader(*overlay_)) {
        header_ = *now;
    }
}

std::vector<std::uint32_t> PageImages::FreelistPages() {
    const pages::Freelist freelist = pages::ReadFreelist(*current_, header_);
    std::vector<std::uint32_t> all = freelist.trunks;
    all.insert(all.end(), freelist.leaves.begin(), freelist.leaves.end());
    return all;
}

void PageImages::ForEachReplacedImage(
    const std::function<void(const unsigned char*, std::uint32_t)>& visit) {
    for (const auto& [page, offset] : currentFrames_) {
        if (const unsigned char* bytes = fileReader_->Page(page)) {
            visit(bytes, page);
        }
    }
    std::vector<unsigned char> image(header_.pageSize + pages::kPagePadding, 0);
    for (const auto& [page, offset] : frames_) {
        const auto now = currentFrames_.find(page);
        if ((now == currentFrames_.end() || now->second != offset) &&
            log_->Read(offset, std::span(image).first(header_.pageSize))) {
            visit(image.data(), page);
        }
    }
}

}  // namespace cellsalvage
