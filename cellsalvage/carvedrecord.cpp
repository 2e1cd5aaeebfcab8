#include "cellsalvage/carvedrecord.h"

#include "platform/sqlitepages.h"

namespace cellsalvage {

namespace pages = pixhaven::sqlitepages;

std::vector<FieldValue> CarvedRecord::Fields() const {
    std::vector<FieldValue> fields;
    fields.reserve(fieldCount);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t header = 0;
    std::size_t content = typesLength;
    for (std::uint32_t i = 0; i < fieldCount; ++i) {
        std::uint64_t type = 0;
        if (!pages::ReadVarint(data, typesLength, header, type)) {
            break;
        }
        const std::uint64_t length = pages::SerialTypeLength(type);
        if (length > bytes.size() - content) {
            break;
        }
        fields.push_back({type, std::string_view(bytes).substr(content, length)});
        content += length;
    }
    return fields;
}

std::optional<FieldValue> CarvedRecord::Column(std::size_t column) const {
    if (column < firstColumn) {
        return std::nullopt;
    }
    const std::vector<FieldValue> fields = Fields();
    const std::size_t index = column - firstColumn;
    return index < fields.size() ? std::optional<FieldValue>(fields[index]) : std::nullopt;
}

std::optional<std::int64_t> IntegerValue(const FieldValue& field) {
    if (field.type == 8 || field.type == 9) {
        return static_cast<std::int64_t>(field.type - 8);
    }
    if (field.type < 1 || field.type > 6 || field.bytes.empty()) {
        return std::nullopt;
    }
    // Sign-extend the big-endian content bytes.
    std::int64_t value = static_cast<signed char>(field.bytes[0]);
    for (std::size_t i = 1; i < field.bytes.size(); ++i) {
        value = static_cast<std::int64_t>(static_cast<std::uint64_t>(value) << 8) |
                static_cast<unsigned char>(field.bytes[i]);
    }
    return value;
}

std::string FieldText(const FieldValue& field) {
    if (field.type >= 12) {
        return std::string(field.bytes);
    }
    const std::optional<std::int64_t> value = IntegerValue(field);
    return value ? std::to_string(*value) : std::string();
}

void RecordHash::AddRowid(std::int64_t rowid) {
    Mix(&rowid, sizeof rowid);
}

void RecordHash::AddField(std::uint64_t type, std::string_view bytes) {
    Mix(&type, sizeof type);
    Mix(bytes.data(), bytes.size());
}

void RecordHash::Mix(const void* data, std::size_t size) {
    // FNV-1a.
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i) {
        hash_ = (hash_ ^ bytes[i]) * 1099511628211ULL;
    }
}

}  // namespace cellsalvage
