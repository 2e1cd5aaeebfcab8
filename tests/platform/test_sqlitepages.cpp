// Damaged SQLite files read raw: loops in table trees and in the freelist, freeblock chains that
// loop, overlap or leave the page. Each walk ends quietly with what it can trust, and none reads
// outside the file or runs on (the sanitizer build checks the reads).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/sqlitepages.h"

namespace {

namespace pages = pixhaven::sqlitepages;

constexpr std::uint32_t kPageSize = 512;

void Put16(std::string& bytes, std::size_t at, std::uint32_t value) {
    bytes[at] = static_cast<char>(value >> 8);
    bytes[at + 1] = static_cast<char>(value);
}

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, value >> 16);
    Put16(bytes, at + 2, value & 0xFFFF);
}

// A database of 512-byte pages, each an empty table leaf until told otherwise.
class Image {
public:
    explicit Image(std::uint32_t count) : bytes_(std::size_t{count} * kPageSize, '\0') {
        std::memcpy(bytes_.data(), "SQLite format 3", 16);
        Put16(bytes_, 16, kPageSize);
        bytes_[18] = bytes_[19] = 1;
        bytes_[21] = 64;
        bytes_[22] = bytes_[23] = 32;
        Put32(bytes_, 28, count);
        Put32(bytes_, 56, 1);
        for (std::uint32_t page = 1; page <= count; ++page) {
            Leaf(page);
        }
    }

    void Leaf(std::uint32_t page) { bytes_[Header(page)] = pages::kTableLeaf; }

    // A table interior page whose cells point at `children` (rowid keys 1, 2, ...).
    void Interior(std::uint32_t page, const std::vector<std::uint32_t>& children,
                  std::uint32_t right) {
        const std::size_t header = Header(page);
        bytes_[header] = pages::kTableInterior;
        Put16(bytes_, header + 3, static_cast<std::uint32_t>(children.size()));
        Put32(bytes_, header + 8, right);
        std::size_t cell = Start(page) + kPageSize;
        for (std::size_t i = 0; i < children.size(); ++i) {
            cell -= 5;
            Put32(bytes_, cell, children[i]);
            bytes_[cell + 4] = static_cast<char>(i + 1);
            Put16(bytes_, header + 12 + 2 * i, static_cast<std::uint32_t>(cell - Start(page)));
        }
        Put16(bytes_, header + 5, static_cast<std::uint32_t>(cell - Start(page)));
    }

    void Freelist(std::uint32_t firstTrunk, std::uint32_t count) {
        Put32(bytes_, 32, firstTrunk);
        Put32(bytes_, 36, count);
    }

    // A trunk; `stored` overrides the leaf count it claims.
    void Trunk(std::uint32_t page, std::uint32_t next, const std::vector<std::uint32_t>& leaves,
               std::optional<std::uint32_t> stored = std::nullopt) {
        const std::size_t start = Start(page);
        Put32(bytes_, start, next);
        Put32(bytes_, start + 4, stored.value_or(static_cast<std::uint32_t>(leaves.size())));
        for (std::size_t i = 0; i < leaves.size(); ++i) {
            Put32(bytes_, start + 8 + 4 * i, leaves[i]);
        }
    }

    std::string& Bytes() { return bytes_; }

private:
    static std::size_t Start(std::uint32_t page) { return std::size_t{page - 1} * kPageSize; }
    static std::size_t Header(std::uint32_t page) {
        return Start(page) + pages::HeaderOffsetOf(page);
    }

    std::string bytes_;
};

using Pages = std::vector<std::uint32_t>;

// Damage that makes `page` an interior page over `children` and `right`.
std::function<void(Image&)> InteriorAt(std::uint32_t page, Pages children, std::uint32_t right) {
    return [=](Image& image) { image.Interior(page, children, right); };
}

// Damage that makes `page` a freelist trunk pointing at `next` and holding `leaves`.
std::function<void(Image&)> TrunkAt(std::uint32_t page, std::uint32_t next, Pages leaves) {
    return [=](Image& image) { image.Trunk(page, next, leaves); };
}

struct TreeCase {
    const char* name;
    std::uint32_t pageCount;
    std::function<void(Image&)> shape;  // over a root 2 with children 3, 4 and right child 5
    std::optional<Pages> strict;        // none: the walk is refused
    Pages lenient;                      // what a walk that leaves damaged branches finds
};

TEST(SqlitePages, TreeAndFreelistLoopsEndQuietly) {
    const std::vector<TreeCase> trees = {
        {"sound", 8, [](Image&) {}, Pages{3, 4, 5}, {3, 4, 5}},
        {"child is the root", 8, InteriorAt(2, {3, 2}, 5), std::nullopt, {3, 5}},
        {"right child is the root", 8, InteriorAt(2, {3, 4}, 2), std::nullopt, {3, 4}},
        {"loop through a lower page",
         8,
         [](Image& i) {
             i.Interior(2, {3, 6}, 5);
             i.Interior(6, {2}, 4);
         },
         std::nullopt,
         {3, 4, 5}},
        {"child outside the file", 8, InteriorAt(2, {3, 99}, 5), std::nullopt, {3, 5}},
        {"child 0", 8, InteriorAt(2, {0, 4}, 5), std::nullopt, {4, 5}},
        {"cell count past the page",
         8,
         [](Image& i) { Put16(i.Bytes(), kPageSize + 3, 0xFFFF); },
         std::nullopt,
         {}},
        {"deeper than any real tree",
         80,
         [](Image& i) {
             for (std::uint32_t page = 2; page < 80; ++page) {
                 i.Interior(page, {}, page + 1);
             }
         },
         std::nullopt,
         {}},
    };
    for (const TreeCase& tree : trees) {
        SCOPED_TRACE(tree.name);
        Image image(tree.pageCount);
        image.Interior(2, {3, 4}, 5);
        tree.shape(image);
        const auto source = pages::MemoryPages(image.Bytes());
        pages::PageReader reader(*source, kPageSize, kPageSize);
        EXPECT_EQ(pages::TableLeaves(reader, 2, kPageSize), tree.strict);
        pages::TreeWalkRules lenient;
        lenient.refuseDamage = false;
        const auto found = pages::TableLeaves(reader, 2, kPageSize, lenient);
        ASSERT_TRUE(found.has_value());
        if (tree.lenient.empty()) {
            // Whatever the damaged page points at, each leaf comes once and lies in the file.
            EXPECT_EQ(std::set<std::uint32_t>(found->begin(), found->end()).size(), found->size());
            for (const std::uint32_t leaf : *found) {
                EXPECT_TRUE(leaf >= 1 && leaf <= tree.pageCount);
            }
        } else {
            EXPECT_EQ(*found, tree.lenient);
        }
    }

    struct FreelistCase {
        const char* name;
        std::function<void(Image&)> damage;  // over trunks 6 -> 7 and leaf 8, three pages
        Pages trunks;
        Pages leaves;
        bool complete;
    };
    const std::vector<FreelistCase> freelists = {
        {"sound", [](Image&) {}, {6, 7}, {8}, true},
        {"trunk points at itself", TrunkAt(7, 7, {}), {6, 7}, {8}, false},
        {"trunk points back at the first", TrunkAt(7, 6, {}), {6, 7}, {8}, false},
        // The first claim on a page holds: 7 is taken as a leaf, so the chain ends there.
        {"leaf is a trunk", TrunkAt(6, 7, {8, 7}), {6}, {8, 7}, false},
        {"leaf repeated", TrunkAt(6, 7, {8, 8}), {6, 7}, {8}, false},
        {"leaf count past the trunk",
         [](Image& i) { i.Trunk(6, 7, {8}, 0xFFFFFFFF); },
         {6, 7},
         {8},
         false},
        {"trunk outside the file", TrunkAt(6, 99, {8}), {6}, {8}, false},
        {"count disagrees", [](Image& i) { i.Freelist(6, 5); }, {6, 7}, {8}, false},
    };
    for (const FreelistCase& freelist : freelists) {
        SCOPED_TRACE(freelist.name);
        Image image(8);
        image.Freelist(6, 3);
        image.Trunk(6, 7, {8});
        image.Trunk(7, 0, {});
        freelist.damage(image);
        const auto source = pages::MemoryPages(image.Bytes());
        pages::PageReader reader(*source, kPageSize, kPageSize);
        const auto header = pages::ParseFileHeader(
            std::span(reinterpret_cast<const unsigned char*>(image.Bytes().data()), 100));
        ASSERT_TRUE(header.has_value());
        const pages::Freelist list = pages::ReadFreelist(reader, *header);
        EXPECT_EQ(list.trunks, freelist.trunks);
        EXPECT_EQ(list.leaves, freelist.leaves);
        EXPECT_EQ(list.complete, freelist.complete);
    }
}

TEST(SqlitePages, DamagedFreeblockChainsEndQuietly) {
    struct Block {
        std::uint32_t offset, next, size;
    };
    struct Case {
        const char* name;
        std::uint32_t first;
        std::vector<Block> blocks;
        Pages sqlite;   // offsets the SQLite rules take
        Pages repeats;  // offsets the carvers' rules take
        std::uint32_t cells = 0;
    };
    const std::vector<Case> cases = {
        {"sound", 100, {{100, 200, 20}, {200, 0, 30}}, {100, 200}, {100, 200}},
        {"loops back", 100, {{100, 200, 20}, {200, 100, 30}}, {100, 200}, {100, 200}},
        {"points at itself", 100, {{100, 100, 20}}, {100}, {100}},
        {"overlaps the next", 100, {{100, 110, 20}, {110, 0, 20}}, {100}, {100, 110}},
        {"runs backwards", 200, {{200, 100, 20}, {100, 0, 20}}, {200}, {200, 100}},
        {"header past the page", 510, {}, {}, {}},
        {"size past the page", 500, {{500, 0, 40}}, {}, {500}},
        {"next past the page", 100, {{100, 600, 20}}, {100}, {100}},
        {"smaller than its header", 100, {{100, 0, 2}}, {}, {100}},
        {"inside the pointer array", 20, {{20, 0, 20}}, {}, {20}, 10},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        std::string page(kPageSize + pages::kPagePadding, '\0');
        page[0] = static_cast<char>(pages::kTableLeaf);
        Put16(page, 1, test.first);
        Put16(page, 3, test.cells);
        for (const Block& block : test.blocks) {
            Put16(page, block.offset, block.next);
            Put16(page, block.offset + 2, block.size);
        }
        const pages::BtreePage btree(reinterpret_cast<const unsigned char*>(page.data()), 0,
                                     kPageSize);
        std::vector<pages::Freeblock> chain;
        for (const auto rules :
             {pages::FreeblockRules::Sqlite, pages::FreeblockRules::RepeatsOnly}) {
            pages::FreeblockWalker(rules).Collect(btree, chain);
            Pages offsets;
            for (const pages::Freeblock& block : chain) {
                offsets.push_back(block.offset);
            }
            EXPECT_EQ(offsets, rules == pages::FreeblockRules::Sqlite ? test.sqlite : test.repeats);
        }
    }
}

}  // namespace
