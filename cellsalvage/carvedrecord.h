// A record carved out of free space: the serial types and values it still holds, and its rowid
// when the cell's key survived beside it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cellsalvage {

struct FieldValue {
    std::uint64_t type = 0;
    std::string_view bytes;  // the content bytes as stored (integers big-endian)
};

struct CarvedRecord {
    std::optional<std::int64_t> rowid;
    std::uint32_t firstColumn = 0;  // the columns before it were overwritten
    std::uint32_t fieldCount = 0;   // columns carried from firstColumn on
    std::uint32_t typesLength = 0;  // `bytes` holds the serial type varints, then the values
    std::string bytes;

    std::vector<FieldValue> Fields() const;
    // The field of table column `column`; none when the record does not carry it.
    std::optional<FieldValue> Column(std::size_t column) const;
};

// The value of an integer field (serial types 1 to 6, 8 and 9); none for any other.
std::optional<std::int64_t> IntegerValue(const FieldValue& field);
// A field as text: the bytes of a text or blob, an integer in decimal, "" for anything else.
std::string FieldText(const FieldValue& field);

// A 64-bit hash of the fields of `record` from column `from` on, and of the rowid when given:
// equal records (a stale copy and its live row) hash alike.
class RecordHash {
public:
    void AddRowid(std::int64_t rowid);
    void AddField(std::uint64_t type, std::string_view bytes);
    std::uint64_t Value() const { return hash_; }

private:
    void Mix(const void* data, std::size_t size);
    std::uint64_t hash_ = 14695981039346656037ULL;
};

}  // namespace cellsalvage
