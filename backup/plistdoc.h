// Turns a binary property list into its XML text, after checking that its object graph is small
// and shallow enough to convert safely.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pixhaven::backup {

// Deepest chain of nested objects accepted, the top object counting as 1. The XML reader
// refuses documents nested about this deep anyway, and the converter recurses once per level.
inline constexpr std::size_t kMaxPlistNesting = 96;

// Most objects a list may expand to: an object referenced twice is converted twice, so a small
// file of shared references could otherwise grow into an enormous tree.
inline constexpr std::uint64_t kMaxPlistNodes = std::uint64_t{1} << 18;

// True when `bytes` begins with "bplist00".
bool IsBinaryPlist(std::string_view bytes);

// True when the binary list's trailer, offset table and every object reachable from its top
// object lie inside `bytes`, its references form no cycle, and it stays within the limits above.
bool IsSafeBinaryPlist(std::string_view bytes);

// The XML text of a binary property list; empty when the list is not safe or cannot be converted.
std::string BinaryPlistToXml(std::string_view bytes);

}  // namespace pixhaven::backup
