// The maker's utility calls over the platform layer: registry keys backed by the per-user key
// store, folder tests and traversal, the program folder and the update check.
#include "makerlibs/qvutility.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "makerlibs/regstore.h"
#include "platform/files.h"
#include "platform/textcodec.h"
#include "platform/userdirs.h"

namespace fs = std::filesystem;
using pixhaven::qv::RegDocument;
using pixhaven::qv::RegStore;
using pixhaven::qv::RegValue;

namespace {

constexpr std::u16string_view kCurrentUser = u"HKEY_CURRENT_USER";
constexpr std::u16string_view kShellFolders =
    u"HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

template <typename Char>
bool EqualsIgnoringAsciiCase(std::basic_string_view<Char> a, std::basic_string_view<Char> b) {
    const auto lower = [](Char c) {
        return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](Char x, Char y) { return lower(x) == lower(y); });
}

bool EqualsIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    return EqualsIgnoringAsciiCase<char16_t>(a, b);
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return EqualsIgnoringAsciiCase<char>(a, b);
}

// The full key path, or none for a sub-key with an empty segment ("a\\\\b").
std::optional<std::u16string> FullKeyPath(std::u16string_view subKey) {
    while (!subKey.empty() && subKey.front() == u'\\') {
        subKey.remove_prefix(1);
    }
    while (!subKey.empty() && subKey.back() == u'\\') {
        subKey.remove_suffix(1);
    }
    if (subKey.find(u"\\\\") != std::u16string_view::npos) {
        return std::nullopt;
    }
    std::u16string path(kCurrentUser);
    if (!subKey.empty()) {
        path += u'\\';
        path += subKey;
    }
    return path;
}

bool IsShellFoldersKey(std::u16string_view path) {
    return EqualsIgnoringAsciiCase(path, kShellFolders);
}

// The shell-folders key and the keys above it exist without being stored.
bool IsVirtualKeyOrAncestor(std::u16string_view path) {
    return IsShellFoldersKey(path) ||
           (path.size() < kShellFolders.size() && kShellFolders[path.size()] == u'\\' &&
            EqualsIgnoringAsciiCase(path, kShellFolders.substr(0, path.size())));
}

std::u16string PathToUtf16(const fs::path& path) {
    const std::u8string utf8 = path.u8string();
    return pixhaven::platform::Utf8ToUtf16(std::string(utf8.begin(), utf8.end()));
}

std::optional<RegValue> ReadValue(const QvRegKey& key, std::u16string_view name) {
    if (!key.IsOpen()) {
        return std::nullopt;
    }
    if (IsShellFoldersKey(key.Path())) {
        const fs::path appData = pixhaven::platform::UserDataFolder();
        if (!EqualsIgnoringAsciiCase(name, u"AppData") || appData.empty()) {
            return std::nullopt;
        }
        return RegValue{RegValue::Type::String, PathToUtf16(appData), 0};
    }
    const std::optional<RegDocument> document = RegStore::ForCurrentUser().Load();
    const RegValue* value = document ? document->Find(key.Path(), name) : nullptr;
    return value != nullptr ? std::optional<RegValue>(*value) : std::nullopt;
}

bool WriteValue(const QvRegKey& key, std::u16string_view name, RegValue value) {
    if (!key.IsOpen() || !key.Writable() || IsShellFoldersKey(key.Path())) {
        return false;
    }
    return RegStore::ForCurrentUser().Update(
        [&](RegDocument& document) { document.Set(key.Path(), name, std::move(value)); });
}

}  // namespace

bool qvOpenRegKeyW(QvRootKey, std::u16string_view subKey, QvAccess access, QvRegKey& key) {
    key = QvRegKey{};
    const std::optional<std::u16string> path = FullKeyPath(subKey);
    if (!path) {
        return false;
    }
    if (*path != kCurrentUser && !IsVirtualKeyOrAncestor(*path)) {
        const std::optional<RegDocument> document = RegStore::ForCurrentUser().Load();
        if (!document || !document->HasKey(*path)) {
            return false;
        }
    }
    key.path_ = *path;
    key.access_ = access;
    return true;
}

bool qvCreateRegKeyW(QvRootKey root, std::u16string_view subKey, QvRegKey& key) {
    if (qvOpenRegKeyW(root, subKey, QvAccess::ReadWrite, key)) {
        return true;
    }
    const std::optional<std::u16string> path = FullKeyPath(subKey);
    if (!path || !RegStore::ForCurrentUser().Update(
                     [&](RegDocument& document) { document.AddKey(*path); })) {
        return false;
    }
    key.path_ = *path;
    key.access_ = QvAccess::ReadWrite;
    return true;
}

bool qvGetRegKeyStrW(const QvRegKey& key, std::u16string_view name, std::u16string& value) {
    const std::optional<RegValue> stored = ReadValue(key, name);
    // Like the Win32 call with a buffer of kQvRegStrChars, a longer text does not fit.
    if (!stored || stored->type != RegValue::Type::String ||
        stored->text.size() + 1 > kQvRegStrChars) {
        return false;
    }
    value = stored->text;
    return true;
}

bool qvSetRegKeyStrW(const QvRegKey& key, std::u16string_view name, std::u16string_view value) {
    return WriteValue(key, name, RegValue{RegValue::Type::String, std::u16string(value), 0});
}

bool qvGetRegKeyDwordW(const QvRegKey& key, std::u16string_view name, std::uint32_t& value) {
    const std::optional<RegValue> stored = ReadValue(key, name);
    if (!stored || stored->type != RegValue::Type::Dword) {
        return false;
    }
    value = stored->dword;
    return true;
}

bool qvSetRegKeyDwordW(const QvRegKey& key, std::u16string_view name, std::uint32_t value) {
    return WriteValue(key, name, RegValue{RegValue::Type::Dword, {}, value});
}

bool qvIsDirW(const fs::path& path) {
    return pixhaven::platform::IsFolder(path);
}

bool qvTraverseDirW(const fs::path& folder, const QvTraverseCallback& callback, int flags) {
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error || flags != 0 || !callback) {
        return false;
    }
    std::vector<fs::path> names;
    // An entry that fails mid-listing ends the listing, as FindNextFile would.
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        std::error_code typeError;
        if (entries->is_directory(typeError)) {  // follows symbolic links
            names.push_back(entries->path().filename());
        }
    }
    std::sort(names.begin(), names.end(),
              [](const fs::path& a, const fs::path& b) { return a.native() < b.native(); });
    for (const fs::path& name : names) {
        if (!callback(QvFindData{name, true})) {
            break;
        }
    }
    return true;
}

bool qvCreateDirTreeW(const fs::path& folder) {
    return pixhaven::platform::CreateFolderTree(folder);
}

fs::path qvGetAppDirW() {
    return pixhaven::platform::ExecutableFile().parent_path();
}

namespace {

// Update lists are a few lines; anything bigger is not one.
constexpr std::uintmax_t kMaxUpdateListBytes = 1u << 20;

std::string_view TrimBlanks(std::string_view text) {
    constexpr std::string_view kBlanks = " \t\r\n";
    const std::size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool IsSchemeName(std::string_view text) {
    const auto isAlpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
    const auto isSchemeChar = [&](char c) {
        return isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
    };
    return !text.empty() && isAlpha(text.front()) &&
           std::all_of(text.begin(), text.end(), isSchemeChar);
}

std::optional<std::string> PercentDecode(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const auto hex = [](char c) {
            return c >= '0' && c <= '9'   ? c - '0'
                   : c >= 'a' && c <= 'f' ? c - 'a' + 10
                   : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
        };
        if (i + 2 >= text.size() || hex(text[i + 1]) < 0 || hex(text[i + 2]) < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(hex(text[i + 1]) * 16 + hex(text[i + 2]));
        i += 2;
    }
    return out;
}

fs::path PathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

// The local file named by a "file://" address (empty or "localhost" host).
std::optional<fs::path> FileFromAddress(std::string_view afterScheme) {
    if (!afterScheme.starts_with("//")) {
        return std::nullopt;
    }
    afterScheme.remove_prefix(2);
    const std::size_t slash = afterScheme.find('/');
    const std::string_view host = afterScheme.substr(0, slash);
    if (slash == std::string_view::npos ||
        (!host.empty() && !EqualsIgnoringAsciiCase(host, "localhost"))) {
        return std::nullopt;
    }
    const std::optional<std::string> path = PercentDecode(afterScheme.substr(slash));
    if (!path || path->find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return pixhaven::platform::PathFromFileAddress(*path);
}

// The file an update-list address names; none for any address that would need the network.
// A one-letter "scheme" is a drive letter of a plain path.
std::optional<fs::path> UpdateListFile(std::u16string_view address) {
    const std::string utf8 = pixhaven::platform::Utf16ToUtf8(address);
    const std::size_t colon = utf8.find(':');
    if (colon != std::string::npos && colon >= 2 &&
        IsSchemeName(std::string_view(utf8).substr(0, colon))) {
        if (!EqualsIgnoringAsciiCase(std::string_view(utf8).substr(0, colon), "file")) {
            return std::nullopt;
        }
        return FileFromAddress(std::string_view(utf8).substr(colon + 1));
    }
    if (utf8.empty() || utf8.find('\0') != std::string::npos) {
        return std::nullopt;
    }
    return PathFromUtf8(utf8);
}

// A version's numeric components as digit strings without leading zeros, so that any length
// compares without overflow; none unless the text is digits separated by single dots.
std::optional<std::vector<std::string>> ParseVersion(std::string_view text) {
    std::vector<std::string> components;
    for (;;) {
        const std::size_t dot = text.find('.');
        const std::string_view part = text.substr(0, dot);
        if (part.empty() || part.find_first_not_of("0123456789") != std::string_view::npos) {
            return std::nullopt;
        }
        const std::size_t significant = part.find_first_not_of('0');
        components.emplace_back(significant == std::string_view::npos ? std::string_view()
                                                                      : part.substr(significant));
        if (dot == std::string_view::npos) {
            return components;
        }
        text.remove_prefix(dot + 1);
    }
}

// Negative, zero or positive as `a` is older than, equal to or newer than `b`; missing
// components count as 0, so "6.0" equals "6.0.0".
int CompareVersions(const std::vector<std::string>& a, const std::vector<std::string>& b) {
    const std::size_t count = std::max(a.size(), b.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& x = i < a.size() ? a[i] : std::string();
        const std::string& y = i < b.size() ? b[i] : std::string();
        if (x.size() != y.size()) {
            return x.size() < y.size() ? -1 : 1;
        }
        if (const int order = x.compare(y); order != 0) {
            return order;
        }
    }
    return 0;
}

// Whether the list names a newer version of `program`; none when the list is malformed.
std::optional<bool> ListNamesNewerVersion(std::string_view list, std::string_view program,
                                          const std::vector<std::string>& current) {
    if (list.starts_with("\xEF\xBB\xBF")) {
        list.remove_prefix(3);
    }
    bool newer = false;
    while (!list.empty()) {
        const std::size_t end = list.find('\n');
        const std::string_view line = TrimBlanks(list.substr(0, end));
        list.remove_prefix(end == std::string_view::npos ? list.size() : end + 1);
        if (line.empty() || line.front() == '#') {
            continue;
        }
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos || TrimBlanks(line.substr(0, equals)).empty()) {
            return std::nullopt;
        }
        if (TrimBlanks(line.substr(0, equals)) != program) {
            continue;
        }
        const auto listed = ParseVersion(TrimBlanks(line.substr(equals + 1)));
        if (!listed) {
            return std::nullopt;
        }
        newer = newer || CompareVersions(*listed, current) > 0;
    }
    return newer;
}

int CheckUpdate(std::u16string_view program, std::u16string_view currentVersion,
                std::u16string_view listAddress) {
    const std::string programName = pixhaven::platform::Utf16ToUtf8(program);
    const auto current = ParseVersion(TrimBlanks(pixhaven::platform::Utf16ToUtf8(currentVersion)));
    const std::optional<fs::path> listFile = UpdateListFile(listAddress);
    if (programName.empty() || !current || !listFile) {
        return 0;
    }
    const std::optional<std::string> list =
        pixhaven::platform::ReadRegularFile(*listFile, kMaxUpdateListBytes);
    if (!list) {
        return 0;
    }
    const std::optional<bool> newer = ListNamesNewerVersion(*list, programName, *current);
    return newer.value_or(false) ? 1 : 0;
}

}  // namespace

int qvCheckUpdate(std::u16string_view program, std::u16string_view currentVersion,
                  std::u16string_view listAddress) {
    try {
        return CheckUpdate(program, currentVersion, listAddress);
    } catch (...) {
        return 0;  // called from a thread that has nobody to report to
    }
}
