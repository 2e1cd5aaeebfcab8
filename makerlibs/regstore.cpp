// The key store's document and its text file.
//
// File layout, UTF-8, one item per line:
//   ; comment                                  (also '#'; blank lines are ignored)
//   [HKEY_CURRENT_USER\Software\Quillmark\Pixhaven]
//   Version=sz:6.0.0
//   RunAtBoot=dword:00000001                   (one to eight hex digits)
// A '%' followed by two hex digits stands for one byte. Writers escape '%', control characters
// and the characters that would end the item early ("]" in a key path; "=", "[", ";", "#" in a
// value name), so every text round-trips. Lines that fail to decode are skipped, and so are the
// values of a key line that fails to decode, rather than landing in the key before it.
#include "makerlibs/regstore.h"

#include <array>
#include <cstdio>
#include <system_error>

#include "platform/files.h"
#include "platform/textcodec.h"
#include "platform/userdirs.h"

namespace fs = std::filesystem;

namespace pixhaven::qv {
namespace {

constexpr std::string_view kHeader =
    "; Per-user key store. Values are sz:<text> or dword:<hex>; %XX stands for one byte.\n";
constexpr std::string_view kPathSpecials = "]";
constexpr std::string_view kNameSpecials = "=[;#";

std::u16string Fold(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded) {
        if (c >= u'A' && c <= u'Z') {
            c = static_cast<char16_t>(c - u'A' + u'a');
        }
    }
    return folded;
}

std::string Escape(std::u16string_view text, std::string_view specials) {
    static constexpr std::array<char, 16> kHex = {'0', '1', '2', '3', '4', '5', '6', '7',
                                                  '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
    std::string out;
    for (const char c : platform::Utf16ToUtf8(text)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%' || specials.find(c) != std::string_view::npos) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<std::u16string> Unescape(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = HexDigit(text[i + 1]);
        const int low = HexDigit(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return platform::Utf8ToUtf16Strict(bytes);
}

std::optional<std::uint32_t> ParseDword(std::string_view hex) {
    if (hex.empty() || hex.size() > 8) {
        return std::nullopt;
    }
    std::uint32_t value = 0;
    for (const char c : hex) {
        const int digit = HexDigit(c);
        if (digit < 0) {
            return std::nullopt;
        }
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::optional<RegValue> ParseTypedValue(std::string_view typed) {
    if (typed.starts_with("sz:")) {
        std::optional<std::u16string> text = Unescape(typed.substr(3));
        if (!text) {
            return std::nullopt;
        }
        return RegValue{RegValue::Type::String, std::move(*text), 0};
    }
    if (typed.starts_with("dword:")) {
        const std::optional<std::uint32_t> dword = ParseDword(typed.substr(6));
        if (!dword) {
            return std::nullopt;
        }
        return RegValue{RegValue::Type::Dword, {}, *dword};
    }
    return std::nullopt;
}

std::string FormatTypedValue(const RegValue& value) {
    if (value.type == RegValue::Type::String) {
        return "sz:" + Escape(value.text, {});
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "%08x", static_cast<unsigned>(value.dword));
    return std::string("dword:") + hex;
}

// Splits text into lines without their "\n" or "\r\n" endings.
template <typename OnLine>
void ForEachLine(std::string_view text, OnLine onLine) {
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        onLine(line);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
}

}  // namespace

RegDocument RegDocument::Parse(std::string_view text) {
    RegDocument document;
    std::optional<std::u16string> currentKey;
    ForEachLine(text, [&](std::string_view line) {
        if (line.empty() || line.front() == ';' || line.front() == '#') {
            return;
        }
        if (line.front() == '[') {
            currentKey = line.back() == ']' && line.size() >= 2
                             ? Unescape(line.substr(1, line.size() - 2))
                             : std::nullopt;
            if (currentKey) {
                document.AddKey(*currentKey);
            }
            return;
        }
        const std::size_t equals = line.find('=');
        if (!currentKey || equals == std::string_view::npos) {
            return;
        }
        std::optional<std::u16string> name = Unescape(line.substr(0, equals));
        std::optional<RegValue> value = ParseTypedValue(line.substr(equals + 1));
        if (name && value) {
            document.Set(*currentKey, *name, std::move(*value));
        }
    });
    return document;
}

std::string RegDocument::Serialize() const {
    std::string out(kHeader);
    for (const Key& key : keys_) {
        out += "\n[" + Escape(key.path, kPathSpecials) + "]\n";
        for (const auto& [name, value] : key.values) {
            out += Escape(name, kNameSpecials) + "=" + FormatTypedValue(value) + "\n";
        }
    }
    return out;
}

bool RegDocument::HasKey(std::u16string_view path) const {
    const std::u16string folded = Fold(path);
    if (keyIndex_.contains(folded)) {
        return true;
    }
    const std::u16string prefix = folded + u'\\';
    const auto below = keyIndex_.lower_bound(prefix);
    return below != keyIndex_.end() && below->first.starts_with(prefix);
}

void RegDocument::AddKey(std::u16string_view path) {
    KeyFor(path);
}

const RegValue* RegDocument::Find(std::u16string_view path, std::u16string_view name) const {
    const auto key = keyIndex_.find(Fold(path));
    if (key == keyIndex_.end()) {
        return nullptr;
    }
    const Key& data = keys_[key->second];
    const auto value = data.valueIndex.find(Fold(name));
    return value == data.valueIndex.end() ? nullptr : &data.values[value->second].second;
}

void RegDocument::Set(std::u16string_view path, std::u16string_view name, RegValue value) {
    Key& key = KeyFor(path);
    const auto [slot, added] = key.valueIndex.try_emplace(Fold(name), key.values.size());
    if (added) {
        key.values.emplace_back(std::u16string(name), std::move(value));
    } else {
        key.values[slot->second].second = std::move(value);
    }
}

RegDocument::Key& RegDocument::KeyFor(std::u16string_view path) {
    const auto [slot, added] = keyIndex_.try_emplace(Fold(path), keys_.size());
    if (added) {
        keys_.push_back(Key{std::u16string(path), {}, {}});
    }
    return keys_[slot->second];
}

RegStore RegStore::ForCurrentUser() {
    const fs::path config = platform::UserConfigFolder();
    return RegStore(config.empty() ? fs::path() : config / "qvutility" / "registry.ini");
}

std::optional<RegDocument> RegStore::Load() const {
    if (file_.empty()) {
        return RegDocument{};
    }
    std::error_code error;
    const fs::file_status status = fs::status(file_, error);
    if (status.type() == fs::file_type::not_found) {
        return RegDocument{};
    }
    std::optional<std::string> text = platform::ReadRegularFile(file_, kMaxStoreBytes);
    if (!text) {
        return std::nullopt;
    }
    return RegDocument::Parse(*text);
}

bool RegStore::Update(const std::function<void(RegDocument&)>& change) const {
    if (file_.empty() || !platform::CreateFolderTree(file_.parent_path())) {
        return false;
    }
    fs::path lockFile = file_;
    lockFile += ".lock";
    const platform::ExclusiveFileLock lock(lockFile);
    if (!lock.IsLocked()) {
        return false;
    }
    std::optional<RegDocument> document = Load();
    if (!document) {
        return false;
    }
    change(*document);
    return platform::ReplaceFileAtomically(file_, document->Serialize());
}

}  // namespace pixhaven::qv
