// A small binary property list writer, just enough for keyed archives of MBFile: integers, ASCII
// and UTF-16 strings, data, UIDs, arrays and dictionaries. Output is deterministic.
#include "tools/samplegen/mbfile_writer.h"

#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <map>
#include <string_view>
#include <utility>
#include <vector>

namespace pixhaven::samplegen {
namespace {

void AppendBigEndian(std::string& out, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = bytes; i > 0; --i) {
        out += static_cast<char>((value >> ((i - 1) * 8)) & 0xFF);
    }
}

// The smallest of 1, 2, 4, 8 bytes that holds `value`.
std::size_t WidthFor(std::uint64_t value) {
    if (value <= 0xFF) {
        return 1;
    }
    if (value <= 0xFFFF) {
        return 2;
    }
    return value <= 0xFFFFFFFFULL ? 4 : 8;
}

std::size_t Log2(std::size_t width) {
    return width == 1 ? 0 : width == 2 ? 1 : width == 4 ? 2 : 3;
}

std::string IntegerObject(std::uint64_t value) {
    std::string out;
    if (value >> 63) {
        // Past the signed 64-bit range the format needs a 16-byte integer.
        out += static_cast<char>(0x14);
        AppendBigEndian(out, 0, 8);
        AppendBigEndian(out, value, 8);
        return out;
    }
    const std::size_t width = WidthFor(value);
    out += static_cast<char>(0x10 | Log2(width));
    AppendBigEndian(out, value, width);
    return out;
}

std::string Marker(unsigned kind, std::size_t count) {
    if (count < 0xF) {
        return std::string(1, static_cast<char>((kind << 4) | count));
    }
    return static_cast<char>((kind << 4) | 0xF) + IntegerObject(count);
}

// UTF-8 to UTF-16 code units; malformed bytes become U+FFFD.
std::vector<std::uint16_t> Utf16Units(std::string_view text) {
    std::vector<std::uint16_t> units;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        std::uint32_t code = length == 1 ? lead : lead & (0x7F >> length);
        bool valid = lead < 0x80 || (lead >= 0xC0 && lead < 0xF8 && i + length <= text.size());
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        i += valid ? length : 1;
        code = valid ? code : 0xFFFD;
        if (code >= 0x10000) {
            code -= 0x10000;
            units.push_back(static_cast<std::uint16_t>(0xD800 | (code >> 10)));
            units.push_back(static_cast<std::uint16_t>(0xDC00 | (code & 0x3FF)));
        } else {
            units.push_back(static_cast<std::uint16_t>(code));
        }
    }
    return units;
}

// Objects are collected first; containers name members by index and are encoded at the end, once
// the reference width is known.
class PlistWriter {
public:
    std::size_t Reserve() {
        entries_.emplace_back();
        return entries_.size() - 1;
    }
    std::size_t Leaf(std::string encoded) { return Add({std::move(encoded), 0, {}}); }
    std::size_t Integer(std::uint64_t value) { return Leaf(IntegerObject(value)); }
    std::size_t Uid(std::uint64_t value) {
        const std::size_t width = WidthFor(value);
        std::string out(1, static_cast<char>(0x80 | (width - 1)));
        AppendBigEndian(out, value, width);
        return Leaf(out);
    }
    std::size_t String(std::string_view text);
    std::size_t Data(std::string_view bytes) {
        return Leaf(Marker(0x4, bytes.size()) + std::string(bytes));
    }
    std::size_t Array(std::vector<std::size_t> members) {
        return Add({{}, 0xA, std::move(members)});
    }
    // Entries as (key, value) pairs, in the order given.
    void SetDict(std::size_t index, const std::vector<std::pair<std::size_t, std::size_t>>& pairs);
    std::size_t Dict(const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
        const std::size_t index = Reserve();
        SetDict(index, pairs);
        return index;
    }
    std::string Finish(std::size_t top) const;

private:
    struct Entry {
        std::string leaf;
        unsigned containerKind = 0;  // 0 for leaves
        std::vector<std::size_t> members;
    };
    std::size_t Add(Entry entry) {
        entries_.push_back(std::move(entry));
        return entries_.size() - 1;
    }
    std::vector<Entry> entries_;
};

std::size_t PlistWriter::String(std::string_view text) {
    bool ascii = true;
    for (const char c : text) {
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    if (ascii) {
        return Leaf(Marker(0x5, text.size()) + std::string(text));
    }
    const std::vector<std::uint16_t> units = Utf16Units(text);
    std::string out = Marker(0x6, units.size());
    for (const std::uint16_t unit : units) {
        AppendBigEndian(out, unit, 2);
    }
    return Leaf(out);
}

void PlistWriter::SetDict(std::size_t index,
                          const std::vector<std::pair<std::size_t, std::size_t>>& pairs) {
    Entry entry{{}, 0xD, {}};
    for (const auto& pair : pairs) {
        entry.members.push_back(pair.first);
    }
    for (const auto& pair : pairs) {
        entry.members.push_back(pair.second);
    }
    entries_[index] = std::move(entry);
}

std::string PlistWriter::Finish(std::size_t top) const {
    const std::size_t refSize = WidthFor(entries_.size());
    std::string out = "bplist00";
    std::vector<std::uint64_t> offsets;
    for (const Entry& entry : entries_) {
        offsets.push_back(out.size());
        if (entry.containerKind == 0) {
            out += entry.leaf;
            continue;
        }
        const std::size_t count =
            entry.containerKind == 0xD ? entry.members.size() / 2 : entry.members.size();
        out += Marker(entry.containerKind, count);
        for (const std::size_t member : entry.members) {
            AppendBigEndian(out, member, refSize);
        }
    }
    const std::uint64_t tableOffset = out.size();
    const std::size_t offsetSize = WidthFor(tableOffset);
    for (const std::uint64_t offset : offsets) {
        AppendBigEndian(out, offset, offsetSize);
    }
    out.append(6, '\0');
    out += static_cast<char>(offsetSize);
    out += static_cast<char>(refSize);
    AppendBigEndian(out, entries_.size(), 8);
    AppendBigEndian(out, top, 8);
    AppendBigEndian(out, tableOffset, 8);
    return out;
}

// The members of $objects in the order an archiver writes them.
enum class Slot : std::uint8_t { Null, Root, Path, Key, KeyClass, FileClass };

// Where each member sits in $objects: "$null" first, as every archiver writes it; shuffling
// reverses the rest.
class ArchiveSlots {
public:
    ArchiveSlots(bool withKey, bool shuffle) {
        order_ = withKey ? std::vector<Slot>{Slot::Null, Slot::Root,     Slot::Path,
                                             Slot::Key,  Slot::KeyClass, Slot::FileClass}
                         : std::vector<Slot>{Slot::Null, Slot::Root, Slot::Path, Slot::FileClass};
        if (shuffle) {
            std::reverse(order_.begin() + 1, order_.end());
        }
    }
    std::size_t Position(Slot slot) const {
        return static_cast<std::size_t>(std::find(order_.begin(), order_.end(), slot) -
                                        order_.begin());
    }
    const std::vector<Slot>& Order() const { return order_; }

private:
    std::vector<Slot> order_;
};

// The inode number is not one of the fields; a stable value from the path stands in.
std::uint64_t InodeFor(std::string_view path) {
    std::uint64_t hash = 1469598103934665603ULL;
    for (const char c : path) {
        hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    }
    return 100000 + hash % 10000000;
}

}  // namespace

std::string EncodeMbFile(const MbFileFields& fields, bool shuffle) {
    const ArchiveSlots slots(fields.encryptionKey.has_value(), shuffle);
    PlistWriter writer;
    // The top dictionary comes first in the object table, or last when shuffled.
    std::size_t top = shuffle ? 0 : writer.Reserve();
    const auto key = [&](std::string_view name) { return writer.String(name); };
    const auto uid = [&](Slot slot) { return writer.Uid(slots.Position(slot)); };
    const auto classOf = [&](std::initializer_list<std::string_view> names) {
        std::vector<std::size_t> classes;
        for (const std::string_view name : names) {
            classes.push_back(writer.String(name));
        }
        return writer.Dict({{key("$classname"), writer.String(*names.begin())},
                            {key("$classes"), writer.Array(std::move(classes))}});
    };

    std::map<Slot, std::size_t> objects;
    objects[Slot::Null] = writer.String("$null");
    const std::size_t root = objects[Slot::Root] = writer.Reserve();
    objects[Slot::Path] = writer.String(fields.relativePath);
    objects[Slot::FileClass] = classOf({"MBFile", "NSObject"});
    std::vector<std::pair<std::size_t, std::size_t>> members = {
        {key("LastModified"), writer.Integer(fields.modified)},
        {key("Flags"), writer.Integer(0)},
        {key("GroupID"), writer.Integer(501)},
        {key("LastStatusChange"), writer.Integer(fields.accessed)},
        {key("Birth"), writer.Integer(fields.created)},
        {key("$class"), uid(Slot::FileClass)},
        {key("Size"), writer.Integer(fields.size)},
        {key("InodeNumber"), writer.Integer(InodeFor(fields.relativePath))},
        {key("Mode"), writer.Integer(fields.mode)},
        {key("RelativePath"), uid(Slot::Path)},
        {key("UserID"), writer.Integer(501)},
        {key("ProtectionClass"), writer.Integer(fields.protectionClass)},
    };
    if (fields.encryptionKey) {
        objects[Slot::Key] = writer.Dict({{key("NS.data"), writer.Data(*fields.encryptionKey)},
                                          {key("$class"), uid(Slot::KeyClass)}});
        objects[Slot::KeyClass] = classOf({"NSMutableData", "NSData", "NSObject"});
        members.emplace_back(key("EncryptionKey"), uid(Slot::Key));
    }
    writer.SetDict(root, members);

    std::vector<std::size_t> array;
    for (const Slot slot : slots.Order()) {
        array.push_back(objects.at(slot));
    }
    const std::vector<std::pair<std::size_t, std::size_t>> topEntries{
        {key("$version"), writer.Integer(100000)},
        {key("$archiver"), writer.String("NSKeyedArchiver")},
        {key("$top"), writer.Dict({{key("root"), uid(Slot::Root)}})},
        {key("$objects"), writer.Array(std::move(array))},
    };
    if (shuffle) {
        top = writer.Reserve();
    }
    writer.SetDict(top, topEntries);
    return writer.Finish(top);
}

}  // namespace pixhaven::samplegen
