#include "tools/samplegen/mbdb_writer.h"

#include <fstream>
#include <stdexcept>

namespace pixhaven::samplegen {
namespace {

void AppendBigEndian(std::string& out, std::uint64_t value, int bytes) {
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8) {
        out += static_cast<char>((value >> shift) & 0xFF);
    }
}

void AppendString(std::string& out, const std::optional<std::string>& text) {
    if (!text) {
        AppendBigEndian(out, 0xFFFF, 2);
        return;
    }
    if (text->size() >= 0xFFFF) {
        throw std::length_error("manifest strings hold at most 65534 bytes");
    }
    AppendBigEndian(out, text->size(), 2);
    out += *text;
}

}  // namespace

std::string MbdbHeader(std::uint8_t major, std::uint8_t minor) {
    std::string header = "mbdb";
    header += static_cast<char>(major);
    header += static_cast<char>(minor);
    return header;
}

void AppendMbdbRecord(std::string& out, const MbdbEntry& entry) {
    AppendString(out, entry.domain);
    AppendString(out, entry.path);
    AppendString(out, entry.linkTarget);
    AppendString(out, entry.dataHash);
    AppendString(out, entry.encryptionKey);
    AppendBigEndian(out, entry.mode, 2);
    AppendBigEndian(out, entry.inode, 8);
    AppendBigEndian(out, entry.userId, 4);
    AppendBigEndian(out, entry.groupId, 4);
    AppendBigEndian(out, entry.modified, 4);
    AppendBigEndian(out, entry.accessed, 4);
    AppendBigEndian(out, entry.created, 4);
    AppendBigEndian(out, entry.size, 8);
    AppendBigEndian(out, entry.protectionClass, 1);
    if (entry.properties.size() > 0xFF) {
        throw std::length_error("a manifest record holds at most 255 properties");
    }
    AppendBigEndian(out, entry.properties.size(), 1);
    for (const auto& [name, value] : entry.properties) {
        AppendString(out, name);
        AppendString(out, value);
    }
}

std::string EncodeMbdb(const std::vector<MbdbEntry>& entries) {
    std::string out = MbdbHeader();
    for (const MbdbEntry& entry : entries) {
        AppendMbdbRecord(out, entry);
    }
    return out;
}

void WriteMbdb(const std::filesystem::path& file, const std::vector<MbdbEntry>& entries) {
    const std::string bytes = EncodeMbdb(entries);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

}  // namespace pixhaven::samplegen
