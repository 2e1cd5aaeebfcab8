// Per-user folders on Windows, from the shell's known folders.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include <knownfolders.h>
#include <shlobj.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/userdirs.h"

namespace fs = std::filesystem;

namespace pixhaven::platform {
namespace {

struct CoTaskMemDeleter {
    void operator()(wchar_t* text) const { CoTaskMemFree(text); }
};

fs::path KnownFolder(REFKNOWNFOLDERID id) {
    wchar_t* raw = nullptr;
    const HRESULT result = SHGetKnownFolderPath(id, KF_FLAG_DEFAULT, nullptr, &raw);
    const std::unique_ptr<wchar_t, CoTaskMemDeleter> text(raw);  // freed even on failure
    if (FAILED(result) || text == nullptr) {
        return {};
    }
    return fs::path(text.get());
}

// Calls `fill(buffer, capacity)`, which returns the length written, growing the buffer until
// the answer fits.
template <typename Fill>
std::wstring GrowingBuffer(Fill fill) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int tries = 0; tries < 8; ++tries) {
        const DWORD length = fill(buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return {};
        }
        if (length < buffer.size()) {
            buffer.resize(length);
            return buffer;
        }
        buffer.resize(buffer.size() * 4);
    }
    return {};
}

}  // namespace

fs::path UserDataFolder() {
    return KnownFolder(FOLDERID_RoamingAppData);
}

fs::path UserConfigFolder() {
    return KnownFolder(FOLDERID_RoamingAppData);
}

fs::path TempFolder() {
    return GrowingBuffer(
        [](wchar_t* buffer, DWORD capacity) { return GetTempPathW(capacity, buffer); });
}

fs::path ExecutableFile() {
    return GrowingBuffer([](wchar_t* buffer, DWORD capacity) {
        const DWORD length = GetModuleFileNameW(nullptr, buffer, capacity);
        // A truncated answer fills the buffer exactly; report it as "too small".
        return length >= capacity ? capacity : length;
    });
}

fs::path ProgramFileName(std::string_view name) {
    fs::path file(name);
    file += L".exe";
    return file;
}

std::vector<fs::path> DeviceSoftwareFolders(const fs::path& appData) {
    std::vector<fs::path> folders;
    if (!appData.empty()) {
        folders.push_back(appData / L"Apple Computer");
    }
    if (fs::path profile = KnownFolder(FOLDERID_Profile); !profile.empty()) {
        folders.push_back(profile / L"Apple");
    }
    return folders;
}

}  // namespace pixhaven::platform
