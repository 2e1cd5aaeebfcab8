// Reading and copying stored files, decrypting those of an encrypted backup.
#include "backup/storedcontent.h"

#include <fstream>

#include "backup/backupkeys.h"
#include "backup/manifest.h"

namespace pixhaven::backup {
namespace {

constexpr std::size_t kMostEndBytes = kCipherBlock;

// Decrypts a copy's bytes as they pass, cut to the record's size.
class DecryptingCopy final : public platform::CopyTransform {
public:
    DecryptingCopy(const SecretBytes& key, std::uint64_t size) : decryptor_(key, size) {}

    bool Update(std::span<const unsigned char> in, std::vector<unsigned char>& out) override {
        return decryptor_.Update(in, out);
    }
    bool Finish(std::vector<unsigned char>& out) override { return decryptor_.Finish(out); }

private:
    ContentDecryptor decryptor_;
};

std::optional<std::uint64_t> RegularFileSize(const std::filesystem::path& file) {
    std::error_code error;
    // A folder cannot be read and a FIFO would block the scan: only regular files are opened.
    if (!std::filesystem::is_regular_file(file, error)) {
        return std::nullopt;
    }
    const std::uintmax_t size = std::filesystem::file_size(file, error);
    return error ? std::nullopt : std::optional<std::uint64_t>(size);
}

// `count` bytes at `offset` of `file`; fewer at its end.
std::string ReadAt(const std::filesystem::path& file, std::uint64_t offset, std::size_t count) {
    std::ifstream in;
    in.rdbuf()->pubsetbuf(nullptr, 0);  // a handful of bytes: no buffer worth allocating
    in.open(file, std::ios::binary);
    std::string bytes(count, '\0');
    in.seekg(static_cast<std::streamoff>(offset));
    if (!in) {
        return {};
    }
    in.read(bytes.data(), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
    return bytes;
}

}  // namespace

StoredContent StoredContentOf(const ManifestRecord& record,
                              const std::filesystem::path& backupFolder, const BackupKeys* keys) {
    StoredContent file{record.StoredFile(backupFolder), nullptr, false, record.size};
    const std::optional<std::string_view> wrapped = record.EncryptionKey();
    if (keys != nullptr && wrapped && !wrapped->empty()) {
        file.encrypted = true;
        if (std::optional<SecretBytes> key = keys->UnwrapStoredKey(*wrapped)) {
            file.key = std::make_shared<const SecretBytes>(std::move(*key));
        }
    }
    return file;
}

ContentEnds::ContentEnds(const StoredContent& file)
    : file_(file), storedBytes_(file.Readable() ? RegularFileSize(file.path) : std::nullopt) {}

std::string_view ContentEnds::Head(std::size_t count) {
    if (!storedBytes_ || count > kMostEndBytes) {
        return {};
    }
    if (!file_.encrypted) {
        return ReadPlain(0, false, count);
    }
    return ReadDecrypted(0, static_cast<std::size_t>(std::min<std::uint64_t>(count, file_.size)));
}

std::string_view ContentEnds::Tail(std::size_t count) {
    if (!storedBytes_ || count > kMostEndBytes) {
        return {};
    }
    if (!file_.encrypted) {
        return count > *storedBytes_ ? std::string_view() : ReadPlain(0, true, count);
    }
    return count > file_.size ? std::string_view() : ReadDecrypted(file_.size - count, count);
}

std::string_view ContentEnds::ReadPlain(std::int64_t offset, bool fromEnd, std::size_t count) {
    const std::uint64_t start =
        fromEnd ? *storedBytes_ - count : static_cast<std::uint64_t>(offset);
    bytes_ = ReadAt(file_.path, start, count);
    return bytes_;
}

// The plaintext bytes [offset, offset + count): their ciphertext blocks and the one before them.
// An encrypted file is whole blocks and longer than its content, the padding taking at least a
// byte; one that is not holds no readable content.
std::string_view ContentEnds::ReadDecrypted(std::uint64_t offset, std::size_t count) {
    if (count == 0 || *storedBytes_ % kCipherBlock != 0 || *storedBytes_ <= file_.size) {
        return {};
    }
    const std::uint64_t startBlock = offset / kCipherBlock;
    const std::uint64_t ivBlock = startBlock == 0 ? 0 : startBlock - 1;
    const std::uint64_t endBlock = (offset + count - 1) / kCipherBlock + 1;
    const std::string blocks =
        ReadAt(file_.path, ivBlock * kCipherBlock,
               static_cast<std::size_t>((endBlock - ivBlock) * kCipherBlock));
    const std::optional<std::string> plain =
        DecryptRange(*file_.key, blocks, ivBlock, offset, count);
    bytes_ = plain.value_or(std::string());
    return bytes_;
}

std::optional<std::string> ReadContent(const StoredContent& file, std::uint64_t maxBytes) {
    if (!file.Readable()) {
        return std::nullopt;
    }
    // The padding adds at most a block to an encrypted file.
    const std::uint64_t most = file.encrypted ? maxBytes + kCipherBlock : maxBytes;
    std::optional<std::string> bytes = platform::ReadRegularFile(file.path, most);
    if (!bytes || !file.encrypted) {
        return bytes;
    }
    return DecryptContent(*file.key, *bytes, file.size);
}

std::optional<std::string> ReadContentHead(const StoredContent& file, std::size_t count) {
    const std::optional<std::uint64_t> stored =
        file.Readable() ? RegularFileSize(file.path) : std::nullopt;
    if (!stored) {
        return std::nullopt;
    }
    if (!file.encrypted) {
        return ReadAt(file.path, 0,
                      static_cast<std::size_t>(std::min<std::uint64_t>(count, *stored)));
    }
    // As ContentEnds: whole blocks, longer than the content by its padding.
    if (*stored % kCipherBlock != 0 || *stored <= file.size) {
        return std::nullopt;
    }
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(count, file.size));
    if (wanted == 0) {
        return std::string();
    }
    const std::size_t blocks = (wanted - 1) / kCipherBlock + 1;
    return DecryptRange(*file.key, ReadAt(file.path, 0, blocks * kCipherBlock), 0, 0, wanted);
}

platform::CopyResult CopyContent(const StoredContent& file, const std::filesystem::path& to,
                                 std::error_code& error) {
    if (!file.encrypted) {
        return platform::CopyFileNoOverwrite(file.path, to, error);
    }
    if (!file.key) {
        error.clear();
        return platform::CopyResult::TransformFailed;
    }
    DecryptingCopy decrypting(*file.key, file.size);
    return platform::CopyFileNoOverwrite(file.path, to, error, decrypting);
}

}  // namespace pixhaven::backup
