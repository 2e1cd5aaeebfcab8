// Unlocking a backup's key bag and decrypting what its keys protect, through libcrypto.
#include "backup/backupkeys.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <limits>

namespace pixhaven::backup {
namespace {

constexpr std::size_t kKeyBytes = 32;
constexpr std::array<unsigned char, kCipherBlock> kZeroIv{};

struct CipherContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, CipherContextFree>;

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

int Length(std::size_t size) {
    return static_cast<int>(std::min<std::size_t>(size, std::numeric_limits<int>::max()));
}

bool Pbkdf2(std::span<const unsigned char> secret, std::string_view salt, std::uint32_t rounds,
            const EVP_MD* digest, SecretBytes& out) {
    return PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(secret.data()), Length(secret.size()),
                             Bytes(salt), Length(salt.size()), static_cast<int>(rounds), digest,
                             Length(out.size()), out.data()) == 1;
}

// AES-256-CBC without padding over whole blocks, from `iv`.
bool DecryptBlocks(std::span<const unsigned char> key, const unsigned char* iv,
                   const unsigned char* in, std::size_t size, unsigned char* out) {
    const CipherContext context(EVP_CIPHER_CTX_new());
    int written = 0;
    return context != nullptr &&
           EVP_DecryptInit_ex(context.get(), EVP_aes_256_cbc(), nullptr, key.data(), iv) == 1 &&
           EVP_CIPHER_CTX_set_padding(context.get(), 0) == 1 &&
           EVP_DecryptUpdate(context.get(), out, &written, in, Length(size)) == 1 &&
           static_cast<std::size_t>(written) == size;
}

}  // namespace

void SecretBytes::Wipe() {
    if (!bytes_.empty()) {
        OPENSSL_cleanse(bytes_.data(), bytes_.size());
    }
}

void SecretBytes::Shrink(std::size_t size) {
    if (size < bytes_.size()) {
        OPENSSL_cleanse(bytes_.data() + size, bytes_.size() - size);
        bytes_.resize(size);
    }
}

SecretBytes DerivePasscodeKey(const Keybag& keybag, std::string_view password) {
    SecretBytes key(kKeyBytes);
    std::span<const unsigned char> secret(Bytes(password), password.size());
    SecretBytes first(kKeyBytes);
    if (!keybag.doubleProtectionSalt.empty()) {
        if (!Pbkdf2(secret, keybag.doubleProtectionSalt, keybag.doubleProtectionIterations,
                    EVP_sha256(), first)) {
            return {};
        }
        secret = first.Span();
    }
    if (!Pbkdf2(secret, keybag.salt, keybag.iterations, EVP_sha1(), key)) {
        return {};
    }
    return key;
}

std::optional<SecretBytes> UnwrapKey(std::span<const unsigned char> kek, std::string_view wrapped) {
    if (kek.size() != kKeyBytes || wrapped.size() != kWrappedKeyBytes) {
        return std::nullopt;
    }
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (context == nullptr) {
        return std::nullopt;
    }
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    SecretBytes key(wrapped.size());
    int written = 0;
    int last = 0;
    const bool unwrapped =
        EVP_DecryptInit_ex(context.get(), EVP_aes_256_wrap(), nullptr, kek.data(), nullptr) == 1 &&
        EVP_DecryptUpdate(context.get(), key.data(), &written, Bytes(wrapped),
                          Length(wrapped.size())) == 1 &&
        EVP_DecryptFinal_ex(context.get(), key.data() + written, &last) == 1 &&
        static_cast<std::size_t>(written + last) == kKeyBytes;
    if (!unwrapped) {
        return std::nullopt;
    }
    key.Shrink(kKeyBytes);
    return key;
}

std::variant<BackupKeys, UnlockProblem> BackupKeys::Unlock(const Keybag& keybag,
                                                           std::string_view password) {
    const SecretBytes passcodeKey = DerivePasscodeKey(keybag, password);
    BackupKeys keys;
    for (const ClassKey& classKey : keybag.classKeys) {
        // A key the device itself must unwrap cannot be opened away from it.
        if (classKey.wrap != kWrappedByPasscode) {
            continue;
        }
        std::optional<SecretBytes> key = UnwrapKey(passcodeKey.Span(), classKey.wrappedKey);
        if (!key) {
            return UnlockProblem::WrongPassword;
        }
        keys.classKeys_.insert_or_assign(classKey.protectionClass, std::move(*key));
    }
    if (keys.classKeys_.empty()) {
        return UnlockProblem::WrongPassword;
    }
    return keys;
}

std::optional<SecretBytes> BackupKeys::UnwrapStoredKey(std::string_view classAndWrappedKey) const {
    if (classAndWrappedKey.size() != 4 + kWrappedKeyBytes) {
        return std::nullopt;
    }
    const auto* bytes = Bytes(classAndWrappedKey);
    const std::uint32_t protectionClass =
        static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
        static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
    const auto found = classKeys_.find(protectionClass);
    if (found == classKeys_.end()) {
        return std::nullopt;
    }
    return UnwrapKey(found->second.Span(), classAndWrappedKey.substr(4));
}

struct ContentDecryptor::Context {
    CipherContext cipher{EVP_CIPHER_CTX_new()};
    bool ready = false;
};

ContentDecryptor::ContentDecryptor(const SecretBytes& key, std::uint64_t size)
    : context_(std::make_unique<Context>()), size_(size) {
    context_->ready = context_->cipher != nullptr && key.size() == kKeyBytes &&
                      EVP_DecryptInit_ex(context_->cipher.get(), EVP_aes_256_cbc(), nullptr,
                                         key.data(), kZeroIv.data()) == 1;
}

ContentDecryptor::~ContentDecryptor() = default;

// Keeps what is still wanted of `count` new plaintext bytes at the end of `out`.
void ContentDecryptor::Keep(std::size_t start, std::size_t count, std::vector<unsigned char>& out) {
    const std::uint64_t wanted = size_ - std::min(produced_, size_);
    const std::size_t kept = static_cast<std::size_t>(std::min<std::uint64_t>(count, wanted));
    out.resize(start + kept);
    produced_ += count;
}

bool ContentDecryptor::Update(std::span<const unsigned char> in, std::vector<unsigned char>& out) {
    constexpr std::size_t kMostPerCall = std::size_t{1} << 30;
    while (context_->ready && !in.empty()) {
        const std::size_t piece = std::min(in.size(), kMostPerCall);
        const std::size_t start = out.size();
        out.resize(start + piece + kCipherBlock);
        int written = 0;
        if (EVP_DecryptUpdate(context_->cipher.get(), out.data() + start, &written, in.data(),
                              static_cast<int>(piece)) != 1) {
            out.resize(start);
            context_->ready = false;
            break;
        }
        Keep(start, static_cast<std::size_t>(written), out);
        in = in.subspan(piece);
    }
    return context_->ready;
}

bool ContentDecryptor::Finish(std::vector<unsigned char>& out) {
    const std::size_t start = out.size();
    out.resize(start + kCipherBlock);
    int written = 0;
    if (!context_->ready ||
        EVP_DecryptFinal_ex(context_->cipher.get(), out.data() + start, &written) != 1) {
        out.resize(start);
        return false;
    }
    Keep(start, static_cast<std::size_t>(written), out);
    return size_ == kWholeContent || produced_ >= size_;
}

std::optional<std::string> DecryptContent(const SecretBytes& key, std::string_view ciphertext,
                                          std::uint64_t size) {
    ContentDecryptor decryptor(key, size);
    std::vector<unsigned char> plain;
    plain.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(size, ciphertext.size())));
    if (!decryptor.Update({Bytes(ciphertext), ciphertext.size()}, plain) ||
        !decryptor.Finish(plain)) {
        return std::nullopt;
    }
    return std::string(plain.begin(), plain.end());
}

std::optional<std::string> DecryptRange(const SecretBytes& key, std::string_view blocks,
                                        std::uint64_t firstBlock, std::uint64_t offset,
                                        std::size_t count) {
    if (count == 0 || key.size() != kKeyBytes) {
        return std::string();
    }
    const std::uint64_t startBlock = offset / kCipherBlock;
    const std::uint64_t endBlock = (offset + count - 1) / kCipherBlock + 1;
    // The block before the range is its IV; the first block's IV is zero.
    const std::uint64_t ivBlock = startBlock == 0 ? 0 : startBlock - 1;
    if (firstBlock != ivBlock) {
        return std::nullopt;
    }
    const std::size_t skip = startBlock == 0 ? 0 : kCipherBlock;
    const std::uint64_t needed = skip + (endBlock - startBlock) * kCipherBlock;
    if (blocks.size() < needed) {
        return std::nullopt;
    }
    const std::size_t cipherBytes = static_cast<std::size_t>(needed) - skip;
    std::vector<unsigned char> plain(cipherBytes);
    const unsigned char* iv = skip == 0 ? kZeroIv.data() : Bytes(blocks);
    if (!DecryptBlocks(key.Span(), iv, Bytes(blocks) + skip, cipherBytes, plain.data())) {
        return std::nullopt;
    }
    const std::size_t from = static_cast<std::size_t>(offset - startBlock * kCipherBlock);
    return std::string(plain.begin() + static_cast<std::ptrdiff_t>(from),
                       plain.begin() + static_cast<std::ptrdiff_t>(from + count));
}

}  // namespace pixhaven::backup
