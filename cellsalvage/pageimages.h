// The page images of a database file and of the write-ahead log beside it (`name-wal`), read raw
// and only read, never checkpointed: the pages as SQLite reads them now (a page's last committed
// frame in the log, else the file), and the older images that newer ones replaced, which still
// hold the rows of their time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "platform/sqlitepages.h"

namespace cellsalvage {

class PageImages {
public:
    // None when the file is no SQLite database (its header does not read).
    static std::unique_ptr<PageImages> Open(const std::filesystem::path& database);
    ~PageImages();
    PageImages(const PageImages&) = delete;
    PageImages& operator=(const PageImages&) = delete;

    // The file header as SQLite reads it now.
    const pixhaven::sqlitepages::FileHeader& Header() const { return header_; }
    // The pages as SQLite reads them now.
    pixhaven::sqlitepages::PageReader& Current() { return *current_; }

    // The database's free pages now: freelist trunks and leaves.
    std::vector<std::uint32_t> FreelistPages();
    // visit(page bytes, page number) for every image a newer one replaced: file pages the log
    // holds a committed image of, and log frames that are not their page's image now.
    void ForEachReplacedImage(
        const std::function<void(const unsigned char*, std::uint32_t)>& visit);

private:
    class Overlay;
    PageImages() = default;
    // Reads the log: which frame is each page's image now, and every frame's place.
    void ReadLog();

    std::unique_ptr<pixhaven::sqlitepages::PageSource> file_;
    std::unique_ptr<pixhaven::sqlitepages::PageSource> log_;
    std::unique_ptr<Overlay> overlay_;
    std::unique_ptr<pixhaven::sqlitepages::PageReader> fileReader_;
    std::unique_ptr<pixhaven::sqlitepages::PageReader> overlayReader_;
    pixhaven::sqlitepages::PageReader* current_ = nullptr;
    pixhaven::sqlitepages::FileHeader header_;
    std::map<std::uint32_t, std::uint64_t> currentFrames_;         // page → its image in the log
    std::vector<std::pair<std::uint32_t, std::uint64_t>> frames_;  // every frame: page, image
    std::uint32_t committedPages_ = 0;
};

}  // namespace cellsalvage
