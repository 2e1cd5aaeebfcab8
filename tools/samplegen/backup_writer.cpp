// Writing one sample backup folder: stored files under their hashed names, then the manifest.
#include "tools/samplegen/backup_writer.h"

#include <fstream>
#include <iterator>

#include "tools/samplegen/crypto.h"
#include "tools/samplegen/manifestdb_writer.h"
#include "tools/samplegen/mbfile_writer.h"

namespace pixhaven::samplegen {
namespace {

constexpr std::uint16_t kFolderMode = 040755;
constexpr std::uint16_t kFileMode = 0100644;
constexpr std::uint16_t kTypeMask = 0170000;
constexpr std::uint16_t kFolderType = 0040000;
constexpr std::uint16_t kLinkType = 0120000;
constexpr std::uint16_t kFileType = 0100000;

// Files take turns over several classes, so a reader must unwrap with more than one class key.
constexpr std::uint32_t kFileClasses[] = {3, 4, 3, 1, 3, 2, 3, 11};

// Manifest.db's flags: 1 file, 2 folder, 4 link.
int RowFlags(std::uint16_t mode) {
    switch (mode & kTypeMask) {
        case kFolderType:
            return 2;
        case kLinkType:
            return 4;
        default:
            return 1;
    }
}

ManifestDbRow MakeRow(const PlannedRecord& record, bool shuffle, bool encrypted) {
    const MbdbEntry& entry = record.entry;
    MbFileFields fields{entry.size,    entry.modified, entry.accessed,
                        entry.created, entry.mode,     entry.path.value_or(std::string())};
    if (entry.protectionClass != 0) {
        fields.protectionClass = entry.protectionClass;
    }
    if (encrypted) {
        fields.encryptionKey = entry.encryptionKey;
    }
    return ManifestDbRow{record.report.storedName, entry.domain.value_or(std::string()),
                         entry.path.value_or(std::string()), RowFlags(entry.mode),
                         EncodeMbFile(fields, shuffle)};
}

std::string ReadBytes(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in) {
        throw SampleError("cannot read " + file.string());
    }
    return bytes;
}

void WriteBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw SampleError("cannot write " + file.string());
    }
}

}  // namespace

std::string StoredNameOf(const std::optional<std::string>& domain,
                         const std::optional<std::string>& path) {
    const std::string text = domain.value_or("(null)") + "-" + path.value_or("(null)");
    return backup::Sha1Hex(text.data(), text.size());
}

void PlannedRecord::LeaveStoredFileOut(Trap trap) {
    report.storedFileExists = false;
    report.contentSha1.clear();
    report.trap = trap;
    bytes.reset();
}

void PlannedRecord::SetTimes(std::uint32_t modified, std::uint32_t accessed,
                             std::uint32_t created) {
    entry.modified = report.modified = modified;
    entry.accessed = accessed;
    entry.created = report.created = created;
}

ContentCache::Seen& ContentCache::Find(const std::shared_ptr<const std::string>& bytes) {
    auto found = seen_.find(bytes);
    if (found == seen_.end()) {
        backup::Sha1 sha;
        sha.Update(bytes->data(), bytes->size());
        found = seen_.emplace(bytes, Seen{sha.Finish(), {}}).first;
    }
    return found->second;
}

const backup::Sha1Digest& ContentCache::DigestOf(const std::shared_ptr<const std::string>& bytes) {
    return Find(bytes).digest;
}

void ContentCache::Store(const std::shared_ptr<const std::string>& bytes,
                         const std::filesystem::path& file) {
    Seen& seen = Find(bytes);
    if (!seen.firstCopy.empty()) {
        std::error_code error;
        std::filesystem::create_hard_link(seen.firstCopy, file, error);
        if (!error) {
            return;
        }
    }
    WriteBytes(file, *bytes);
    if (seen.firstCopy.empty()) {
        seen.firstCopy = file;
    }
}

BackupWriter::BackupWriter(std::filesystem::path folder, std::uint64_t seed, ContentCache& cache,
                           ManifestKind kind)
    : folder_(std::move(folder)),
      kind_(kind),
      random_(seed),
      cache_(cache),
      nextInode_(random_.Between(20000, 90000)),
      baseTime_(1325376000u + random_.Between(0, 365u * 86400u)) {}  // during 2012

BackupWriter BackupWriter::Twin(std::filesystem::path folder, ManifestKind kind) const {
    BackupWriter twin(std::move(folder), 0, cache_, kind);
    for (const PlannedRecord& record : records_) {
        if (kind == ManifestKind::Mbdb || (record.entry.domain && record.entry.path)) {
            twin.records_.push_back(record);
        }
    }
    twin.random_ = random_;
    twin.nextInode_ = nextInode_;
    twin.baseTime_ = baseTime_;
    return twin;
}

std::filesystem::path BackupWriter::StoredFile(const PlannedRecord& record) const {
    const std::string& name = record.report.storedName;
    return kind_ == ManifestKind::Db ? folder_ / name.substr(0, 2) / name : folder_ / name;
}

PlannedRecord& BackupWriter::AddRecord(std::optional<std::string> domain,
                                       std::optional<std::string> path) {
    PlannedRecord& record = records_.emplace_back();
    record.report.storedName = StoredNameOf(domain, path);
    record.entry.domain = record.report.domain = std::move(domain);
    record.entry.path = record.report.path = std::move(path);
    record.entry.inode = nextInode_++;
    const std::uint32_t created = baseTime_ + random_.Between(0, 180u * 86400u);
    const std::uint32_t modified = created + random_.Between(0, 30u * 86400u);
    record.SetTimes(modified, modified + random_.Between(0, 86400u), created);
    return record;
}

PlannedRecord& BackupWriter::AddFolder(const std::string& domain, const std::string& path) {
    PlannedRecord& record = AddRecord(domain, path);
    record.entry.mode = record.report.mode = kFolderMode;
    record.report.trap = path.empty() ? Trap::DomainRoot : Trap::Folder;
    record.report.content = Content::None;
    return record;
}

PlannedRecord& BackupWriter::AddFile(std::optional<std::string> domain,
                                     std::optional<std::string> path, const Blob& blob, Trap trap) {
    PlannedRecord& record = AddRecord(std::move(domain), std::move(path));
    record.entry.mode = record.report.mode = kFileMode;
    record.bytes = blob.bytes;
    const backup::Sha1Digest& digest = cache_.DigestOf(blob.bytes);
    record.entry.dataHash = std::string(digest.begin(), digest.end());
    char hex[40];
    backup::DigestHex(digest, hex);
    record.report.contentSha1.assign(hex, sizeof hex);
    record.entry.size = record.report.size = blob.bytes->size();
    record.report.content = blob.content;
    record.report.trap = trap;
    record.report.storedFileExists = true;
    record.report.width = blob.width;
    record.report.height = blob.height;
    record.report.frames = blob.frames;
    record.report.hasExif = blob.hasExif;
    return record;
}

ManifestKeys BackupWriter::Encrypt(const Encryption& encryption, std::uint64_t keySeed) {
    keyRandom_ = Random(keySeed);
    keys_.emplace(encryption, kind_, keyRandom_);
    ManifestKeys manifest{keys_->Keybag(), {}};
    if (kind_ == ManifestKind::Db) {
        manifestKey_ = keyRandom_.Bytes(32);
        manifest.manifestKey = keys_->WrapWithClass(BackupKeys::kManifestClass, manifestKey_);
    }
    return manifest;
}

std::optional<std::string> BackupWriter::Seal(PlannedRecord& record, std::size_t index) {
    MbdbEntry& entry = record.entry;
    if ((entry.mode & kTypeMask) != kFileType) {
        entry.encryptionKey.reset();
        return std::nullopt;
    }
    const std::uint32_t protectionClass = entry.protectionClass != 0
                                              ? entry.protectionClass
                                              : kFileClasses[index % std::size(kFileClasses)];
    std::string key = keyRandom_.Bytes(32);
    entry.encryptionKey = keys_->WrapWithClass(protectionClass, key);
    entry.protectionClass = static_cast<std::uint8_t>(protectionClass);
    record.report.protectionClass = protectionClass;
    return key;
}

// Plain copies of one content share it through hard links; encrypted ones each have their key.
void BackupWriter::WriteStoredFiles() {
    for (std::size_t i = 0; i < records_.size(); ++i) {
        PlannedRecord& record = records_[i];
        const std::optional<std::string> key = keys_ ? Seal(record, i) : std::nullopt;
        if (!record.bytes) {
            continue;
        }
        const std::filesystem::path file = StoredFile(record);
        std::filesystem::create_directories(file.parent_path());
        if (key) {
            WriteBytes(file, AesCbcEncrypt(*key, *record.bytes));
        } else {
            cache_.Store(record.bytes, file);
        }
    }
}

std::vector<RecordReport> BackupWriter::Finish(bool cutLastRecord) {
    std::filesystem::create_directories(folder_);
    WriteStoredFiles();
    if (kind_ == ManifestKind::Db) {
        WriteDbManifest();
    } else {
        WriteManifest(cutLastRecord);
    }
    std::vector<RecordReport> reports;
    reports.reserve(records_.size());
    for (PlannedRecord& record : records_) {
        reports.push_back(std::move(record.report));
    }
    records_.clear();
    return reports;
}

// Every other archive has its objects reordered, so readers cannot rely on their positions.
void BackupWriter::WriteDbManifest() const {
    std::vector<ManifestDbRow> rows;
    rows.reserve(records_.size());
    for (std::size_t i = 0; i < records_.size(); ++i) {
        rows.push_back(MakeRow(records_[i], i % 2 == 1, keys_.has_value()));
    }
    const std::filesystem::path file = folder_ / "Manifest.db";
    samplegen::WriteManifestDb(file, rows);
    if (keys_) {
        WriteBytes(file, AesCbcEncrypt(manifestKey_, ReadBytes(file)));
    }
}

void BackupWriter::WriteManifest(bool cutLastRecord) {
    std::string bytes = MbdbHeader();
    std::size_t lastStart = bytes.size();
    for (const PlannedRecord& record : records_) {
        lastStart = bytes.size();
        AppendMbdbRecord(bytes, record.entry);
    }
    if (cutLastRecord && !records_.empty()) {
        // Stop inside the path text: the length says more bytes follow than the file holds.
        const std::size_t domainBytes = 2 + records_.back().entry.domain.value_or("").size();
        bytes.resize(lastStart + domainBytes + 2 + 3);
        records_.back().report.readable = false;
        records_.back().report.trap = Trap::CutOffRecord;
    }
    WriteBytes(folder_ / "Manifest.mbdb", bytes);
}

}  // namespace pixhaven::samplegen
