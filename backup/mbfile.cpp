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

struct Object {
    unsigned kind = 0;
    unsigned info = 0;        // the marker's low nibble
    std::uint64_t count = 0;  // members or bytes of containers and strings; bytes of numbers
    std::uint64_t body = 0;   // position of the first byte after the marker and any count
};

bool IsValidWidth(std::uint64_t width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

bool HasCount(unsigned kind) {
    return kind == kData || kind == kAscii || kind == kUtf16 || kind == kArray || kind == kSet ||
           kind == kDict;
}

// A binary property list read in place; every access is bounds-checked.
class BinaryPlist {
public:
    static std::optional<BinaryPlist> Open(std::string_view bytes);

    std::uint64_t TopRef() const { return top_; }
    std::optional<Object> ObjectAt(std::uint64_t ref) const;
    // Member reference `index` of an array, or of a dictionary (keys first, then values).
    std::optional<std::uint64_t> RefAt(const Object& container, std::uint64_t index) const;
    // A reader over a container's references from reference `first` on; ObjectAt has checked
    // that all of them lie inside the data.
    ByteReader RefsFrom(const Object& container, std::uint64_t first) const {
        return ReaderAt(container.body + first * refSize_);
    }
    unsigned RefSize() const { return refSize_; }
    std::optional<std::string_view> Ascii(const Object& object) const;
    std::optional<std::uint64_t> Uid(const Object& object) const;
    // Integers as unsigned values; negative ones and those past 64 bits are none.
    std::optional<std::uint64_t> Integer(const Object& object) const;
    std::optional<double> Real(const Object& object) const;

private:
    explicit BinaryPlist(std::string_view bytes) : bytes_(bytes) {}
    ByteReader ReaderAt(std::uint64_t position) const;
    unsigned UnitShift(unsigned kind) const;

    std::string_view bytes_;  // header and objects, up to the trailer
    unsigned offsetSize_ = 0;
    unsigned refSize_ = 0;
    unsigned refShift_ = 0;  // log2 of refSize_
    std::uint64_t objectCount_ = 0;
    std::uint64_t top_ = 0;
    std::uint64_t table_ = 0;
};

ByteReader BinaryPlist::ReaderAt(std::uint64_t position) const {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes_.data());
    const std::uint64_t start = std::min<std::uint64_t>(position, bytes_.size());
    ByteReader reader(data + start, data + bytes_.size());
    if (position > bytes_.size()) {
        reader.Skip(1);  // sets the sticky failure
    }
    return reader;
}

std::optional<BinaryPlist> BinaryPlist::Open(std::string_view bytes) {
    if (bytes.size() < kMagic.size() + 1 + kTrailerBytes || !bytes.starts_with(kMagic)) {
        return std::nullopt;
    }
    BinaryPlist plist(bytes.substr(0, bytes.size() - kTrailerBytes));
    const auto* trailerStart =
        reinterpret_cast<const unsigned char*>(bytes.data()) + plist.bytes_.size();
    ByteReader trailer(trailerStart + 6, trailerStart + kTrailerBytes);
    plist.offsetSize_ = static_cast<unsigned>(trailer.BigEndian(1));
    plist.refSize_ = static_cast<unsigned>(trailer.BigEndian(1));
    plist.objectCount_ = trailer.BigEndian(8);
    plist.top_ = trailer.BigEndian(8);
    plist.table_ = trailer.BigEndian(8);
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

std::optional<Object> BinaryPlist::ObjectAt(std::uint64_t ref) const {
    if (ref >= objectCount_) {
        return std::nullopt;
    }
    ByteReader table = ReaderAt(table_ + ref * offsetSize_);
    const std::uint64_t offset = table.BigEndian(offsetSize_);
    if (table.Failed() || offset < kMagic.size()) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(offset);
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    Object object{marker >> 4, marker & 0xF, 0, 0};
    if (object.kind == kInteger || object.kind == kReal) {
        object.count = 1ULL << std::min(object.info, 7U);
    } else if (object.kind == kUid) {
        object.count = object.info + 1ULL;
    } else if (HasCount(object.kind)) {
        object.count = object.info;
        if (object.info == 0xF) {
            const auto countMarker = static_cast<unsigned>(reader.BigEndian(1));
            if ((countMarker >> 4) != kInteger || (countMarker & 0xF) > 3) {
                return std::nullopt;
            }
            object.count = reader.BigEndian(1ULL << (countMarker & 0xF));
        }
    }
    if (reader.Failed() || object.count > (reader.Remaining() >> UnitShift(object.kind))) {
        return std::nullopt;
    }
    object.body = static_cast<std::uint64_t>(reader.Cursor() -
                                             reinterpret_cast<const unsigned char*>(bytes_.data()));
    return object;
}

std::optional<std::uint64_t> BinaryPlist::RefAt(const Object& container,
                                                std::uint64_t index) const {
    const std::uint64_t refs = container.kind == kDict ? 2 * container.count : container.count;
    if ((container.kind != kArray && container.kind != kDict) || index >= refs) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(container.body + index * refSize_);
    const std::uint64_t ref = reader.BigEndian(refSize_);
    return reader.Failed() ? std::nullopt : std::optional(ref);
}

std::optional<std::string_view> BinaryPlist::Ascii(const Object& object) const {
    if (object.kind != kAscii) {
        return std::nullopt;
    }
    return bytes_.substr(object.body, object.count);
}

std::optional<std::uint64_t> BinaryPlist::Uid(const Object& object) const {
    if (object.kind != kUid || object.count > 8) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(object.body);
    const std::uint64_t uid = reader.BigEndian(object.count);
    return reader.Failed() ? std::nullopt : std::optional(uid);
}

std::optional<std::uint64_t> BinaryPlist::Integer(const Object& object) const {
    if (object.kind != kInteger || object.info > 4) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(object.body);
    // 16-byte integers are signed 128-bit values; only a zero upper half fits.
    const std::uint64_t high = object.count == 16 ? reader.BigEndian(8) : 0;
    const std::uint64_t value = reader.BigEndian(std::min<std::uint64_t>(object.count, 8));
    const bool negative = object.count == 8 && (value >> 63) != 0;
    if (reader.Failed() || high != 0 || negative) {
        return std::nullopt;
    }
    return value;
}

std::optional<double> BinaryPlist::Real(const Object& object) const {
    if (object.kind != kReal || (object.count != 4 && object.count != 8)) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(object.body);
    const std::uint64_t raw = reader.BigEndian(object.count);
    if (reader.Failed()) {
        return std::nullopt;
    }
    if (object.count == 4) {
        return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(raw)));
    }
    return std::bit_cast<double>(raw);
}

// The archive's $objects array, through which UIDs are resolved.
class KeyedArchive {
public:
    KeyedArchive(const BinaryPlist& plist, const Object& objects)
        : plist_(plist), objects_(objects) {}

    // The object a value stands for: itself, or what its UID chain leads to.
    std::optional<Object> Resolve(std::optional<Object> object) const {
        for (int hops = 0; object && object->kind == kUid; ++hops) {
            const std::optional<std::uint64_t> uid = plist_.Uid(*object);
            if (hops == kMaxUidHops || !uid) {
                return std::nullopt;
            }
            const std::optional<std::uint64_t> ref = plist_.RefAt(objects_, *uid);
            object = ref ? plist_.ObjectAt(*ref) : std::nullopt;
        }
        return object;
    }

    std::optional<Object> ResolveRef(std::optional<std::uint64_t> ref) const {
        return ref ? Resolve(plist_.ObjectAt(*ref)) : std::nullopt;
    }

private:
    const BinaryPlist& plist_;
    Object objects_;
};

// Calls visit(key, valueRef) for every entry of a dictionary whose key is an ASCII string;
// false when the dictionary's references cannot be read.
template <typename Visit>
bool ForEachEntry(const BinaryPlist& plist, const Object& dict, Visit&& visit) {
    ByteReader keys = plist.RefsFrom(dict, 0);
    ByteReader values = plist.RefsFrom(dict, dict.count);
    for (std::uint64_t i = 0; i < dict.count; ++i) {
        const std::uint64_t keyRef = keys.BigEndian(plist.RefSize());
        const std::uint64_t valueRef = values.BigEndian(plist.RefSize());
        if (keys.Failed() || values.Failed()) {
            return false;
        }
        const std::optional<Object> key = plist.ObjectAt(keyRef);
        const std::optional<std::string_view> name = key ? plist.Ascii(*key) : std::nullopt;
        if (name) {
            visit(*name, valueRef);
        }
    }
    return true;
}

struct ArchiveRoot {
    Object objects;  // the $objects array
    Object root;     // the dictionary $top/root names
};

// None when the archive frame is unusable.
std::optional<ArchiveRoot> FindRoot(const BinaryPlist& plist) {
    const std::optional<Object> top = plist.ObjectAt(plist.TopRef());
    if (!top || top->kind != kDict) {
        return std::nullopt;
    }
    std::optional<Object> archiver;
    std::optional<Object> topDict;
    std::optional<Object> objects;
    const bool readable = ForEachEntry(plist, *top, [&](std::string_view key, std::uint64_t ref) {
        if (key == "$archiver") {
            archiver = plist.ObjectAt(ref);
        } else if (key == "$top") {
            topDict = plist.ObjectAt(ref);
        } else if (key == "$objects") {
            objects = plist.ObjectAt(ref);
        }
    });
    const std::optional<std::string_view> archiverName =
        archiver ? plist.Ascii(*archiver) : std::nullopt;
    if (!readable || archiverName != "NSKeyedArchiver" || !topDict || topDict->kind != kDict ||
        !objects || objects->kind != kArray) {
        return std::nullopt;
    }
    std::optional<Object> rootUid;
    if (!ForEachEntry(plist, *topDict, [&](std::string_view key, std::uint64_t ref) {
            if (key == "root") {
                rootUid = plist.ObjectAt(ref);
            }
        })) {
        return std::nullopt;
    }
    if (!rootUid || rootUid->kind != kUid) {
        return std::nullopt;
    }
    const std::optional<Object> root = KeyedArchive(plist, *objects).Resolve(rootUid);
    if (!root || root->kind != kDict) {
        return std::nullopt;
    }
    return ArchiveRoot{*objects, *root};
}

// A whole number of at most `max`, from an integer or, where reals are allowed, a truncated real;
// anything else (negative, too large, another kind) is 0.
std::uint64_t ReadNumber(const BinaryPlist& plist, const std::optional<Object>& value,
                         std::uint64_t max, bool allowReal) {
    if (!value) {
        return 0;
    }
    if (const std::optional<std::uint64_t> integer = plist.Integer(*value)) {
        return *integer <= max ? *integer : 0;
    }
    if (const std::optional<double> real = allowReal ? plist.Real(*value) : std::nullopt) {
        // NaN fails both comparisons; the upper bound is exact for the 32-bit fields using it.
        if (*real >= 0 && *real < static_cast<double>(max) + 1) {
            return static_cast<std::uint64_t>(std::trunc(*real));
        }
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
        return ReadNumber(*plist, archive.ResolveRef(ref), max, allowReal);
    };
    const bool readable =
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
    return readable ? std::optional(facts) : std::nullopt;
}

}  // namespace pixhaven::backup
