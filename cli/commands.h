// The sub-commands of pixhaven-cli. Each takes the arguments after its own name and returns the
// process exit status.
#pragma once

#include <span>
#include <string_view>

namespace pixhaven::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 2;          // unusable input: no folder, no manifest, no target
inline constexpr int kExitIncomplete = 3;      // recovery ended with files that could not be copied
inline constexpr int kExitPasswordNeeded = 4;  // an encrypted backup, and no password given
inline constexpr int kExitWrongPassword = 5;
inline constexpr int kExitUsage = 64;
inline constexpr int kExitInterrupted = 130;  // Ctrl-C before the recovery started

int RunList(std::span<const std::string_view> args);
int RunManifest(std::span<const std::string_view> args);
int RunScan(std::span<const std::string_view> args);
int RunRecover(std::span<const std::string_view> args);

}  // namespace pixhaven::cli
