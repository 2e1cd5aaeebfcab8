#include "cli/commands.h"

namespace pixhaven::cli {
int RunManifest(std::span<const std::string_view>) { return kExitOk; }
}  // namespace pixhaven::cli
