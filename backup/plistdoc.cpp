// Converts binary property lists to XML text through libplist. libplist trusts the object graph:
// it recurses once per nesting level and converts a shared object once per reference, so the
// graph is walked here first through our own reader (backup/binaryplist.h), without recursion,
// and refused when it is too deep or too large, when it has a cycle, or when a dictionary key is
// not a string.
#include "backup/plistdoc.h"

#include <plist/plist.h>

#include <algorithm>
#include <limits>
#include <memory>
#include <optional>
#include <vector>

#include "backup/binaryplist.h"

namespace pixhaven::backup {
namespace {

constexpr std::string_view kBinaryMagic = "bplist00";

// Walks the object graph depth first with an explicit stack, keeping for every finished object
// the height and the expanded size of the tree below it.
class GraphCheck {
public:
    explicit GraphCheck(const BinaryPlist& plist)
        : plist_(plist),
          state_(plist.ObjectCount(), State::Unvisited),
          height_(plist.ObjectCount(), 0),
          nodes_(plist.ObjectCount(), 0) {
        path_.reserve(kMaxPlistNesting);
    }

    bool Run();

private:
    enum class State : std::uint8_t { Unvisited, OnPath, Done };
    struct Frame {
        std::uint64_t ref;
        PlistObject object;
        std::uint64_t next = 0;  // index of the next reference to follow
        std::uint64_t height = 1;
        std::uint64_t nodes = 1;
    };

    std::optional<std::uint64_t> Reference(const Frame& frame) const;
    bool Enter(std::uint64_t ref);
    bool FollowNext(Frame& frame);
    bool Fold(Frame& parent, std::uint64_t child);
    void Finish();

    const BinaryPlist& plist_;
    std::vector<State> state_;
    std::vector<std::uint64_t> height_;
    std::vector<std::uint64_t> nodes_;
    std::vector<Frame> path_;
};

bool IsString(PlistKind kind) {
    return kind == PlistKind::Ascii || kind == PlistKind::Utf16;
}

// The frame's next reference; none when it is out of range or a dictionary key that is no string.
std::optional<std::uint64_t> GraphCheck::Reference(const Frame& frame) const {
    const std::uint64_t child = plist_.RefOf(frame.object, frame.next);
    if (child >= plist_.ObjectCount()) {
        return std::nullopt;
    }
    const bool isKey = frame.object.kind == PlistKind::Dict && frame.next < frame.object.count;
    if (isKey && !IsString(plist_.ObjectAt(child).kind)) {
        return std::nullopt;
    }
    return child;
}

bool GraphCheck::Enter(std::uint64_t ref) {
    if (path_.size() >= kMaxPlistNesting) {
        return false;
    }
    const PlistObject object = plist_.ObjectAt(ref);
    if (object.kind == PlistKind::Unreadable) {
        return false;
    }
    state_[ref] = State::OnPath;
    path_.push_back(Frame{ref, object});
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
    state_[done.ref] = State::Done;
    height_[done.ref] = done.height;
    nodes_[done.ref] = done.nodes;
}

bool GraphCheck::Run() {
    if (!Enter(plist_.TopRef())) {
        return false;
    }
    while (!path_.empty()) {
        Frame& frame = path_.back();
        if (frame.next < BinaryPlist::RefCount(frame.object)) {
            if (!FollowNext(frame)) {
                return false;
            }
            continue;
        }
        const std::uint64_t finished = frame.ref;
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
    // The checker keeps a few words per object: the node limit bounds them before the walk.
    const std::optional<BinaryPlist> plist = BinaryPlist::Open(bytes);
    return plist && plist->ObjectCount() <= kMaxPlistNodes && GraphCheck(*plist).Run();
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
