// The one reader of binary property lists (Info.plist, Manifest.plist, the archived MBFile of every
// Manifest.db row): read in place, every read bounded, nothing allocated. What to follow, and how
// deep, is left to its users; the reader only vouches that each object it hands out lies inside
// the list.
//
// Layout (every number big-endian):
//   header    "bplist00" (8 bytes)
//   objects   each begins with a marker byte: high nibble the kind, low nibble a size or count;
//             a low nibble of 0xF means the count follows as an integer object (0x1n, 2^n bytes)
//               0x00 null, 0x08 false, 0x09 true, 0x0F fill
//               0x1n integer of 2^n bytes    0x2n real of 2^n bytes    0x3n date of 2^n bytes
//               0x4n data of n bytes         0x5n ASCII string of n bytes
//               0x6n UTF-16 string of n units (2n bytes)              0x8n UID of n + 1 bytes
//               0xAn array, 0xCn set: n object references
//               0xDn dictionary: n key references, then n value references
//   offsets   one offset per object, offsetSize bytes each; objects start before this table
//   trailer   the last 32 bytes: 6 unused, offsetSize, refSize (1, 2, 4 or 8 each), object count,
//             top object and offset of the offset table (8 bytes each)
// An object reference is an index into the offset table, refSize bytes wide.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "platform/bytereader.h"

namespace pixhaven::backup {

// The high nibble of an object's marker.
enum class PlistKind : unsigned {
    Simple = 0x0,  // null, false, true, fill
    Integer = 0x1,
    Real = 0x2,
    Date = 0x3,
    Data = 0x4,
    Ascii = 0x5,
    Utf16 = 0x6,
    Uid = 0x8,
    Array = 0xA,
    Set = 0xC,
    Dict = 0xD,
    // No marker has this kind: it stands for an object that could not be read, and matches no
    // kind a caller asks for.
    Unreadable = 0x10,
};

// One object as the reader found it, travelling by value: an unreadable one is a kind, not an
// empty std::optional, whose partial writes cost store-forwarding stalls
// (bench_manifestdb BM_DecodeMbFile: 142 ns through std::optional, 132 ns by value).
struct PlistObject {
    PlistKind kind = PlistKind::Unreadable;
    unsigned info = 0;        // the marker's low nibble
    std::uint64_t count = 0;  // members, bytes of data and ASCII, UTF-16 units; bytes of numbers
    std::uint64_t body = 0;   // position of the first byte after the marker and any count
};

class BinaryPlist {
public:
    // None unless `bytes` start with "bplist00" and end with a trailer whose sizes are valid and
    // whose offset table lies between the header and the trailer.
    static std::optional<BinaryPlist> Open(std::string_view bytes);

    std::uint64_t ObjectCount() const { return objectCount_; }
    std::uint64_t TopRef() const { return top_; }

    // Unreadable when `ref` is out of range, the object does not start between the header and the
    // offset table, its kind or size is not one of the layout's, or its bytes (a container's
    // references included) run past the trailer. Everything below relies on this check.
    PlistObject ObjectAt(std::uint64_t ref) const;

    // References a container holds: a dictionary's keys then values, an array's or set's members.
    static std::uint64_t RefCount(const PlistObject& container) {
        switch (container.kind) {
            case PlistKind::Dict:
                return 2 * container.count;
            case PlistKind::Array:
            case PlistKind::Set:
                return container.count;
            default:
                return 0;
        }
    }
    // Reference `index` of a container; the caller keeps `index` below RefCount. ObjectAt
    // measured all of a container's references, so they are loaded without a second check.
    std::uint64_t RefOf(const PlistObject& container, std::uint64_t index) const {
        return platform::LoadBigEndian(Data() + container.body + index * refSize_, refSize_);
    }

    // The ASCII string `ref` names, as dictionary keys are: keys are most of the objects a
    // decode looks at, so a short one is read straight from its marker
    // (bench_manifestdb BM_DecodeMbFile: 165 ns through ObjectAt, 135 ns so).
    bool KeyAt(std::uint64_t ref, std::string_view& text) const;

    // False unless the object is of the kind named.
    bool Ascii(const PlistObject& object, std::string_view& text) const;
    bool Bytes(const PlistObject& object, std::string_view& bytes) const;
    bool Uid(const PlistObject& object, std::uint64_t& uid) const;
    // Integers as unsigned values; negative ones and those past 64 bits are refused.
    bool Integer(const PlistObject& object, std::uint64_t& value) const;
    bool Real(const PlistObject& object, double& value) const;

private:
    static constexpr std::uint64_t kHeaderBytes = 8;  // "bplist00"

    explicit BinaryPlist(std::string_view bytes) : bytes_(bytes) {}

    const unsigned char* Data() const {
        return reinterpret_cast<const unsigned char*>(bytes_.data());
    }
    platform::ByteReader ReaderAt(std::uint64_t position) const {
        return {Data() + position, Data() + bytes_.size()};  // callers keep position in range
    }
    // Where object `ref` starts; 0 (inside the header) when it starts out of range.
    std::uint64_t StartOf(std::uint64_t ref) const;
    bool ReadCount(platform::ByteReader& reader, PlistObject& object) const;
    unsigned UnitShift(PlistKind kind) const;

    std::string_view bytes_;  // header, objects and offset table: everything before the trailer
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    unsigned refShift_ = 0;  // log2 of refSize_
    std::uint64_t objectCount_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;  // the offset table's position
};

// ---- Inline: a decode of one MBFile calls these a few dozen times. ObjectAt and KeyAt are
// always inlined (bench_manifestdb BM_DecodeMbFile: 152 ns as calls, 136 ns inlined). ----

inline std::uint64_t BinaryPlist::StartOf(std::uint64_t ref) const {
    if (ref >= objectCount_) {
        return 0;
    }
    // Open measured the whole offset table.
    const std::uint64_t start =
        platform::LoadBigEndian(Data() + table_ + ref * offsetSize_, offsetSize_);
    return start < table_ ? start : 0;
}

// log2 of the bytes per counted unit: a shift keeps the size check of every object free of
// division (bench_manifestdb BM_DecodeMbFile: 132 ns dividing, 129 ns shifting).
inline unsigned BinaryPlist::UnitShift(PlistKind kind) const {
    switch (kind) {
        case PlistKind::Utf16:
            return 1;
        case PlistKind::Array:
        case PlistKind::Set:
            return refShift_;
        case PlistKind::Dict:
            return refShift_ + 1;
        default:
            return 0;
    }
}

// A count in the marker's low nibble, or after it as an integer object of 1 to 8 bytes.
inline bool BinaryPlist::ReadCount(platform::ByteReader& reader, PlistObject& object) const {
    object.count = object.info;
    if (object.info != 0xF) {
        return true;
    }
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3) {
        return false;
    }
    object.count = reader.BigEndian(std::size_t{1} << (marker & 0xF));
    return !reader.Failed();
}

[[gnu::always_inline]] inline PlistObject BinaryPlist::ObjectAt(std::uint64_t ref) const {
    const std::uint64_t start = StartOf(ref);
    if (start < kHeaderBytes) {
        return {};
    }
    platform::ByteReader reader = ReaderAt(start);
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    PlistObject object{static_cast<PlistKind>(marker >> 4), marker & 0xF, 0, 0};
    unsigned shift = 0;
    switch (object.kind) {
        case PlistKind::Simple:
            if (object.info != 0x0 && object.info != 0x8 && object.info != 0x9 &&
                object.info != 0xF) {
                return {};
            }
            break;
        case PlistKind::Integer:
        case PlistKind::Real:
        case PlistKind::Date:
            if (object.info > 4) {
                return {};
            }
            object.count = std::uint64_t{1} << object.info;
            break;
        case PlistKind::Uid:
            object.count = object.info + 1ULL;
            break;
        case PlistKind::Data:
        case PlistKind::Ascii:
        case PlistKind::Utf16:
        case PlistKind::Array:
        case PlistKind::Set:
        case PlistKind::Dict:
            shift = UnitShift(object.kind);
            if (!ReadCount(reader, object)) {
                return {};
            }
            break;
        default:
            return {};
    }
    if (object.count > (reader.Remaining() >> shift)) {
        return {};
    }
    object.body = static_cast<std::uint64_t>(reader.Cursor() - Data());
    return object;
}

[[gnu::always_inline]] inline bool BinaryPlist::KeyAt(std::uint64_t ref,
                                                      std::string_view& text) const {
    const std::uint64_t start = StartOf(ref);
    if (start < kHeaderBytes) {
        return false;
    }
    platform::ByteReader reader = ReaderAt(start);
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    if ((marker & 0xF) == 0xF) {
        return Ascii(ObjectAt(ref), text);
    }
    if (static_cast<PlistKind>(marker >> 4) != PlistKind::Ascii) {
        return false;
    }
    text = reader.Bytes(marker & 0xF);
    return !reader.Failed();
}

inline bool BinaryPlist::Ascii(const PlistObject& object, std::string_view& text) const {
    if (object.kind != PlistKind::Ascii) {
        return false;
    }
    text = ReaderAt(object.body).Bytes(object.count);
    return true;
}

inline bool BinaryPlist::Bytes(const PlistObject& object, std::string_view& bytes) const {
    if (object.kind != PlistKind::Data) {
        return false;
    }
    bytes = ReaderAt(object.body).Bytes(object.count);
    return true;
}

inline bool BinaryPlist::Uid(const PlistObject& object, std::uint64_t& uid) const {
    if (object.kind != PlistKind::Uid || object.count > 8) {
        return false;
    }
    uid = ReaderAt(object.body).BigEndian(object.count);
    return true;
}

inline bool BinaryPlist::Integer(const PlistObject& object, std::uint64_t& value) const {
    if (object.kind != PlistKind::Integer) {
        return false;
    }
    // 16-byte integers are signed 128-bit values; only a zero upper half fits.
    platform::ByteReader reader = ReaderAt(object.body);
    const bool wide = object.count == 16;
    const std::uint64_t high = wide ? reader.BigEndian(8) : 0;
    value = reader.BigEndian(wide ? 8 : object.count);
    const bool negative = object.count == 8 && (value >> 63) != 0;
    return high == 0 && !negative;
}

inline bool BinaryPlist::Real(const PlistObject& object, double& value) const {
    if (object.kind != PlistKind::Real || (object.count != 4 && object.count != 8)) {
        return false;
    }
    const std::uint64_t raw = ReaderAt(object.body).BigEndian(object.count);
    value = object.count == 4
                ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                : std::bit_cast<double>(raw);
    return true;
}

}  // namespace pixhaven::backup
