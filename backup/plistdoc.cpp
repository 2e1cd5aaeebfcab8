// Converts binary property lists to XML text through libplist. libplist trusts the object graph:
// it recurses once per nesting level and converts a shared object once per reference, so the
// graph is walked here first, without recursion, and refused when it is too deep or too large.
//
// Layout of a binary property list, as far as the check relies on it:
//   header    "bplist00" (8 bytes)
//   objects   each begins with a marker byte: high nibble the kind, low nibble a size or count;
//             a low nibble of 0xF means the count follows as an integer object (0x1n, 2^n bytes)
//               0x00 null, 0x08 false, 0x09 true, 0x0F fill
//               0x1n integer of 2^n bytes    0x2n real of 2^n bytes    0x3n date of 2^n bytes
//               0x4n data of n bytes         0x5n ASCII string of n bytes
//               0x6n UTF-16 string of n units (2n bytes)              0x8n UID of n + 1 bytes
//               0xAn array, 0xCn set: n object references
//               0xDn dictionary: n key references, then n value references
//   offsets   one big-endian offset per object, `offsetSize` bytes each
//   trailer   the last 32 bytes: 6 unused, offsetSize, refSize, object count (8 bytes),
//             top object (8 bytes), offset of the offset table (8 bytes); all big-endian
// Every number is big-endian; an object reference is an index into the offset table.
#include "backup/plistdoc.h"

#include <plist/plist.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bytereader.h"

namespace pixhaven::backup {

using platform::ByteReader;
namespace {

constexpr std::string_view kBinaryMagic = "bplist00";
constexpr std::size_t kTrailerBytes = 32;

struct Trailer {
    unsigned offsetSize = 0;
    unsigned refSize = 0;
    std::uint64_t objectCount = 0;
    std::uint64_t topObject = 0;
    std::uint64_t tableOffset = 0;
};

// Where one object's references lie; leaves have none.
struct ObjectRefs {
    std::uint64_t first = 0;  // byte position of the first reference
    std::uint64_t count = 0;
    std::uint64_t keyCount = 0;  // leading references that must name strings (dictionary keys)
};

bool IsValidIntWidth(unsigned width) {
    return width == 1 || width == 2 || width == 4 || width == 8;
}

// A reader over bytes[position, limit); fails at once when the position is already out of range.
ByteReader ReaderAt(std::string_view bytes, std::uint64_t position, std::uint64_t limit) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::uint64_t end = std::min<std::uint64_t>(limit, bytes.size());
    const std::uint64_t start = std::min(position, end);
    ByteReader reader(data + start, data + end);
    if (position > end) {
        reader.Skip(1);  // sets the sticky failure
    }
    return reader;
}

std::optional<Trailer> ReadTrailer(std::string_view bytes) {
    if (bytes.size() < kBinaryMagic.size() + 1 + kTrailerBytes) {
        return std::nullopt;
    }
    const std::uint64_t trailerStart = bytes.size() - kTrailerBytes;
    ByteReader reader = ReaderAt(bytes, trailerStart + 6, bytes.size());
    Trailer trailer;
    trailer.offsetSize = static_cast<unsigned>(reader.BigEndian(1));
    trailer.refSize = static_cast<unsigned>(reader.BigEndian(1));
    trailer.objectCount = reader.BigEndian(8);
    trailer.topObject = reader.BigEndian(8);
    trailer.tableOffset = reader.BigEndian(8);
    const bool usable =
        !reader.Failed() && IsValidIntWidth(trailer.offsetSize) &&
        IsValidIntWidth(trailer.refSize) && trailer.objectCount > 0 &&
        trailer.objectCount <= kMaxPlistNodes && trailer.topObject < trailer.objectCount &&
        trailer.tableOffset >= kBinaryMagic.size() && trailer.tableOffset <= trailerStart &&
        trailer.objectCount * trailer.offsetSize <= trailerStart - trailer.tableOffset;
    return usable ? std::optional(trailer) : std::nullopt;
}

// Walks the object graph depth first with an explicit stack, keeping for every finished object
// the height and the expanded size of the tree below it.
class GraphCheck {
public:
    GraphCheck(std::string_view bytes, const Trailer& trailer)
        : bytes_(bytes),
          trailer_(trailer),
          objectsEnd_(bytes.size() - kTrailerBytes),
          state_(trailer.objectCount, State::Unvisited),
          height_(trailer.objectCount, 0),
          nodes_(trailer.objectCount, 0) {
        path_.reserve(kMaxPlistNesting);
    }

    bool Run();

private:
    enum class State : std::uint8_t { Unvisited, OnPath, Done };
    struct Frame {
        std::uint64_t object;
        ObjectRefs refs;
        std::uint64_t next = 0;  // index of the next reference to follow
        std::uint64_t height = 1;
        std::uint64_t nodes = 1;
    };

    std::optional<std::uint64_t> ObjectOffset(std::uint64_t object) const;
    std::optional<std::uint8_t> MarkerOf(std::uint64_t object) const;
    std::optional<ObjectRefs> Inspect(std::uint64_t object) const;
    std::optional<ObjectRefs> CountedObjectRefs(ByteReader& reader, unsigned kind,
                                                unsigned low) const;
    std::optional<std::uint64_t> ReadCount(ByteReader& reader, unsigned lowNibble) const;
    std::optional<std::uint64_t> Reference(const Frame& frame) const;
    bool Enter(std::uint64_t object);
    bool FollowNext(Frame& frame);
    bool Fold(Frame& parent, std::uint64_t child);
    void Finish();

    std::string_view bytes_;
    Trailer trailer_;
    std::uint64_t objectsEnd_;
    std::vector<State> state_;
    std::vector<std::uint64_t> height_;
    std::vector<std::uint64_t> nodes_;
    std::vector<Frame> path_;
};

std::optional<std::uint64_t> GraphCheck::ObjectOffset(std::uint64_t object) const {
    ByteReader reader =
        ReaderAt(bytes_, trailer_.tableOffset + object * trailer_.offsetSize, objectsEnd_);
    const std::uint64_t offset = reader.BigEndian(trailer_.offsetSize);
    if (reader.Failed() || offset < kBinaryMagic.size() || offset >= trailer_.tableOffset) {
        return std::nullopt;
    }
    return offset;
}

std::optional<std::uint8_t> GraphCheck::MarkerOf(std::uint64_t object) const {
    const std::optional<std::uint64_t> offset = ObjectOffset(object);
    if (!offset) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(bytes_[*offset]);
}

// A count stored in the low nibble, or after it as an integer object of 1 to 8 bytes.
std::optional<std::uint64_t> GraphCheck::ReadCount(ByteReader& reader, unsigned lowNibble) const {
    if (lowNibble != 0xF) {
        return lowNibble;
    }
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    if ((marker >> 4) != 0x1 || (marker & 0xF) > 3) {
        return std::nullopt;
    }
    const std::uint64_t count = reader.BigEndian(std::size_t{1} << (marker & 0xF));
    return reader.Failed() ? std::nullopt : std::optional(count);
}

// Null, booleans, fill, numbers, dates and UIDs: a size in the marker and no references.
bool FixedObjectFits(ByteReader& reader, unsigned kind, unsigned low) {
    if (kind == 0x0) {
        return low == 0x0 || low == 0x8 || low == 0x9 || low == 0xF;
    }
    if (kind == 0x8) {
        reader.Skip(low + 1);
    } else if (low <= 4) {
        reader.Skip(std::size_t{1} << low);
    } else {
        return false;
    }
    return !reader.Failed();
}

bool IsFixedSizeKind(unsigned kind) {
    return kind <= 0x3 || kind == 0x8;
}

// Checks that the object's bytes lie inside the object area and says where its references are.
std::optional<ObjectRefs> GraphCheck::Inspect(std::uint64_t object) const {
    const std::optional<std::uint64_t> offset = ObjectOffset(object);
    if (!offset) {
        return std::nullopt;
    }
    ByteReader reader = ReaderAt(bytes_, *offset, objectsEnd_);
    const auto marker = static_cast<unsigned>(reader.BigEndian(1));
    if (IsFixedSizeKind(marker >> 4)) {
        return FixedObjectFits(reader, marker >> 4, marker & 0xF) ? std::optional(ObjectRefs{})
                                                                  : std::nullopt;
    }
    return CountedObjectRefs(reader, marker >> 4, marker & 0xF);
}

// Data, strings and containers: a count, then that many bytes, UTF-16 units or references.
std::optional<ObjectRefs> GraphCheck::CountedObjectRefs(ByteReader& reader, unsigned kind,
                                                        unsigned low) const {
    const std::optional<std::uint64_t> count = ReadCount(reader, low);
    if (!count || reader.Failed()) {
        return std::nullopt;
    }
    const std::uint64_t room = reader.Remaining();
    switch (kind) {
        case 0x4:
        case 0x5:
            return *count <= room ? std::optional(ObjectRefs{}) : std::nullopt;
        case 0x6:
            return *count <= room / 2 ? std::optional(ObjectRefs{}) : std::nullopt;
        case 0xA:
        case 0xC:
        case 0xD: {
            const std::uint64_t perEntry = kind == 0xD ? 2 : 1;
            if (*count > room / trailer_.refSize / perEntry) {
                return std::nullopt;
            }
            const std::uint64_t first = objectsEnd_ - room;
            return ObjectRefs{first, *count * perEntry, kind == 0xD ? *count : 0};
        }
        default:
            return std::nullopt;
    }
}

std::optional<std::uint64_t> GraphCheck::Reference(const Frame& frame) const {
    ByteReader reader =
        ReaderAt(bytes_, frame.refs.first + frame.next * trailer_.refSize, objectsEnd_);
    const std::uint64_t child = reader.BigEndian(trailer_.refSize);
    if (reader.Failed() || child >= trailer_.objectCount) {
        return std::nullopt;
    }
    if (frame.next < frame.refs.keyCount) {
        const std::optional<std::uint8_t> marker = MarkerOf(child);
        const unsigned kind = marker ? static_cast<unsigned>(*marker >> 4) : 0;
        if (kind != 0x5 && kind != 0x6) {
            return std::nullopt;
        }
    }
    return child;
}

bool GraphCheck::Enter(std::uint64_t object) {
    if (path_.size() >= kMaxPlistNesting) {
        return false;
    }
    const std::optional<ObjectRefs> refs = Inspect(object);
    if (!refs) {
        return false;
    }
    state_[object] = State::OnPath;
    path_.push_back(Frame{object, *refs});
    return true;
}

// Adds a finished child's tree to its parent's; false when that passes a limit.
bool GraphCheck::Fold(Frame& parent, std::uint64_t child) {
    parent.height = std::max(parent.height, height_[child] + 1);
    parent.nodes = std::min(parent.nodes + nodes_[child], kMaxPlistNodes + 1);
    return path_.size() - 1 + parent.height <= kMaxPlistNesting && parent.nodes <= kMaxPlistNodes;
}

bool GraphCheck::FollowNext(Frame& frame) {
    const std::optional<std::uint64_t> child = Reference(frame);
    ++frame.next;
    if (!child || state_[*child] == State::OnPath) {
        return false;  // broken reference or a cycle
    }
    if (state_[*child] == State::Done) {
        return Fold(frame, *child);
    }
    return Enter(*child);
}

void GraphCheck::Finish() {
    const Frame done = path_.back();
    path_.pop_back();
    state_[done.object] = State::Done;
    height_[done.object] = done.height;
    nodes_[done.object] = done.nodes;
}

bool GraphCheck::Run() {
    if (!Enter(trailer_.topObject)) {
        return false;
    }
    while (!path_.empty()) {
        Frame& frame = path_.back();
        if (frame.next < frame.refs.count) {
            if (!FollowNext(frame)) {
                return false;
            }
            continue;
        }
        const std::uint64_t finished = frame.object;
        Finish();
        if (!path_.empty() && !Fold(path_.back(), finished)) {
            return false;
        }
    }
    return true;
}

struct PlistDeleter {
    void operator()(void* node) const { plist_free(static_cast<plist_t>(node)); }
};
struct XmlTextDeleter {
    void operator()(char* text) const { plist_to_xml_free(text); }
};

}  // namespace

bool IsBinaryPlist(std::string_view bytes) {
    return bytes.substr(0, kBinaryMagic.size()) == kBinaryMagic;
}

bool IsSafeBinaryPlist(std::string_view bytes) {
    if (!IsBinaryPlist(bytes)) {
        return false;
    }
    const std::optional<Trailer> trailer = ReadTrailer(bytes);
    return trailer && GraphCheck(bytes, *trailer).Run();
}

std::string BinaryPlistToXml(std::string_view bytes) {
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max() || !IsSafeBinaryPlist(bytes)) {
        return {};
    }
    plist_t rawTree = nullptr;
    plist_from_bin(bytes.data(), static_cast<std::uint32_t>(bytes.size()), &rawTree);
    const std::unique_ptr<void, PlistDeleter> tree(rawTree);
    if (!tree) {
        return {};
    }
    char* rawXml = nullptr;
    std::uint32_t length = 0;
    plist_to_xml(tree.get(), &rawXml, &length);
    const std::unique_ptr<char, XmlTextDeleter> xml(rawXml);
    return xml ? std::string(xml.get(), length) : std::string();
}

}  // namespace pixhaven::backup
