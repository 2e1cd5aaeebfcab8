// Runs a program of ours as a child process and collects its exit status and output.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace pixhaven::test {

struct ProcessRun {
    int exitCode = -1;  // -1 when it could not start or did not exit normally
    std::string out;
    std::string err;
};

// Runs `program` with `args`; `overrides` replace or add environment variables, and `input`,
// when given, is its standard input. The output goes through files in `scratch`.
ProcessRun RunProcess(const TempDir& scratch, const std::string& program,
                      std::vector<std::string> args,
                      const std::map<std::string, std::string>& overrides = {},
                      const std::optional<std::string>& input = std::nullopt);

// Environment overrides that run a child in an 8-bit locale (Latin-1, ISO-8859-1) which localedef
// builds into `folder`, so no system locale is needed; empty when localedef or the locale sources
// (the locales package, which scripts/setup.sh installs) are missing.
std::map<std::string, std::string> Latin1Locale(const TempDir& folder);

}  // namespace pixhaven::test
