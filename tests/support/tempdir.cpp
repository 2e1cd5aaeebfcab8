#include "tests/support/tempdir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pixhaven::test {
namespace {

std::filesystem::path TestTempRoot() {
    if (const char* root = std::getenv("PIXHAVEN_TEST_TMP"); root != nullptr && *root != '\0') {
        return root;
    }
    return std::filesystem::temp_directory_path() / "pixhaven-tests";
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> counter{0};
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name()
                                       : std::string("test");
    for (char& c : name) {
        if (c == '/')
            c = '_';
    }
    path_ = TestTempRoot() /
            (name + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

InFolder::InFolder(const std::filesystem::path& folder)
    : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(folder);
}

InFolder::~InFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void WriteFile(const std::filesystem::path& file, std::string_view bytes) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + file.string());
    }
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

std::set<std::filesystem::path> EntryNames(const std::filesystem::path& folder) {
    std::set<std::filesystem::path> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename());
    }
    return names;
}

std::map<std::string, std::string> ContentsBelow(const std::filesystem::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file()) {
            files[std::filesystem::relative(entry.path(), folder).generic_string()] =
                ReadFile(entry.path());
        }
    }
    return files;
}

bool MakeFifo(const std::filesystem::path& file) {
    return ::mkfifo(file.c_str(), 0600) == 0;
}

}  // namespace pixhaven::test
