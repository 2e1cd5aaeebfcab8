// Parsing a backup's key bag.
#include "backup/keybag.h"

#include "platform/bytereader.h"

namespace pixhaven::backup {
namespace {

struct Record {
    std::string_view tag;
    std::string_view value;
};

std::uint32_t Number(std::string_view value) {
    if (value.size() != 4) {
        return 0;
    }
    return static_cast<std::uint32_t>(
        platform::LoadBigEndian(reinterpret_cast<const unsigned char*>(value.data()), 4));
}

// The records in order; none when one runs past the end.
std::optional<std::vector<Record>> SplitRecords(std::string_view bytes) {
    const auto* begin = reinterpret_cast<const unsigned char*>(bytes.data());
    platform::ByteReader reader(begin, begin + bytes.size());
    std::vector<Record> records;
    while (!reader.AtEnd() && !reader.Failed()) {
        const std::string_view tag = reader.Bytes(4);
        const auto length = static_cast<std::size_t>(reader.BigEndian(4));
        const std::string_view value = reader.Bytes(length);
        if (!reader.Failed()) {
            records.push_back({tag, value});
        }
    }
    if (reader.Failed()) {
        return std::nullopt;
    }
    return records;
}

void TakeHeaderRecord(const Record& record, Keybag& keybag) {
    if (record.tag == "TYPE") {
        keybag.type = Number(record.value);
    } else if (record.tag == "SALT") {
        keybag.salt = record.value;
    } else if (record.tag == "ITER") {
        keybag.iterations = Number(record.value);
    } else if (record.tag == "DPSL") {
        keybag.doubleProtectionSalt = record.value;
    } else if (record.tag == "DPIC") {
        keybag.doubleProtectionIterations = Number(record.value);
    }
}

void TakeClassRecord(const Record& record, ClassKey& key) {
    if (record.tag == "CLAS") {
        key.protectionClass = Number(record.value);
    } else if (record.tag == "WRAP") {
        key.wrap = Number(record.value);
    } else if (record.tag == "WPKY") {
        key.wrappedKey = record.value;
    }
}

bool CountUsable(std::uint32_t count) {
    return count > 0 && count <= kMaxIterations;
}

bool HeaderUsable(const Keybag& keybag) {
    const bool doubleProtected = !keybag.doubleProtectionSalt.empty();
    return !keybag.salt.empty() && CountUsable(keybag.iterations) &&
           (!doubleProtected || CountUsable(keybag.doubleProtectionIterations));
}

}  // namespace

std::optional<Keybag> ParseKeybag(std::string_view bytes) {
    const std::optional<std::vector<Record>> records = SplitRecords(bytes);
    if (!records) {
        return std::nullopt;
    }
    Keybag keybag;
    bool seenHeaderUuid = false;
    ClassKey* current = nullptr;  // the class key being read, none in the header
    for (const Record& record : *records) {
        if (record.tag == "UUID") {
            if (seenHeaderUuid) {
                current = &keybag.classKeys.emplace_back();
            }
            seenHeaderUuid = true;
        } else if (current != nullptr) {
            TakeClassRecord(record, *current);
        } else {
            TakeHeaderRecord(record, keybag);
        }
    }
    std::erase_if(keybag.classKeys, [](const ClassKey& key) {
        return key.protectionClass == 0 || key.wrappedKey.size() != kWrappedKeyBytes;
    });
    if (!HeaderUsable(keybag) || keybag.classKeys.empty()) {
        return std::nullopt;
    }
    return keybag;
}

}  // namespace pixhaven::backup
