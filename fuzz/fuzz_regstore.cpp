// The settings store's text format: any file content parses, and what it serialises parses back to
// the same document.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "makerlibs/regstore.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using pixhaven::qv::RegDocument;
    const RegDocument document =
        RegDocument::Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string text = document.Serialize();
    if (RegDocument::Parse(text).Serialize() != text) {
        std::abort();  // a written store must read back unchanged
    }
    return 0;
}
