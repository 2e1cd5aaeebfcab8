// Write-ahead logs that SQLite wrote, read whole and then cut or damaged: a log is believed up to
// its first frame that is cut short, carries other salts or breaks the checksum chain, and a
// damaged header refuses the log. Nothing is read past the log's end.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/sqlitewal.h"
#include "tests/support/tempdir.h"

namespace {

namespace pages = pixhaven::sqlitepages;

constexpr std::size_t kFrame = pages::kWalFrameHeaderSize + 512;

// The offset of byte `at` of frame `index` (from 0).
constexpr std::size_t InFrame(std::size_t index, std::size_t at) {
    return pages::kWalHeaderSize + index * kFrame + at;
}

std::string Log(const char* name) {
    return pixhaven::test::ReadFile(std::filesystem::path(PIXHAVEN_WAL_LOGS) / name);
}

void Flip(std::string& bytes, std::size_t at) {
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
}

TEST(SqliteWal, CutAndDamagedLogsEndAtTheLastSoundFrame) {
    // committed.wal: pages 1 and 2 created in one transaction, then four commits of page 2, all
    // of 512-byte pages; stale.wal: one frame after a checkpoint, two left from before it.
    struct Case {
        const char* name;
        const char* log;
        std::function<void(std::string&)> damage;
        int frames;  // -1: the log is refused
    };
    const std::vector<Case> cases = {
        {"as written", "committed.wal", [](std::string&) {}, 5},
        {"big-endian checksums", "bigendian.wal", [](std::string&) {}, 5},
        {"frames from before a checkpoint", "stale.wal", [](std::string&) {}, 1},
        {"no transaction ended", "uncommitted.wal", [](std::string&) {}, 1},
        {"empty", "committed.wal", [](std::string& log) { log.clear(); }, -1},
        {"cut in the header", "committed.wal", [](std::string& log) { log.resize(20); }, -1},
        {"header alone", "committed.wal", [](std::string& log) { log.resize(32); }, 0},
        {"cut in a frame header", "committed.wal",
         [](std::string& log) { log.resize(InFrame(2, 10)); }, 2},
        {"cut in a page", "committed.wal", [](std::string& log) { log.resize(InFrame(3, 300)); },
         3},
        {"cut a byte short", "committed.wal", [](std::string& log) { log.pop_back(); }, 4},
        {"header checksum", "committed.wal", [](std::string& log) { Flip(log, 25); }, -1},
        {"magic", "committed.wal", [](std::string& log) { Flip(log, 2); }, -1},
        {"salt of a frame", "committed.wal", [](std::string& log) { Flip(log, InFrame(2, 8)); }, 2},
        {"page of a frame", "committed.wal", [](std::string& log) { Flip(log, InFrame(2, 100)); },
         2},
        {"checksum of a frame", "committed.wal",
         [](std::string& log) { Flip(log, InFrame(3, 21)); }, 3},
        {"frame's page number", "committed.wal", [](std::string& log) { Flip(log, InFrame(1, 3)); },
         1},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::string bytes = Log(test.log);
        ASSERT_GE(bytes.size(), InFrame(1, 0));
        test.damage(bytes);
        const auto source = pages::MemoryPages(bytes);
        auto reader = pages::WalReader::Open(*source);
        ASSERT_EQ(reader.has_value(), test.frames >= 0);
        if (!reader) {
            continue;
        }
        EXPECT_EQ(reader->Header().pageSize, 512U);
        std::vector<pages::WalFrame> frames;
        while (reader->Next()) {
            frames.push_back(reader->Frame());
        }
        EXPECT_FALSE(reader->Next());
        ASSERT_EQ(frames.size(), static_cast<std::size_t>(test.frames));
        for (std::size_t i = 0; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].index, i);
            EXPECT_EQ(frames[i].pageOffset, InFrame(i, pages::kWalFrameHeaderSize));
            if (std::string(test.log) != "stale.wal") {
                // The first transaction's first frame (page 1) ends none.
                EXPECT_EQ(frames[i].pageNumber, i == 0 ? 1U : 2U);
                EXPECT_EQ(frames[i].EndsTransaction(), i != 0);
            }
        }
    }
}

}  // namespace
