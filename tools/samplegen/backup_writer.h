// Collects the records of one sample backup and writes its stored files and its manifest, either
// Manifest.mbdb or Manifest.db.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "backup/sha1.h"
#include "tools/samplegen/keybag.h"
#include "tools/samplegen/mbdb_writer.h"
#include "tools/samplegen/media_maker.h"
#include "tools/samplegen/random.h"
#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {

// One manifest record with the report entry that describes it and the bytes of its stored file.
struct PlannedRecord {
    MbdbEntry entry;
    RecordReport report;
    std::shared_ptr<const std::string> bytes;  // none: no stored file

    // The stored file is left out although the manifest lists it.
    void LeaveStoredFileOut(Trap trap = Trap::MissingStoredFile);
    void SetTimes(std::uint32_t modified, std::uint32_t accessed, std::uint32_t created);
};

// The data hash of each content, computed once, and where it was first written, so later copies
// become hard links. It holds on to every content it has seen, so no address is reused.
class ContentCache {
public:
    const backup::Sha1Digest& DigestOf(const std::shared_ptr<const std::string>& bytes);
    // Writes `bytes` to `file`, as a hard link to an earlier copy when there is one.
    void Store(const std::shared_ptr<const std::string>& bytes, const std::filesystem::path& file);

private:
    struct Seen {
        backup::Sha1Digest digest{};
        std::filesystem::path firstCopy;
    };
    Seen& Find(const std::shared_ptr<const std::string>& bytes);
    std::map<std::shared_ptr<const std::string>, Seen> seen_;
};

// What Manifest.plist says of an encrypted backup's keys.
struct ManifestKeys {
    std::string keybag;       // BackupKeyBag
    std::string manifestKey;  // ManifestKey, Manifest.db's key with its class; empty for mbdb
};

class BackupWriter {
public:
    BackupWriter(std::filesystem::path folder, std::uint64_t seed, ContentCache& cache,
                 ManifestKind kind = ManifestKind::Mbdb);

    // A writer for another folder and manifest kind holding copies of this one's records, so two
    // backups list the same files. Records without a domain or a path are left out when the copy
    // is a Manifest.db, whose rows always have both.
    BackupWriter Twin(std::filesystem::path folder, ManifestKind kind) const;

    // A folder record (mode 040755, no content); an empty path is the domain's own record.
    PlannedRecord& AddFolder(const std::string& domain, const std::string& path);
    PlannedRecord& AddFile(std::optional<std::string> domain, std::optional<std::string> path,
                           const Blob& blob, Trap trap = Trap::None);

    std::size_t RecordCount() const { return records_.size(); }
    // Makes Finish write an encrypted backup: every file's content under its own key wrapped
    // with a class key (Manifest.mbdb's encryption-key field, or the MBFile's EncryptionKey),
    // and Manifest.db encrypted whole. Keys are drawn from `keySeed`.
    ManifestKeys Encrypt(const Encryption& encryption, std::uint64_t keySeed);
    // Writes the stored files and the manifest. With `cutLastRecord` (Manifest.mbdb only) the
    // manifest ends halfway through the last record, which is then reported as unreadable.
    std::vector<RecordReport> Finish(bool cutLastRecord);

private:
    PlannedRecord& AddRecord(std::optional<std::string> domain, std::optional<std::string> path);
    // Gives a file record a key of its class and returns the key; none for folders and links.
    std::optional<std::string> Seal(PlannedRecord& record, std::size_t index);
    void WriteStoredFiles();
    void WriteManifest(bool cutLastRecord);
    void WriteDbManifest() const;
    std::filesystem::path StoredFile(const PlannedRecord& record) const;

    std::filesystem::path folder_;
    ManifestKind kind_;
    Random random_;
    ContentCache& cache_;
    std::deque<PlannedRecord> records_;
    std::uint64_t nextInode_;
    std::uint32_t baseTime_;
    std::optional<BackupKeys> keys_;
    std::string manifestKey_;
    Random keyRandom_{0};
};

// SHA-1 of domain + "-" + path, "(null)" standing for an absent part: the stored name. Computed
// here independently of the manifest reader, so the sample data can check that reader.
std::string StoredNameOf(const std::optional<std::string>& domain,
                         const std::optional<std::string>& path);

}  // namespace pixhaven::samplegen
