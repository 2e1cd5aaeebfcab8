// Just enough JSON writing for the command-line output: quoted strings and nulls.
#pragma once

#include <string>
#include <string_view>

namespace pixhaven::cli {

// `text` (UTF-8) as a JSON string literal with its quotes; invalid UTF-8 becomes U+FFFD so the
// output always parses.
std::string JsonString(std::string_view text);
std::string JsonString(std::u16string_view text);

}  // namespace pixhaven::cli
