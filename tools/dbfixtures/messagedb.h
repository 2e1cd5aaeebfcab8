// Large message and call databases for benchmarks, built with SQLite from the real device layouts:
// realistic rows in one transaction, then rows deleted spread over the whole file (secure_delete
// off, no vacuum), so their bytes stay in freeblocks and unassigned areas as on a device.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace pixhaven::dbfixtures {

struct GeneratedDatabase {
    std::int64_t rows = 0;         // rows inserted
    std::int64_t deletedRows = 0;  // rows deleted again
};

// The archived attributed string iOS 6 keeps in message.attributedBody beside the plain text.
std::string AttributedBody(const std::string& text);

// An iOS 6 sms.db ("ios6-sms.sql") of about `targetBytes`, with `deletedRows` messages deleted.
// The same seed gives the same file.
GeneratedDatabase GenerateIos6MessageDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed);
// An iOS 5 sms.db ("ios5-sms-upgraded.sql"), same parameters.
GeneratedDatabase GenerateIos5MessageDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed);
// A call_history.db ("call-history.sql"), same parameters.
GeneratedDatabase GenerateCallHistoryDatabase(const std::filesystem::path& path,
                                              std::uint64_t targetBytes, std::int64_t deletedRows,
                                              std::uint32_t seed);
// A small AddressBook ("addressbook.sql"): `persons` people with one or two phone numbers each,
// numbers drawn the way the generated messages and calls draw their addresses.
void GenerateAddressBook(const std::filesystem::path& path, int persons, std::uint32_t seed);

// An iOS 6 sms.db ("ios6-sms.sql") with exactly `messages` messages over the handle pool, nothing
// deleted; about one message in twenty has an attachment (mostly JPEG, some PNG and video) joined
// through message_attachment_join. The same seed gives the same file.
GeneratedDatabase GenerateIos6MessagesWithAttachments(const std::filesystem::path& path,
                                                      std::int64_t messages, std::uint32_t seed);
// The same, cached in `folder` like CachedDatabase.
std::filesystem::path CachedIos6MessagesWithAttachments(const std::filesystem::path& folder,
                                                        std::int64_t messages, std::uint32_t seed);

// The three large generators with a cache: the file lives in `folder` under a name made of the
// kind and the parameters, and is reused when it exists (it is renamed into place only once
// complete).
enum class GeneratedKind { Ios6Messages, Ios5Messages, CallHistory };
std::filesystem::path CachedDatabase(const std::filesystem::path& folder, GeneratedKind kind,
                                     std::uint64_t targetBytes, std::int64_t deletedRows,
                                     std::uint32_t seed);

}  // namespace pixhaven::dbfixtures
