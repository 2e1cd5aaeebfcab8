// The content of a backup's stored file as its readers need it: where it lies and, in an encrypted
// backup, the key it is encrypted with. Every read of a stored file's content goes through here,
// so an encrypted backup's files are decrypted on the way, in memory, and reach the disk in plain
// text only where recovery writes them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "backup/secret.h"
#include "platform/files.h"

namespace pixhaven::backup {

class BackupKeys;
class ManifestRecord;

struct StoredContent {
    StoredContent() = default;
    // A plain file's content (a path converts, as most stored files are plain).
    StoredContent(std::filesystem::path file) : path(std::move(file)) {}
    StoredContent(std::filesystem::path file, std::shared_ptr<const SecretBytes> fileKey,
                  bool isEncrypted, std::uint64_t recordSize)
        : path(std::move(file)),
          key(std::move(fileKey)),
          encrypted(isEncrypted),
          size(recordSize) {}

    std::filesystem::path path;
    // The file's own key in an encrypted backup; none with `encrypted` set when it would not
    // unwrap, and then the content cannot be read.
    std::shared_ptr<const SecretBytes> key;
    bool encrypted = false;
    std::uint64_t size = 0;  // the record's size; decrypted content is cut to it

    bool Readable() const { return !encrypted || key != nullptr; }
};

// The content of `record`'s stored file in `backupFolder`; with `keys`, a record that carries a
// wrapped key gets it unwrapped.
StoredContent StoredContentOf(const ManifestRecord& record,
                              const std::filesystem::path& backupFolder, const BackupKeys* keys);

// A few bytes at the start or end of a stored file's content, never the whole file: what the
// scan's signature tests read. The end of a plain file is its last byte; the end of an encrypted
// one is its record's size.
class ContentEnds {
public:
    explicit ContentEnds(const StoredContent& file);

    // The first `count` (at most 16) bytes, or fewer when the content is shorter or unreadable.
    std::string_view Head(std::size_t count);
    // The last `count` (at most 16) bytes, or nothing when the content is shorter or unreadable.
    std::string_view Tail(std::size_t count);

private:
    std::string_view ReadPlain(std::int64_t offset, bool fromEnd, std::size_t count);
    std::string_view ReadDecrypted(std::uint64_t offset, std::size_t count);

    const StoredContent& file_;
    std::optional<std::uint64_t> storedBytes_;  // the file's length on disk; none: unreadable
    std::string bytes_;
};

// The whole content, decrypted when it is encrypted; none when it cannot be read, is larger than
// `maxBytes`, or does not decrypt (bad padding, shorter than its record's size).
std::optional<std::string> ReadContent(const StoredContent& file, std::uint64_t maxBytes);

// The first `count` bytes of the content (all of it when shorter), decrypted when encrypted, read
// without the rest of the file: a picture's header and embedded thumbnail lie there. None when it
// cannot be read.
std::optional<std::string> ReadContentHead(const StoredContent& file, std::size_t count);

// Writes the content to a new file at `to`, decrypting it on the way; never replaces anything.
// TransformFailed: the file's key would not unwrap or its content does not decrypt.
platform::CopyResult CopyContent(const StoredContent& file, const std::filesystem::path& to,
                                 std::error_code& error);

}  // namespace pixhaven::backup
