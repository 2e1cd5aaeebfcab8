// The page layer over every database of the forensic corpus, read the way the carvers and the
// rowid table reader read files: the freelist, table walks from every page as a root under each
// set of rules, and every leaf's cells, payloads, records and freeblocks. Each must simply return
// (the sanitizer build catches any read outside the file); every mode of the carving engine runs
// over the same files in test_hostile_files.cpp.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <span>
#include <vector>

#include "platform/sqlitepages.h"
#include "platform/sqlitewal.h"
#include "tools/dbfixtures/dbfixtures.h"

namespace {

namespace fs = std::filesystem;
namespace pages = pixhaven::sqlitepages;

// The walks of the rowid table reader (strict, and leaves by depth) and of the carvers, which
// take the whole page as usable and read page 1 like any other.
struct Walk {
    pages::TreeWalkRules rules;
    bool wholePageUsable = false;
};

std::vector<Walk> EveryWalk() {
    Walk carving{{}, true};
    carving.rules.refuseDamage = false;
    carving.rules.rightChildFirst = true;
    carving.rules.fileHeaderOnPageOne = false;
    Walk byDepth;
    byDepth.rules.leavesByDepth = true;
    return {Walk{}, carving, byDepth};
}

// Cells, payloads with their overflow chains, records and freeblocks of one page; how many records
// parsed whole.
std::size_t ReadLeaf(const pages::BtreePage& page, pages::OverflowReader& overflow) {
    std::size_t records = 0;
    pages::Cell cell;
    std::vector<unsigned char> payload;
    std::vector<pages::RecordField> fields;
    for (std::uint32_t i = 0; i < page.CellCount(); ++i) {
        if (page.CellAt(page.CellOffset(i), cell) && overflow.Gather(page, cell, payload) &&
            pages::ParseRecord(payload, fields) == pages::RecordParse::Complete) {
            ++records;
        }
    }
    std::vector<pages::Freeblock> chain;
    for (const auto rules : {pages::FreeblockRules::Sqlite, pages::FreeblockRules::RepeatsOnly}) {
        pages::FreeblockWalker(rules).Collect(page, chain);
    }
    return records;
}

struct Totals {
    std::size_t files = 0;
    std::size_t records = 0;
    std::size_t freePages = 0;
};

void ReadDatabase(const fs::path& file, Totals& totals) {
    const auto source = pages::OpenFilePages(file);
    ASSERT_NE(source, nullptr);
    std::array<unsigned char, pages::kFileHeaderSize> bytes{};
    ASSERT_TRUE(source->Read(0, bytes));
    const std::optional<pages::FileHeader> header = pages::ParseFileHeader(bytes);
    ASSERT_TRUE(header.has_value());
    // A database is no log.
    EXPECT_FALSE(pages::WalReader::Open(*source).has_value());

    pages::PageReader reader(*source, header->pageSize, std::size_t{1} << 16,
                             pages::PageReader::LastPage::ZeroFilled);
    const pages::Freelist freelist = pages::ReadFreelist(reader, *header);
    EXPECT_TRUE(freelist.complete);
    totals.freePages += freelist.trunks.size() + freelist.leaves.size();

    std::set<std::uint32_t> leaves;
    for (const Walk& walk : EveryWalk()) {
        const std::uint32_t usable = walk.wholePageUsable ? header->pageSize : header->usableSize;
        for (std::uint32_t root = 1; root <= reader.PageCount(); ++root) {
            const auto found = pages::TableLeaves(reader, root, usable, walk.rules);
            if (found) {
                leaves.insert(found->begin(), found->end());
            }
        }
    }
    pages::OverflowReader overflow(*source, header->pageSize, header->usableSize);
    for (const std::uint32_t leaf : leaves) {
        const unsigned char* page = reader.Page(leaf);
        ASSERT_NE(page, nullptr);
        totals.records += ReadLeaf(
            pages::BtreePage(page, pages::HeaderOffsetOf(leaf), header->usableSize), overflow);
    }
    ++totals.files;
}

TEST(ForensicCorpus, PageLayerReadsEveryDatabase) {
    const std::vector<fs::path> corpus = pixhaven::dbfixtures::ForensicCorpusFiles();
    ASSERT_EQ(corpus.size(), 77U);
    Totals totals;
    for (const fs::path& file : corpus) {
        SCOPED_TRACE(file.filename().string());
        ReadDatabase(file, totals);
    }
    EXPECT_EQ(totals.files, corpus.size());
    // The live rows of every table, and the freelists of the deleted-table and deleted-overflow
    // databases (0A, 0E) as their headers count them.
    EXPECT_GT(totals.records, 10000U);
    EXPECT_EQ(totals.freePages, 19U);
}

}  // namespace
