// Feeds arbitrary bytes to the binary property-list reader and reads every object it hands out,
// as its users would: kinds, numbers, strings, keys and every reference of every container.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "backup/binaryplist.h"

namespace {

using pixhaven::backup::BinaryPlist;
using pixhaven::backup::PlistObject;

// Enough to reach every object of a seed; a huge count would only repeat the same work.
constexpr std::uint64_t kMaxObjects = 4096;
constexpr std::uint64_t kMaxRefs = 1 << 16;

void ReadObject(const BinaryPlist& plist, std::uint64_t ref) {
    const PlistObject object = plist.ObjectAt(ref);
    std::string_view text;
    std::uint64_t number = 0;
    double real = 0;
    plist.Ascii(object, text);
    plist.KeyAt(ref, text);
    plist.Uid(object, number);
    plist.Integer(object, number);
    plist.Real(object, real);
    const std::uint64_t refs = BinaryPlist::RefCount(object);
    for (std::uint64_t i = 0; i < refs && i < kMaxRefs; ++i) {
        plist.ObjectAt(plist.RefOf(object, i));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto plist =
        BinaryPlist::Open(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!plist) {
        return 0;
    }
    for (std::uint64_t ref = 0; ref < plist->ObjectCount() && ref < kMaxObjects; ++ref) {
        ReadObject(*plist, ref);
    }
    ReadObject(*plist, plist->ObjectCount());  // one past the end
    return 0;
}
