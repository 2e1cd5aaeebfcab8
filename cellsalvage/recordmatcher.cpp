#include "cellsalvage/recordmatcher.h"

#include <algorithm>

#include "platform/sqlitepages.h"

namespace cellsalvage {
namespace {

namespace pages = pixhaven::sqlitepages;

constexpr std::size_t kFreeblockHeader = 4;
// The fragment bytes SQLite may fold into a freeblock past the cell it freed.
constexpr std::size_t kMostFragment = 3;
// Dates other than 0 (none) below this are no times a phone wrote: 1973 in Unix seconds, 2004 in
// seconds since 2001.
constexpr std::int64_t kEarliestDate = 100'000'000;
// Serial types 0 to 9: NULL, the integers, a real and the constants 0 and 1.
constexpr std::uint16_t kNumberTypes = 0x3FF;

std::uint16_t SmallTypesOf(ColumnUse use) {
    switch (use) {
        case ColumnUse::RowidAlias:
        case ColumnUse::Text:
            return 1;
        default:
            return kNumberTypes;
    }
}

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Well-formed UTF-8 without control characters other than tab and line ends: text a phone wrote.
bool IsCleanText(std::span<const unsigned char> text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char lead = text[i];
        if (lead < 0x80) {
            if (lead < 0x20 && lead != '\t' && lead != '\n' && lead != '\r') {
                return false;
            }
            ++i;
            continue;
        }
        const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                                   : lead >= 0xE0 && lead <= 0xEF ? 3
                                   : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                                  : 0;
        if (length == 0 || length > text.size() - i) {
            return false;
        }
        const unsigned char second = text[i + 1];
        const bool secondFits =
            (lead != 0xE0 || second >= 0xA0) && (lead != 0xED || second <= 0x9F) &&
            (lead != 0xF0 || second >= 0x90) && (lead != 0xF4 || second <= 0x8F);
        if (!secondFits) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            if (!IsContinuation(text[i + k])) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

}  // namespace

RecordMatcher::RecordMatcher(const TableSchema& schema, std::size_t minFields)
    : minFields_(std::max<std::size_t>(minFields, 1)), leadingAliases_(schema.LeadingAliases()) {
    for (const DeclaredColumn& declared : schema.columns) {
        Column column;
        column.smallTypes = SmallTypesOf(declared.use);
        column.text = declared.use == ColumnUse::Text || declared.use == ColumnUse::Any;
        column.blob = declared.use == ColumnUse::Any;
        column.date = declared.use == ColumnUse::Date;
        columns_.push_back(column);
        hasTextColumn_ = hasTextColumn_ || declared.use == ColumnUse::Text;
    }
    types_.reserve(columns_.size());
    typeEnds_.reserve(columns_.size());
}

void RecordMatcher::Scan(std::span<const unsigned char> region,
                         const std::function<void(CarvedRecord&&)>& found) {
    if (columns_.empty() || minFields_ > columns_.size()) {
        return;
    }
    for (std::size_t position = 0; position < region.size();) {
        Match match;
        if (MatchIntact(region, position, match) || MatchOverwritten(region, position, match)) {
            found(Record(region, match));
            position = std::max(match.end, position + 1);
        } else {
            ++position;
        }
    }
}

bool RecordMatcher::Allowed(std::size_t column, std::uint64_t type) const {
    const Column& allowed = columns_[column];
    if (type < 12) {
        return ((allowed.smallTypes >> type) & 1U) != 0;
    }
    return type % 2 == 1 ? allowed.text : allowed.blob;
}

std::size_t RecordMatcher::ReadTypes(std::span<const unsigned char> region, std::size_t position,
                                     std::size_t end, std::size_t firstColumn) {
    types_.clear();
    typeEnds_.clear();
    end = std::min(end, region.size());
    for (std::size_t column = firstColumn; column < columns_.size() && position < end; ++column) {
        std::uint64_t type = 0;
        if (!pages::ReadVarint(region.data(), end, position, type) || !Allowed(column, type)) {
            break;
        }
        types_.push_back(type);
        typeEnds_.push_back(position);
    }
    return types_.size();
}

std::optional<std::size_t> RecordMatcher::ValuesEnd(std::size_t contentStart, std::size_t count,
                                                    std::size_t limit) const {
    std::uint64_t end = contentStart;
    for (std::size_t i = 0; i < count; ++i) {
        end += pages::SerialTypeLength(types_[i]);
    }
    // A record whose values are all NULL or constants is no evidence of anything (zeroed space).
    if (end == contentStart || end > limit) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(end);
}

bool RecordMatcher::MatchIntact(std::span<const unsigned char> region, std::size_t position,
                                Match& match) {
    std::size_t at = position;
    std::uint64_t headerSize = 0;
    if (!pages::ReadVarint(region.data(), region.size(), at, headerSize) ||
        headerSize <= at - position || headerSize > region.size() - position) {
        return false;
    }
    const std::size_t headerEnd = position + static_cast<std::size_t>(headerSize);
    const std::size_t count = ReadTypes(region, at, headerEnd, 0);
    if (count < minFields_ || typeEnds_[count - 1] != headerEnd) {
        return false;
    }
    const std::optional<std::size_t> end = ValuesEnd(headerEnd, count, region.size());
    if (!end) {
        return false;
    }
    // A row shorter than the table is believed only with its cell's length beside it: a few
    // serial types of a longer header look like one too.
    if (count < columns_.size() && !RowidBefore(region, position, *end - position)) {
        return false;
    }
    match = Match{position, at, headerEnd, *end, 0, count};
    return ValuesPlausible(region, match);
}

bool RecordMatcher::MatchOverwritten(std::span<const unsigned char> region, std::size_t position,
                                     Match& match) {
    if (position < kFreeblockHeader) {
        return false;
    }
    // The freeblock header just before: next freeblock (2 bytes), then its size.
    const std::size_t size = pages::Load16(region.data() + position - 2);
    if (size <= kFreeblockHeader) {
        return false;
    }
    const std::size_t blockEnd = position - kFreeblockHeader + size;
    const std::size_t limit = std::min(blockEnd, region.size());
    bool found = false;
    // The first surviving serial type is that of the first column after the overwritten aliases,
    // or of an alias itself when only the header size was lost.
    for (std::size_t first = 0; first <= leadingAliases_ && first < columns_.size(); ++first) {
        const std::size_t count = ReadTypes(region, position, limit, first);
        for (std::size_t carried = count; carried >= 1 && first + carried >= minFields_;
             --carried) {
            const std::optional<std::size_t> end =
                ValuesEnd(typeEnds_[carried - 1], carried, limit);
            if (!end) {
                continue;
            }
            // Rows shorter than the table (written before columns were added) must end where
            // their freeblock does, or where the next cell merged into it starts; whole rows may
            // share a freeblock with anything.
            const bool fills = *end + kMostFragment >= blockEnd;
            if (!fills && first + carried < columns_.size() &&
                !CellsFillTo(region, *end, blockEnd)) {
                continue;
            }
            const Match candidate{position, position, typeEnds_[carried - 1], *end, first, carried};
            if (!ValuesPlausible(region, candidate)) {
                continue;
            }
            if (fills || !found) {
                match = candidate;
                found = true;
            }
            if (fills) {
                return true;
            }
            break;
        }
    }
    return found;
}

bool RecordMatcher::CellsFillTo(std::span<const unsigned char> region, std::size_t position,
                                std::size_t blockEnd) {
    // Cells freed before the one in front of them keep the freeblock header they had then.
    constexpr int kMostCells = 4;
    if (blockEnd > region.size()) {
        return false;
    }
    for (int cell = 0; cell < kMostCells && position + kFreeblockHeader <= blockEnd; ++cell) {
        const std::size_t size = pages::Load16(region.data() + position + 2);
        if (size <= kFreeblockHeader || size > blockEnd - position) {
            return false;
        }
        position += size;
        if (position + kMostFragment >= blockEnd) {
            return true;
        }
    }
    return false;
}

bool RecordMatcher::ValuesPlausible(std::span<const unsigned char> region,
                                    const Match& match) const {
    std::size_t offset = match.contentStart;
    bool anyText = false;
    for (std::size_t i = 0; i < match.fields; ++i) {
        const std::uint64_t type = types_[i];
        const auto length = static_cast<std::size_t>(pages::SerialTypeLength(type));
        const std::span<const unsigned char> value = region.subspan(offset, length);
        if (type >= 13 && type % 2 == 1) {
            if (!IsCleanText(value)) {
                return false;
            }
            anyText = anyText || length > 0;
        }
        if (columns_[match.firstColumn + i].date && type >= 1 && type <= 6) {
            const std::optional<std::int64_t> date = IntegerValue(
                {type, std::string_view(reinterpret_cast<const char*>(value.data()), length)});
            if (!date || (*date != 0 && *date < kEarliestDate)) {
                return false;
            }
        }
        offset += length;
    }
    // Rows of a table with text columns carry some text; runs of NULLs and small integers cut
    // out of old headers and pointer arrays do not.
    return anyText || !hasTextColumn_;
}

std::optional<std::int64_t> RecordMatcher::RowidBefore(std::span<const unsigned char> region,
                                                       std::size_t start, std::uint64_t payload) {
    // The rowid varint ends just before the header; the payload-length varint before it.
    if (start == 0 || (region[start - 1] & 0x80) != 0) {
        return std::nullopt;
    }
    std::size_t rowidStart = start - 1;
    while (rowidStart > 0 && (region[rowidStart - 1] & 0x80) != 0 && start - rowidStart < 9) {
        --rowidStart;
    }
    for (std::size_t width = 1; width <= 3 && width <= rowidStart; ++width) {
        std::size_t at = rowidStart - width;
        std::uint64_t length = 0;
        if (pages::ReadVarint(region.data(), rowidStart, at, length) && at == rowidStart &&
            length == payload) {
            std::uint64_t rowid = 0;
            pages::ReadVarint(region.data(), start, at, rowid);
            return static_cast<std::int64_t>(rowid);
        }
    }
    return std::nullopt;
}

CarvedRecord RecordMatcher::Record(std::span<const unsigned char> region,
                                   const Match& match) const {
    CarvedRecord record;
    record.firstColumn = static_cast<std::uint32_t>(match.firstColumn);
    record.fieldCount = static_cast<std::uint32_t>(match.fields);
    record.typesLength = static_cast<std::uint32_t>(match.contentStart - match.typesStart);
    record.bytes.assign(reinterpret_cast<const char*>(region.data()) + match.typesStart,
                        match.end - match.typesStart);
    if (match.start != match.typesStart) {  // the header size survived: maybe the key too
        record.rowid = RowidBefore(region, match.start, match.end - match.start);
    }
    return record;
}

}  // namespace cellsalvage
