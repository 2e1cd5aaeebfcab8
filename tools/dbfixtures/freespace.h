// Which bytes of a database file (and of its -wal file beside it) hold live b-tree content in the
// state SQLite reads, and which are free: freeblocks, the gap between cell pointers and cells,
// fragments, freelist pages, pages or WAL frames that a later frame replaced. Read raw, on its own,
// so that it can judge a carver without sharing its code.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::dbfixtures {

class FileSpace {
public:
    // `rootPages`: the roots of every table and index (sqlite_master's page 1 is added). Throws
    // std::runtime_error when the file is no database.
    FileSpace(const std::filesystem::path& database, const std::vector<std::uint32_t>& rootPages);

    // Whether `bytes` occur whole inside one free stretch, or inside one stretch of live cell bytes
    // (cells of the current page images and the overflow pages they chain to).
    bool FoundInFreeSpace(std::string_view bytes) const;
    bool FoundInLiveCells(std::string_view bytes) const;

    std::uint32_t pageSize() const { return pageSize_; }

    // Bytes of each kind in both files together.
    std::uint64_t freeBytes() const { return free_.text.size(); }
    std::uint64_t liveBytes() const { return live_.text.size(); }

private:
    // The stretches of one kind, laid end to end, and where each stretch starts in `text`.
    struct Stretches {
        std::string text;
        std::vector<std::size_t> starts;
        bool Contains(std::string_view bytes) const;
    };

    std::uint32_t pageSize_ = 0;
    Stretches free_;
    Stretches live_;
};

}  // namespace pixhaven::dbfixtures
