// The per-user key-value store behind qvutility's registry calls: a document of keys and typed
// values, and the INI-like text file that holds it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pixhaven::qv {

struct RegValue {
    enum class Type { String, Dword };
    Type type = Type::String;
    std::u16string text;
    std::uint32_t dword = 0;

    bool operator==(const RegValue&) const = default;
};

// Keys and values in file order. Key paths and value names compare without regard to ASCII case,
// as the registry's do.
class RegDocument {
public:
    // Lines that cannot be read are skipped; nothing in the text can make parsing fail.
    static RegDocument Parse(std::string_view text);
    std::string Serialize() const;

    // True when the key, or a key below it, exists.
    bool HasKey(std::u16string_view path) const;
    void AddKey(std::u16string_view path);
    const RegValue* Find(std::u16string_view path, std::u16string_view name) const;
    void Set(std::u16string_view path, std::u16string_view name, RegValue value);

private:
    struct Key {
        std::u16string path;
        std::vector<std::pair<std::u16string, RegValue>> values;
        std::map<std::u16string, std::size_t> valueIndex;  // folded name -> position
    };
    Key& KeyFor(std::u16string_view path);

    std::vector<Key> keys_;
    std::map<std::u16string, std::size_t> keyIndex_;  // folded path -> position
};

// The store file. Readers see whole documents; writers are serialised by a lock file and replace
// the file atomically.
class RegStore {
public:
    explicit RegStore(std::filesystem::path file) : file_(std::move(file)) {}

    // The current user's store, under the user's configuration folder.
    static RegStore ForCurrentUser();

    // The stored document: empty when there is no store yet, none when a store exists but cannot
    // be read (so that a writer never replaces what it could not read).
    std::optional<RegDocument> Load() const;

    // Loads, applies `change` and writes the result, all under the store's lock.
    bool Update(const std::function<void(RegDocument&)>& change) const;

    const std::filesystem::path& File() const { return file_; }

private:
    std::filesystem::path file_;
};

// Upper bound on a store file that is still read; a real store holds a few hundred bytes.
inline constexpr std::uintmax_t kMaxStoreBytes = 8u << 20;

}  // namespace pixhaven::qv
