#include "cellsalvage/tablecarver.h"

#include <algorithm>

#include "platform/textcodec.h"

namespace cellsalvage {

namespace pages = pixhaven::sqlitepages;

TableCarver::TableCarver(PageImages& images, const TableSchema& schema, std::size_t minFields)
    : images_(images),
      usable_(images.Header().usableSize),
      matcher_(schema, minFields),
      live_(schema.LeadingAliases()) {}

void TableCarver::CarveLeaves(std::uint32_t rootPage) {
    if (rootPage == 0) {
        return;
    }
    // Damage ends a branch, not the walk.
    pages::TreeWalkRules rules;
    rules.refuseDamage = false;
    const std::vector<std::uint32_t> leaves =
        pages::TableLeaves(images_.Current(), rootPage, usable_, rules)
            .value_or(std::vector<std::uint32_t>{});
    for (const std::uint32_t leaf : leaves) {
        if (const unsigned char* bytes = images_.Current().Page(leaf)) {
            ScanLeaf(bytes, leaf);
        }
    }
}

void TableCarver::CarveReleasedPages() {
    for (const std::uint32_t page : images_.FreelistPages()) {
        if (const unsigned char* bytes = images_.Current().Page(page)) {
            ScanWholePage(bytes, page);
        }
    }
    images_.ForEachReplacedImage(
        [&](const unsigned char* bytes, std::uint32_t page) { ScanWholePage(bytes, page); });
}

std::vector<CarvedRecord> TableCarver::DeletedRecords() {
    std::vector<CarvedRecord> deleted;
    for (CarvedRecord& record : records_) {
        if (!live_.HasCopyOf(record)) {
            deleted.push_back(std::move(record));
        }
    }
    records_.clear();
    return deleted;
}

void TableCarver::ScanLeaf(const unsigned char* bytes, std::uint32_t page) {
    const pages::BtreePage leaf(bytes, pages::HeaderOffsetOf(page), usable_);
    if (leaf.Type() != pages::kTableLeaf) {
        return;
    }
    pages::Cell cell;
    for (std::uint32_t i = 0; i < leaf.CellCount(); ++i) {
        if (leaf.CellAt(leaf.CellOffset(i), cell) && cell.firstOverflow == 0) {
            live_.Add(cell.rowid, std::span(bytes + cell.payloadOffset, cell.localSize));
        }
    }
    pages::FreeblockWalker walker(pages::FreeblockRules::RepeatsOnly);
    std::vector<pages::Freeblock> chain;
    walker.Collect(leaf, chain);
    for (const pages::Freeblock& block : chain) {
        Scan(bytes, block.offset,
             std::min<std::size_t>(std::size_t{block.offset} + block.size, usable_));
    }
    const pages::Region gap = leaf.Gap();
    Scan(bytes, gap.offset, gap.offset + gap.length);
}

void TableCarver::ScanWholePage(const unsigned char* bytes, std::uint32_t page) {
    Scan(bytes, pages::HeaderOffsetOf(page), usable_);
}

void TableCarver::Scan(const unsigned char* bytes, std::size_t from, std::size_t to) {
    if (from >= to) {
        return;
    }
    matcher_.Scan(std::span(bytes + from, to - from),
                  [&](CarvedRecord&& record) { Keep(std::move(record)); });
}

void TableCarver::Keep(CarvedRecord&& record) {
    // One record found in several places (a freeblock and an older image of its page) is one
    // row; the copy that kept its rowid tells the most.
    const std::uint64_t values = live_.ValuesHash(record);
    const auto [seen, added] = byValues_.try_emplace(values, records_.size());
    if (added) {
        records_.push_back(std::move(record));
    } else if (seen->second < records_.size() && !records_[seen->second].rowid) {
        records_[seen->second].rowid = record.rowid;
    }
}

bool CarvingSession::Open(const std::u16string& path) {
    images = PageImages::Open(pixhaven::platform::PathFromUtf16(path));
    return images != nullptr;
}

void CarvingSession::StartTable(std::size_t table, std::initializer_list<int> wanted,
                                int rootPage) {
    carver.reset();
    if (!images || table >= schemas.size() || rootPage <= 0) {
        return;
    }
    const int last = std::max(wanted);
    if (last < 0 || static_cast<std::size_t>(last) >= schemas[table].columns.size()) {
        return;
    }
    carver =
        std::make_unique<TableCarver>(*images, schemas[table], static_cast<std::size_t>(last) + 1);
    carver->CarveLeaves(static_cast<std::uint32_t>(rootPage));
}

std::vector<CarvedRecord> CarvingSession::FinishTable() {
    if (!carver) {
        return {};
    }
    carver->CarveReleasedPages();
    std::vector<CarvedRecord> records = carver->DeletedRecords();
    carver.reset();
    return records;
}

std::string ColumnBytes(const CarvedRecord& record, int column) {
    const std::optional<FieldValue> field =
        column < 0 ? std::nullopt : record.Column(static_cast<std::size_t>(column));
    return field ? std::string(field->bytes) : std::string();
}

std::string ColumnNumber(const CarvedRecord& record, int column) {
    const std::optional<FieldValue> field =
        column < 0 ? std::nullopt : record.Column(static_cast<std::size_t>(column));
    const std::optional<std::int64_t> value = field ? IntegerValue(*field) : std::nullopt;
    return value ? std::to_string(*value) : std::string();
}

}  // namespace cellsalvage
