#include "tests/support/process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string_view>

extern char** environ;

namespace pixhaven::test {
namespace {

// This process's environment with `overrides` replacing or adding variables.
std::vector<std::string> ChildEnvironment(const std::map<std::string, std::string>& overrides) {
    std::vector<std::string> entries;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (overrides.count(entry.substr(0, entry.find('='))) == 0) {
            entries.push_back(entry);
        }
    }
    for (const auto& [name, value] : overrides) {
        entries.push_back(name + "=" + value);
    }
    return entries;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

std::optional<std::filesystem::path> FindProgram(std::string_view name) {
    const char* path = std::getenv("PATH");
    std::string_view folders = path != nullptr ? path : "/usr/bin:/bin";
    while (!folders.empty()) {
        const std::size_t colon = folders.find(':');
        const std::filesystem::path candidate =
            std::filesystem::path(folders.substr(0, colon)) / name;
        if (access(candidate.c_str(), X_OK) == 0) {
            return candidate;
        }
        folders.remove_prefix(colon == std::string_view::npos ? folders.size() : colon + 1);
    }
    return std::nullopt;
}

}  // namespace

ProcessRun RunProcess(const TempDir& scratch, const std::string& program,
                      std::vector<std::string> args,
                      const std::map<std::string, std::string>& overrides,
                      const std::optional<std::string>& input) {
    const std::filesystem::path outFile = scratch / "stdout.txt";
    const std::filesystem::path inFile = scratch / "stdin.txt";
    const std::filesystem::path errFile = scratch / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (input) {
        WriteFile(inFile, *input);
        posix_spawn_file_actions_addopen(&actions, 0, inFile.c_str(), O_RDONLY, 0);
    }
    args.insert(args.begin(), program);
    std::vector<char*> argv = PointersTo(args);
    std::vector<std::string> environment = ChildEnvironment(overrides);
    std::vector<char*> envp = PointersTo(environment);
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ProcessRun run;
    int status = 0;
    if (spawned == 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        run.exitCode = WEXITSTATUS(status);
    }
    run.out = ReadFile(outFile);
    run.err = ReadFile(errFile);
    return run;
}

std::map<std::string, std::string> Latin1Locale(const TempDir& folder) {
    const std::string name = "en_US.ISO-8859-1";
    const std::filesystem::path locales = folder / "locales";
    const std::optional<std::filesystem::path> localedef = FindProgram("localedef");
    std::error_code error;
    std::filesystem::create_directories(locales, error);
    if (!localedef || error) {
        return {};
    }
    RunProcess(folder, localedef->string(),
               {"-i", "en_US", "-f", "ISO-8859-1", (locales / name).string()});
    if (!std::filesystem::exists(locales / name / "LC_CTYPE", error)) {
        return {};
    }
    return {{"LOCPATH", locales.string()}, {"LC_ALL", name}};
}

}  // namespace pixhaven::test
