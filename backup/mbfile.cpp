// Reads the few facts the scan needs from an archived MBFile, without building a property-list
// tree: this runs once per row of Manifest.db, so it walks the binary list in place, follows only
// the objects on the way from $top/root to the values of the wanted keys, and allocates nothing.
//
// Binary property list layout, as far as the reader relies on it:
//   header    "bplist00"
//   objects   a marker byte: high nibble the kind, low nibble a size or count (0xF: the count
//             follows as an integer object 0x1n of 2^n bytes)
//               0x1n integer of 2^n bytes   0x2n real of 2^n bytes   0x5n ASCII string of n bytes
//               0x8n UID of n + 1 bytes     0xAn array of n refs     0xDn dict: n key refs, n value
//               refs
//   offsets   one big-endian offset per object, offsetSize bytes each
//   trailer   the last 32 bytes: 6 unused, offsetSize, refSize, object count, top object and
//             offset-table position (8 bytes each), all big-endian
// A keyed archive is a dictionary {$archiver, $version, $top, $objects}; UIDs index $objects.
#include "backup/mbfile.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

#include "platform/bytereader.h"

namespace pixhaven::backup {

using platform::ByteReader;
namespace {

constexpr std::string_view kMagic = "bplist00";
constexpr std::size_t kTrailerBytes = 32;
// UIDs followed from one value before the chain counts as a cycle; a sound archive needs one.
constexpr int kMaxUidHops = 8;

enum Kind : unsigned {
    kInteger = 0x1,
    kReal = 0x2,
    kData = 0x4,
    kAscii = 0x5,
    kUtf16 = 0x6,
    kUid = 0x8,
    kArray = 0xA,
    kSet = 0xC,
    kDict = 0xD,
};

// No marker's high nibble is this: it marks an object that could not be read, which matches no
// kind a caller asks for. Objects travel by value without std::optional, whose partial writes
// cost store-forwarding stalls in a loop that runs a few dozen times per row.
constexpr unsigned kUnreadable = 0x10;

struct Object {
    unsigned kind = kUnreadable;
    unsigned info = 0;        // the marker's low nibble
    std::uint64_t count = 0;  // members or bytes of containers and strings; bytes of numbers
    std::uint64_t body = 0;   // position of the first byte after the marker and any count
};

// A big-endian number of `width` bytes, 1, 2, 4 or 8, that the caller has checked lies inside the
// data.
inline std::uint64_t ReadBigEndian(const unsigned char* p, unsigned width) {
    switch (width) {
        case 1:
            return p[0];
        case 2:
            return std::uint64_t{p[0]} << 8 | p[1];
        case 4:
            return std::uint64_t{p[0]} << 24 | std::uint64_t{p[1]} << 16 |
                   std::uint64_t{p[2]} << 8 | p[3];
        default:
            return ReadBigEndian(p, 4) << 32 | ReadBigEndian(p + 4, 4);
    }
}

bool IsValidWidth(std::uint64_t width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

bool HasCount(unsigned kind) {
    return kind == kData || kind == kAscii || kind == kUtf16 || kind == kArray || kind == kSet ||
           kind == kDict;
}

// A binary property list read in place. ObjectAt checks that an object's bytes, and a container's
// references, lie inside the data; everything after relies on that.
class BinaryPlist {
public:
    static std::optional<BinaryPlist> Open(std::string_view bytes);

    std::uint64_t TopRef() const { return top_; }
    // An unreadable object when `ref` is out of range or the object runs past the data.
    Object ObjectAt(std::uint64_t ref) const;
    // Member reference `index` of an array, or of a dictionary (keys first, then values); the
    // caller keeps `index` below the container's reference count.
    std::uint64_t RefOf(const Object& container, std::uint64_t index) const {
        return ReadBigEndian(Data() + container.body + index * refSize_, refSize_);
    }
    static std::uint64_t RefCount(const Object& container) {
        return container.kind == kDict    ? 2 * container.count
               : container.kind == kArray ? container.count
                                          : 0;
    }
    // The ASCII string `ref` names: dictionary keys, most of the objects a decode looks at, so
    // short strings skip the general object reading.
    bool AsciiAt(std::uint64_t ref, std::string_view& text) const {
        if (ref >= objectCount_) {
            return false;
        }
        const std::uint64_t position =
            ReadBigEndian(Data() + table_ + ref * offsetSize_, offsetSize_);
        if (position < kMagic.size() || position >= bytes_.size()) {
            return false;
        }
        const unsigned marker = Data()[position];
        if ((marker & 0xF) == 0xF) {
            return Ascii(ObjectAt(ref), text);
        }
        if ((marker >> 4) != kAscii || (marker & 0xF) > bytes_.size() - position - 1) {
            return false;
        }
        text = std::string_view(bytes_.data() + position + 1, marker & 0xF);
        return true;
    }
    // False unless an ASCII string.
    bool Ascii(const Object& object, std::string_view& text) const {
        if (object.kind != kAscii) {
            return false;
        }
        text = std::string_view(bytes_.data() + object.body, object.count);  // ObjectAt checked
        return true;
    }
    bool Uid(const Object& object, std::uint64_t& uid) const;
    // Integers as unsigned values; negative ones and those past 64 bits are refused.
    bool Integer(const Object& object, std::uint64_t& value) const;
    bool Real(const Object& object, double& value) const;

private:
    explicit BinaryPlist(std::string_view bytes) : bytes_(bytes) {}
    const unsigned char* Data() const {
        return reinterpret_cast<const unsigned char*>(bytes_.data());
    }
    unsigned UnitShift(unsigned kind) const;

    std::string_view bytes_;  // header and objects, up to the trailer
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    unsigned refShift_ = 0;  // log2 of refSize_
    std::uint64_t objectCount_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;
};

std::optional<BinaryPlist> BinaryPlist::Open(std::string_view bytes) {
    if (bytes.size() < kMagic.size() + 1 + kTrailerBytes || !bytes.starts_with(kMagic)) {
        return std::nullopt;
    }
    BinaryPlist plist(bytes.substr(0, bytes.size() - kTrailerBytes));
    const auto* trailer =
        reinterpret_cast<const unsigned char*>(bytes.data()) + plist.bytes_.size();
    plist.offsetSize_ = trailer[6];
    plist.refSize_ = trailer[7];
    plist.objectCount_ = ReadBigEndian(trailer + 8, 8);
    plist.top_ = ReadBigEndian(trailer + 16, 8);
    plist.table_ = ReadBigEndian(trailer + 24, 8);
    const std::uint64_t limit = plist.bytes_.size();
    if (!IsValidWidth(plist.offsetSize_) || !IsValidWidth(plist.refSize_) ||
        plist.table_ < kMagic.size() || plist.table_ > limit || plist.top_ >= plist.objectCount_ ||
        plist.objectCount_ > (limit - plist.table_) / plist.offsetSize_) {
        return std::nullopt;
    }
    plist.refShift_ = static_cast<unsigned>(std::countr_zero(plist.refSize_));
    return plist;
}

// log2 of the bytes per counted unit: a shift keeps the per-object size check free of division.
unsigned BinaryPlist::UnitShift(unsigned kind) const {
    switch (kind) {
        case kUtf16:
            return 1;
        case kArray:
        case kSet:
            return refShift_;
        case kDict:
            return refShift_ + 1;
        default:
            return 0;
    }
}

Object BinaryPlist::ObjectAt(std::uint64_t ref) const {
    if (ref >= objectCount_) {
        return {};
    }
    // Open checked that the whole offset table lies inside the data.
    const unsigned char* data = Data();
    const std::uint64_t size = bytes_.size();
    std::uint64_t position = ReadBigEndian(data + table_ + ref * offsetSize_, offsetSize_);
    if (position < kMagic.size() || position >= size) {
        return {};
    }
    const unsigned marker = data[position++];
    Object object{marker >> 4, marker & 0xF, 0, 0};
    if (object.kind == kInteger || object.kind == kReal) {
        object.count = 1ULL << std::min(object.info, 7U);
    } else if (object.kind == kUid) {
        object.count = object.info + 1ULL;
    } else if (HasCount(object.kind)) {
        object.count = object.info;
        if (object.info == 0xF) {
            const unsigned countMarker = position < size ? data[position++] : 0;
            const unsigned width = 1U << (countMarker & 0xF);
            if ((countMarker >> 4) != kInteger || (countMarker & 0xF) > 3 ||
                width > size - position) {
                return {};
            }
            object.count = ReadBigEndian(data + position, width);
            position += width;
        }
    }
    if (object.count > ((size - position) >> UnitShift(object.kind))) {
        return {};
    }
    object.body = position;
    return object;
}

bool BinaryPlist::Uid(const Object& object, std::uint64_t& uid) const {
    if (object.kind != kUid || object.count > 8) {
        return false;
    }
    const unsigned char* data = Data() + object.body;
    uid = 0;
    for (std::uint64_t i = 0; i < object.count; ++i) {
        uid = uid << 8 | data[i];
    }
    return true;
}

bool BinaryPlist::Integer(const Object& object, std::uint64_t& value) const {
    if (object.kind != kInteger || object.info > 4) {
        return false;
    }
    const unsigned char* data = Data() + object.body;
    // 16-byte integers are signed 128-bit values; only a zero upper half fits.
    const bool wide = object.count == 16;
    const std::uint64_t high = wide ? ReadBigEndian(data, 8) : 0;
    value = ReadBigEndian(wide ? data + 8 : data, static_cast<unsigned>(wide ? 8 : object.count));
    const bool negative = object.count == 8 && (value >> 63) != 0;
    return high == 0 && !negative;
}

bool BinaryPlist::Real(const Object& object, double& value) const {
    if (object.kind != kReal || (object.count != 4 && object.count != 8)) {
        return false;
    }
    const std::uint64_t raw =
        ReadBigEndian(Data() + object.body, static_cast<unsigned>(object.count));
    value = object.count == 4
                ? static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)))
                : std::bit_cast<double>(raw);
    return true;
}

// The archive's $objects array, through which UIDs are resolved.
class KeyedArchive {
public:
    KeyedArchive(const BinaryPlist& plist, const Object& objects)
        : plist_(plist), objects_(objects) {}

    // The object a value stands for: itself, or what its UID chain leads to; unreadable for a
    // chain that leaves $objects or goes on too long.
    Object Resolve(Object object) const {
        for (int hops = 0; object.kind == kUid; ++hops) {
            std::uint64_t uid = 0;
            if (hops == kMaxUidHops || !plist_.Uid(object, uid) ||
                uid >= BinaryPlist::RefCount(objects_)) {
                return {};
            }
            object = plist_.ObjectAt(plist_.RefOf(objects_, uid));
        }
        return object;
    }

private:
    const BinaryPlist& plist_;
    Object objects_;
};

// Calls visit(key, valueRef) for every entry of a dictionary whose key is an ASCII string.
template <typename Visit>
void ForEachEntry(const BinaryPlist& plist, const Object& dict, Visit&& visit) {
    if (dict.kind != kDict) {
        return;
    }
    for (std::uint64_t i = 0; i < dict.count; ++i) {
        std::string_view name;
        if (plist.AsciiAt(plist.RefOf(dict, i), name)) {
            visit(name, plist.RefOf(dict, dict.count + i));
        }
    }
}

struct ArchiveRoot {
    Object objects;  // the $objects array
    Object root;     // the dictionary $top/root names
};

// None when the archive frame is unusable.
std::optional<ArchiveRoot> FindRoot(const BinaryPlist& plist) {
    const Object top = plist.ObjectAt(plist.TopRef());
    Object archiver;
    Object topDict;
    Object objects;
    ForEachEntry(plist, top, [&](std::string_view key, std::uint64_t ref) {
        if (key == "$archiver") {
            archiver = plist.ObjectAt(ref);
        } else if (key == "$top") {
            topDict = plist.ObjectAt(ref);
        } else if (key == "$objects") {
            objects = plist.ObjectAt(ref);
        }
    });
    std::string_view archiverName;
    if (top.kind != kDict || !plist.Ascii(archiver, archiverName) ||
        archiverName != "NSKeyedArchiver" || topDict.kind != kDict || objects.kind != kArray) {
        return std::nullopt;
    }
    Object rootUid;
    ForEachEntry(plist, topDict, [&](std::string_view key, std::uint64_t ref) {
        if (key == "root") {
            rootUid = plist.ObjectAt(ref);
        }
    });
    if (rootUid.kind != kUid) {
        return std::nullopt;
    }
    const Object root = KeyedArchive(plist, objects).Resolve(rootUid);
    if (root.kind != kDict) {
        return std::nullopt;
    }
    return ArchiveRoot{objects, root};
}

// A whole number of at most `max`, from an integer or, where reals are allowed, a truncated real;
// anything else (negative, too large, another kind, unreadable) is 0.
std::uint64_t ReadNumber(const BinaryPlist& plist, const Object& value, std::uint64_t max,
                         bool allowReal) {
    std::uint64_t integer = 0;
    if (plist.Integer(value, integer)) {
        return integer <= max ? integer : 0;
    }
    double real = 0;
    // NaN fails both comparisons; the upper bound is exact for the 32-bit fields using it.
    if (allowReal && plist.Real(value, real) && real >= 0 && real < static_cast<double>(max) + 1) {
        return static_cast<std::uint64_t>(std::trunc(real));
    }
    return 0;
}

}  // namespace

std::optional<MbFileFacts> DecodeMbFile(std::string_view archived) {
    const std::optional<BinaryPlist> plist = BinaryPlist::Open(archived);
    const std::optional<ArchiveRoot> found = plist ? FindRoot(*plist) : std::nullopt;
    if (!found) {
        return std::nullopt;
    }
    const KeyedArchive archive(*plist, found->objects);
    constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();
    MbFileFacts facts;
    const auto read = [&](std::uint64_t ref, std::uint64_t max, bool allowReal) {
        return ReadNumber(*plist, archive.Resolve(plist->ObjectAt(ref)), max, allowReal);
    };
    ForEachEntry(*plist, found->root, [&](std::string_view key, std::uint64_t ref) {
        if (key == "Size") {
            facts.size = read(ref, std::numeric_limits<std::uint64_t>::max(), false);
        } else if (key == "LastModified") {
            facts.modified = static_cast<std::uint32_t>(read(ref, kMax32, true));
        } else if (key == "LastStatusChange") {
            facts.accessed = static_cast<std::uint32_t>(read(ref, kMax32, true));
        } else if (key == "Birth") {
            facts.created = static_cast<std::uint32_t>(read(ref, kMax32, true));
        } else if (key == "Mode") {
            facts.mode = static_cast<std::uint16_t>(
                read(ref, std::numeric_limits<std::uint16_t>::max(), false));
        }
    });
    return facts;
}

}  // namespace pixhaven::backup
