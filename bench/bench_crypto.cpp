// What opening and reading an encrypted backup costs: the password's key derivation against
// OpenSSL's own PBKDF2 with the same counts, and decryption of stored content in memory and as
// recovery writes it.
//   bench_crypto
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <filesystem>
#include <string>
#include <vector>

#include "backup/backupkeys.h"
#include "backup/storedcontent.h"

namespace fs = std::filesystem;
using namespace pixhaven::backup;

namespace {

// A key bag header with the counts devices use, the SHA-256 rounds cut to a tenth to keep the
// run short: both sides do the same rounds.
Keybag DeviceKeybag() {
    Keybag keybag;
    keybag.salt = std::string(20, 's');
    keybag.iterations = 10'000;
    keybag.doubleProtectionSalt = std::string(20, 'd');
    keybag.doubleProtectionIterations = 1'000'000;
    return keybag;
}

void BM_DerivePasscodeKey(benchmark::State& state) {
    const Keybag keybag = DeviceKeybag();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DerivePasscodeKey(keybag, "pixhaven").data());
    }
}
BENCHMARK(BM_DerivePasscodeKey)->Unit(benchmark::kMillisecond)->MinTime(3.0);

void BM_OpensslPbkdf2SameCounts(benchmark::State& state) {
    const Keybag keybag = DeviceKeybag();
    unsigned char first[32];
    unsigned char key[32];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC(
            "pixhaven", 8,
            reinterpret_cast<const unsigned char*>(keybag.doubleProtectionSalt.data()), 20,
            static_cast<int>(keybag.doubleProtectionIterations), EVP_sha256(), 32, first);
        PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(first), 32,
                          reinterpret_cast<const unsigned char*>(keybag.salt.data()), 20,
                          static_cast<int>(keybag.iterations), EVP_sha1(), 32, key);
        benchmark::DoNotOptimize(key);
    }
}
BENCHMARK(BM_OpensslPbkdf2SameCounts)->Unit(benchmark::kMillisecond)->MinTime(3.0);

SecretBytes SampleKey() {
    SecretBytes key(32);
    for (std::size_t i = 0; i < key.size(); ++i) {
        key.data()[i] = static_cast<unsigned char>(i * 13 + 1);
    }
    return key;
}

std::string Encrypt(const SecretBytes& key, const std::string& plain) {
    std::string cipher(plain.size() + 16, '\0');
    EVP_CIPHER_CTX* context = EVP_CIPHER_CTX_new();
    const unsigned char iv[16] = {};
    int written = 0;
    int last = 0;
    EVP_EncryptInit_ex(context, EVP_aes_256_cbc(), nullptr, key.data(), iv);
    EVP_EncryptUpdate(context, reinterpret_cast<unsigned char*>(cipher.data()), &written,
                      reinterpret_cast<const unsigned char*>(plain.data()),
                      static_cast<int>(plain.size()));
    EVP_EncryptFinal_ex(context, reinterpret_cast<unsigned char*>(cipher.data()) + written, &last);
    EVP_CIPHER_CTX_free(context);
    cipher.resize(static_cast<std::size_t>(written + last));
    return cipher;
}

// 1 GB of stored content decrypted in memory, a megabyte at a time as recovery reads it.
void BM_DecryptOneGigabyte(benchmark::State& state) {
    constexpr std::size_t kFile = 64 << 20;
    constexpr int kFiles = 16;
    const SecretBytes key = SampleKey();
    const std::string cipher = Encrypt(key, std::string(kFile, 'x'));
    std::vector<unsigned char> out;
    out.reserve((1 << 20) + 32);
    for (auto _ : state) {
        for (int file = 0; file < kFiles; ++file) {
            ContentDecryptor decryptor(key, kFile);
            for (std::size_t at = 0; at < cipher.size(); at += 1 << 20) {
                out.clear();
                const std::size_t piece = std::min<std::size_t>(1 << 20, cipher.size() - at);
                decryptor.Update(
                    {reinterpret_cast<const unsigned char*>(cipher.data()) + at, piece}, out);
            }
            out.clear();
            benchmark::DoNotOptimize(decryptor.Finish(out));
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFile * kFiles);
}
BENCHMARK(BM_DecryptOneGigabyte)->Unit(benchmark::kMillisecond)->MinTime(3.0);

// The same bytes through the copy recovery makes: read, decrypt, write to a new file.
void BM_DecryptingCopy(benchmark::State& state, bool encrypted) {
    constexpr std::size_t kFile = 64 << 20;
    const fs::path folder = fs::temp_directory_path() / "pixhaven-bench-crypto";
    fs::create_directories(folder);
    auto key = std::make_shared<SecretBytes>(SampleKey());
    const std::string plain(kFile, 'x');
    const fs::path source = folder / "stored";
    {
        const std::string bytes = encrypted ? Encrypt(*key, plain) : plain;
        FILE* out = std::fopen(source.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), out);
        std::fclose(out);
    }
    const StoredContent content =
        encrypted ? StoredContent(source, key, true, kFile) : StoredContent(source);
    for (auto _ : state) {
        std::error_code error;
        fs::remove(folder / "copy");
        benchmark::DoNotOptimize(CopyContent(content, folder / "copy", error));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kFile);
    fs::remove_all(folder);
}
BENCHMARK_CAPTURE(BM_DecryptingCopy, encrypted, true)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK_CAPTURE(BM_DecryptingCopy, plain, false)->Unit(benchmark::kMillisecond)->MinTime(3.0);

}  // namespace

BENCHMARK_MAIN();
