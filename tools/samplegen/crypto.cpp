#include "tools/samplegen/crypto.h"

#include <openssl/evp.h>

#include <climits>
#include <memory>

#include "tools/samplegen/samplegen.h"

namespace pixhaven::samplegen {
namespace {

constexpr std::size_t kKeyBytes = 32;

struct ContextFree {
    void operator()(EVP_CIPHER_CTX* context) const { EVP_CIPHER_CTX_free(context); }
};
using CipherContext = std::unique_ptr<EVP_CIPHER_CTX, ContextFree>;

const unsigned char* Bytes(std::string_view text) {
    return reinterpret_cast<const unsigned char*>(text.data());
}

void RequireKey(std::string_view key, const char* what) {
    if (key.size() != kKeyBytes) {
        throw SampleError(std::string(what) + " needs a 32-byte key");
    }
}

// One pass of `cipher` over `input` in the encrypting direction. A null `iv` leaves the cipher's
// default, which for the wrap modes is RFC 3394's.
std::string Encrypt(const EVP_CIPHER* cipher, std::string_view key, const unsigned char* iv,
                    std::string_view input, const char* what) {
    if (input.size() > static_cast<std::size_t>(INT_MAX) - 64) {
        throw SampleError(std::string(what) + ": input too large");
    }
    const CipherContext context(EVP_CIPHER_CTX_new());
    if (!context) {
        throw SampleError(std::string(what) + ": out of memory");
    }
    // libcrypto refuses the wrap modes unless the caller says it knows they are one-shot.
    EVP_CIPHER_CTX_set_flags(context.get(), EVP_CIPHER_CTX_FLAG_WRAP_ALLOW);
    std::string out(input.size() + 2 * 16, '\0');
    auto* target = reinterpret_cast<unsigned char*>(out.data());
    int written = 0;
    int last = 0;
    if (EVP_EncryptInit_ex(context.get(), cipher, nullptr, Bytes(key), iv) != 1 ||
        EVP_EncryptUpdate(context.get(), target, &written, Bytes(input),
                          static_cast<int>(input.size())) != 1 ||
        EVP_EncryptFinal_ex(context.get(), target + written, &last) != 1) {
        throw SampleError(std::string(what) + " failed");
    }
    out.resize(static_cast<std::size_t>(written + last));
    return out;
}

}  // namespace

std::string Pbkdf2(std::string_view password, std::string_view salt, std::uint32_t iterations,
                   Pbkdf2Hash hash) {
    if (iterations == 0 || iterations > static_cast<std::uint32_t>(INT_MAX)) {
        throw SampleError("key derivation needs 1 to " + std::to_string(INT_MAX) + " iterations");
    }
    std::string key(kKeyBytes, '\0');
    const EVP_MD* digest = hash == Pbkdf2Hash::Sha256 ? EVP_sha256() : EVP_sha1();
    if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), Bytes(salt),
                          static_cast<int>(salt.size()), static_cast<int>(iterations), digest,
                          static_cast<int>(key.size()),
                          reinterpret_cast<unsigned char*>(key.data())) != 1) {
        throw SampleError("key derivation failed");
    }
    return key;
}

std::string AesKeyWrap(std::string_view wrappingKey, std::string_view key) {
    RequireKey(wrappingKey, "key wrap");
    RequireKey(key, "key wrap");
    return Encrypt(EVP_aes_256_wrap(), wrappingKey, nullptr, key, "key wrap");
}

std::string AesCbcEncrypt(std::string_view key, std::string_view plaintext) {
    RequireKey(key, "AES-256-CBC");
    static constexpr unsigned char kZeroIv[16] = {};
    return Encrypt(EVP_aes_256_cbc(), key, kZeroIv, plaintext, "AES-256-CBC");
}

}  // namespace pixhaven::samplegen
