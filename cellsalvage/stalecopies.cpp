#include "cellsalvage/stalecopies.h"

#include <algorithm>

#include "platform/sqlitepages.h"

namespace cellsalvage {

namespace pages = pixhaven::sqlitepages;

void LiveRows::Add(std::int64_t rowid, std::span<const unsigned char> record) {
    std::vector<pages::RecordField>& fields = fields_;
    if (pages::ParseRecord(record, fields) != pages::RecordParse::Complete) {
        return;
    }
    RecordHash plain;
    RecordHash keyed;
    keyed.AddRowid(rowid);
    for (std::size_t i = firstCompared_; i < fields.size(); ++i) {
        const std::string_view bytes(
            reinterpret_cast<const char*>(record.data()) + fields[i].offset, fields[i].length);
        plain.AddField(fields[i].type, bytes);
        keyed.AddField(fields[i].type, bytes);
    }
    values_.push_back(plain.Value());
    keyedValues_.push_back(keyed.Value());
    sorted_ = false;
}

std::uint64_t LiveRows::ValuesHash(const CarvedRecord& record) const {
    RecordHash hash;
    std::size_t column = record.firstColumn;
    for (const FieldValue& field : record.Fields()) {
        if (column++ >= firstCompared_) {
            hash.AddField(field.type, field.bytes);
        }
    }
    return hash.Value();
}

bool LiveRows::HasCopyOf(const CarvedRecord& record) {
    Sort();
    if (!record.rowid) {
        return std::binary_search(values_.begin(), values_.end(), ValuesHash(record));
    }
    RecordHash hash;
    hash.AddRowid(*record.rowid);
    std::size_t column = record.firstColumn;
    for (const FieldValue& field : record.Fields()) {
        if (column++ >= firstCompared_) {
            hash.AddField(field.type, field.bytes);
        }
    }
    return std::binary_search(keyedValues_.begin(), keyedValues_.end(), hash.Value());
}

void LiveRows::Sort() {
    if (!sorted_) {
        std::sort(values_.begin(), values_.end());
        std::sort(keyedValues_.begin(), keyedValues_.end());
        sorted_ = true;
    }
}

}  // namespace cellsalvage
