// File and folder services. The copy, the atomic replace and the lock need the operating system's
// own calls (exclusive creation, kernel-side copying, advisory locks); the rest is std::filesystem.
#include "platform/files.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace fs = std::filesystem;

namespace pixhaven::platform {
namespace {

// A name for a temporary file beside `file`, different for every process, thread and attempt.
fs::path TemporarySibling(const fs::path& file, unsigned attempt) {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    const auto thread = std::hash<std::thread::id>{}(std::this_thread::get_id());
    fs::path name = file;
    name += ".tmp-" + std::to_string(static_cast<unsigned long long>(tick) % 1000000007ULL) + "-" +
            std::to_string(thread % 1000003U) + "-" + std::to_string(attempt);
    return name;
}

constexpr unsigned kTemporaryAttempts = 64;

std::string NameAsUtf8(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

char LowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerAscii(x) == LowerAscii(y);
           });
}

#ifdef _WIN32
constexpr std::string_view kForbiddenInNames("/\\:\0", 4);  // "C:x" would leave the folder
#else
constexpr std::string_view kForbiddenInNames("/\\\0", 3);
#endif

// A name that stays inside its folder: no separators, no "." or "..".
bool IsPlainEntryName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    return name.find_first_of(kForbiddenInNames) == std::string_view::npos;
}

#ifndef _WIN32

std::error_code LastError() {
    return std::error_code(errno, std::generic_category());
}

// A file descriptor that closes itself.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() { Close(); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int Get() const { return fd_; }
    bool IsOpen() const { return fd_ >= 0; }
    int Release() { return std::exchange(fd_, -1); }
    // Closing can report a late write error (network file systems), so it is checked.
    bool Close() {
        if (fd_ < 0) {
            return true;
        }
        const int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }

private:
    int fd_;
};

enum class CopyFailure { None, Read, Write, Transform };

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Reads up to `size` bytes, again when a signal interrupted the call; -1 when the read failed.
ssize_t ReadSome(int in, void* buffer, std::size_t size) {
    for (;;) {
        const ssize_t got = ::read(in, buffer, size);
        if (got >= 0 || errno != EINTR) {
            return got;
        }
    }
}

// Room for a file of `size` bytes and its end in one read, at most 1 MiB. Stored files are mostly
// a few KiB: a megabyte made and zeroed for each cost more than copying it (bench/scan_process.sh).
std::size_t ChunkFor(off_t size) {
    constexpr std::size_t kLeast = std::size_t{16} << 10;
    constexpr std::size_t kMost = std::size_t{1} << 20;
    const std::size_t wanted = size > 0 ? static_cast<std::size_t>(size) + 1 : kLeast;
    return std::clamp(wanted, kLeast, kMost);
}

CopyFailure CopyByReading(int in, int out, off_t size) {
    const std::size_t chunk = ChunkFor(size);
    const auto buffer = std::make_unique_for_overwrite<char[]>(chunk);
    for (;;) {
        const ssize_t got = ReadSome(in, buffer.get(), chunk);
        if (got < 0) {
            return CopyFailure::Read;
        }
        if (got == 0) {
            return CopyFailure::None;
        }
        if (!WriteAll(out, buffer.get(), static_cast<std::size_t>(got))) {
            return CopyFailure::Write;
        }
    }
}

// Reads, turns and writes, for a copy whose bytes change on the way.
CopyFailure CopyTransformed(int in, int out, off_t size, CopyTransform& transform) {
    const std::size_t chunk = ChunkFor(size);
    const auto buffer = std::make_unique_for_overwrite<unsigned char[]>(chunk);
    std::vector<unsigned char> turned;
    turned.reserve(chunk + 64);
    for (;;) {
        const ssize_t got = ReadSome(in, buffer.get(), chunk);
        if (got < 0) {
            return CopyFailure::Read;
        }
        turned.clear();
        const bool ok =
            got == 0 ? transform.Finish(turned)
                     : transform.Update({buffer.get(), static_cast<std::size_t>(got)}, turned);
        if (!ok) {
            return CopyFailure::Transform;
        }
        if (!WriteAll(out, reinterpret_cast<const char*>(turned.data()), turned.size())) {
            return CopyFailure::Write;
        }
        if (got == 0) {
            return CopyFailure::None;
        }
    }
}

// Lets the kernel move the bytes where it can; any refusal falls back to reading and writing
// from the current offsets, which also confirms the end of files that report a wrong size.
// bench/scan_process.sh: recovery of 50,000 files against cp.
CopyFailure CopyBytes(int in, int out, off_t size) {
#ifdef __linux__
    for (;;) {
        const ssize_t copied = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (copied > 0) {
            continue;
        }
        if (copied < 0 && errno == EINTR) {
            continue;
        }
        if (copied < 0 && (errno == ENOSPC || errno == EDQUOT || errno == EFBIG)) {
            return CopyFailure::Write;
        }
        break;
    }
#endif
    return CopyByReading(in, out, size);
}

// Removes what the copy created, unless something else has taken its name meanwhile.
void RemoveIfSameFile(const fs::path& path, const struct stat& created) {
    struct stat now {};
    if (::lstat(path.c_str(), &now) == 0 && now.st_dev == created.st_dev &&
        now.st_ino == created.st_ino) {
        ::unlink(path.c_str());
    }
}

void CopyTimes(int out, const struct stat& source) {
#ifdef __APPLE__
    const struct timespec times[2] = {source.st_atimespec, source.st_mtimespec};
#else
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
#endif
    ::futimens(out, times);  // a copy with today's time is still a good copy
}

// Opens a regular file for reading without blocking on FIFOs or devices; -1 with errno set when it
// cannot.
int OpenRegularSource(const fs::path& from, struct stat& info) {
    Descriptor source(::open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    int failure = 0;
    if (!source.IsOpen() || ::fstat(source.Get(), &info) != 0) {
        failure = errno;
    } else if (!S_ISREG(info.st_mode)) {
        failure = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    } else if (const int flags = ::fcntl(source.Get(), F_GETFL);
               flags < 0 || ::fcntl(source.Get(), F_SETFL, flags & ~O_NONBLOCK) != 0) {
        failure = errno;
    }
    if (failure != 0) {
        source.Close();
        errno = failure;
        return -1;
    }
    return source.Release();
}

#endif

}  // namespace

#ifndef _WIN32

namespace {

// Opens both ends, runs `copy` over them and leaves nothing behind when it fails.
template <typename Copy>
CopyResult CopyBetween(const fs::path& from, const fs::path& to, std::error_code& error,
                       Copy&& copy) {
    error.clear();
    struct stat sourceInfo {};
    Descriptor source(OpenRegularSource(from, sourceInfo));
    if (!source.IsOpen()) {
        error = LastError();
        return CopyResult::SourceUnreadable;
    }
    // O_EXCL makes creation and the existence test one step, and refuses symbolic links too.
    Descriptor target(::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!target.IsOpen()) {
        error = LastError();
        return errno == EEXIST ? CopyResult::DestinationExists : CopyResult::DestinationFailed;
    }
    struct stat created {};
    ::fstat(target.Get(), &created);
    CopyFailure failure = copy(source.Get(), target.Get(), sourceInfo.st_size);
    if (failure == CopyFailure::Read || failure == CopyFailure::Write) {
        error = LastError();
    } else if (failure == CopyFailure::None) {
        CopyTimes(target.Get(), sourceInfo);
    }
    if (!target.Close() && failure == CopyFailure::None) {
        error = LastError();
        failure = CopyFailure::Write;
    }
    if (failure != CopyFailure::None) {
        RemoveIfSameFile(to, created);
    }
    switch (failure) {
        case CopyFailure::None:
            return CopyResult::Copied;
        case CopyFailure::Read:
            return CopyResult::SourceUnreadable;
        case CopyFailure::Transform:
            return CopyResult::TransformFailed;
        case CopyFailure::Write:
            break;
    }
    return CopyResult::DestinationFailed;
}

}  // namespace

CopyResult CopyFileNoOverwrite(const fs::path& from, const fs::path& to, std::error_code& error) {
    return CopyBetween(from, to, error,
                       [](int in, int out, off_t size) { return CopyBytes(in, out, size); });
}

CopyResult CopyFileNoOverwrite(const fs::path& from, const fs::path& to, std::error_code& error,
                               CopyTransform& transform) {
    return CopyBetween(from, to, error, [&transform](int in, int out, off_t size) {
        return CopyTransformed(in, out, size, transform);
    });
}

bool ReplaceFileAtomically(const fs::path& file, std::string_view bytes) {
    for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const fs::path temporary = TemporarySibling(file, attempt);
        Descriptor out(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!out.IsOpen() && errno == EEXIST) {
            continue;
        }
        if (!out.IsOpen()) {
            return false;
        }
        // fsync before rename: otherwise a crash can leave the new name on empty contents.
        const bool written = WriteAll(out.Get(), bytes.data(), bytes.size()) &&
                             ::fsync(out.Get()) == 0 && out.Close();
        if (written && ::rename(temporary.c_str(), file.c_str()) == 0) {
            return true;
        }
        ::unlink(temporary.c_str());
        return false;
    }
    return false;
}

ExclusiveFileLock::ExclusiveFileLock(const fs::path& lockFile, Wait wait) {
    Descriptor fd(::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666));
    if (!fd.IsOpen()) {
        return;
    }
    int result = 0;
    do {
        result = ::flock(fd.Get(), wait == Wait::No ? LOCK_EX | LOCK_NB : LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result == 0) {
        handle_ = fd.Release();
    }
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (handle_ != kNoHandle) {
        ::close(static_cast<int>(handle_));  // closing releases the lock
    }
}

#else

CopyResult CopyFileNoOverwrite(const fs::path& from, const fs::path& to, std::error_code& error) {
    error.clear();
    if (!fs::is_regular_file(from, error)) {
        return CopyResult::SourceUnreadable;
    }
    // With fail-if-exists the test and the creation are one step inside the system.
    if (CopyFileW(from.c_str(), to.c_str(), TRUE)) {
        return CopyResult::Copied;
    }
    const DWORD code = GetLastError();
    error = std::error_code(static_cast<int>(code), std::system_category());
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
        return CopyResult::DestinationExists;
    }
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_SHARING_VIOLATION
               ? CopyResult::SourceUnreadable
               : CopyResult::DestinationFailed;
}

namespace {

bool WriteAllToHandle(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), piece, &written, nullptr) || written == 0) {
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

// Reads, turns and writes between two open handles.
CopyResult CopyTransformedHandles(HANDLE in, HANDLE out, CopyTransform& transform) {
    std::vector<unsigned char> buffer(1 << 20);
    std::vector<unsigned char> turned;
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(in, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
            return CopyResult::SourceUnreadable;
        }
        turned.clear();
        const bool ok =
            got == 0 ? transform.Finish(turned) : transform.Update({buffer.data(), got}, turned);
        if (!ok) {
            return CopyResult::TransformFailed;
        }
        if (!WriteAllToHandle(out, {reinterpret_cast<const char*>(turned.data()), turned.size()})) {
            return CopyResult::DestinationFailed;
        }
        if (got == 0) {
            return CopyResult::Copied;
        }
    }
}

}  // namespace

CopyResult CopyFileNoOverwrite(const fs::path& from, const fs::path& to, std::error_code& error,
                               CopyTransform& transform) {
    error.clear();
    HANDLE in = CreateFileW(from.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
    if (in == INVALID_HANDLE_VALUE) {
        error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
        return CopyResult::SourceUnreadable;
    }
    HANDLE out = CreateFileW(to.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        CloseHandle(in);
        error = std::error_code(static_cast<int>(code), std::system_category());
        return code == ERROR_FILE_EXISTS ? CopyResult::DestinationExists
                                         : CopyResult::DestinationFailed;
    }
    CopyResult result = CopyTransformedHandles(in, out, transform);
    if (result != CopyResult::TransformFailed && result != CopyResult::Copied) {
        error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
    }
    CloseHandle(in);
    if (!CloseHandle(out) && result == CopyResult::Copied) {
        result = CopyResult::DestinationFailed;
    }
    if (result != CopyResult::Copied) {
        DeleteFileW(to.c_str());
    }
    return result;
}

bool ReplaceFileAtomically(const fs::path& file, std::string_view bytes) {
    for (unsigned attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
        const fs::path temporary = TemporarySibling(file, attempt);
        HANDLE out = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS) {
            continue;
        }
        if (out == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool written = WriteAllToHandle(out, bytes) && FlushFileBuffers(out);
        const bool closed = CloseHandle(out) != 0;
        if (written && closed &&
            MoveFileExW(temporary.c_str(), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        DeleteFileW(temporary.c_str());
        return false;
    }
    return false;
}

ExclusiveFileLock::ExclusiveFileLock(const fs::path& lockFile, Wait wait) {
    HANDLE file = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    OVERLAPPED whole{};
    const DWORD flags =
        LOCKFILE_EXCLUSIVE_LOCK | (wait == Wait::No ? LOCKFILE_FAIL_IMMEDIATELY : 0);
    if (!LockFileEx(file, flags, 0, 1, 0, &whole)) {
        CloseHandle(file);
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

ExclusiveFileLock::~ExclusiveFileLock() {
    if (handle_ != kNoHandle) {
        CloseHandle(reinterpret_cast<HANDLE>(handle_));  // closing releases the lock
    }
}

#endif

CopyResult CopyFileNoOverwrite(const fs::path& from, const fs::path& to) {
    std::error_code ignored;
    return CopyFileNoOverwrite(from, to, ignored);
}

bool CreateNewFolder(const fs::path& folder, std::error_code& error) {
    error.clear();
    if (folder.empty()) {
        error = std::make_error_code(std::errc::invalid_argument);
        return false;
    }
    if (fs::create_directory(folder, error)) {
        return true;
    }
    // An existing folder is no error to std::filesystem; here it is a name already taken.
    if (!error) {
        error = std::make_error_code(std::errc::file_exists);
    }
    return false;
}

bool CreateFolder(const fs::path& folder) {
    std::error_code error;
    return !folder.empty() && fs::create_directory(folder, error) && !error;
}

bool CreateFolderTree(const fs::path& folder) {
    if (folder.empty()) {
        return false;
    }
    std::error_code error;
    fs::create_directories(folder, error);
    return fs::is_directory(folder, error);
}

bool IsFolder(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::is_directory(path, error);
}

bool PathExists(const fs::path& path) {
    std::error_code error;
    return !path.empty() && fs::exists(path, error);
}

std::optional<fs::path> FindEntryIgnoringCase(const fs::path& folder, std::string_view name) {
    if (!IsPlainEntryName(name)) {
        return std::nullopt;
    }
    std::error_code error;
    const fs::path exact = folder / fs::path(std::u8string(name.begin(), name.end()));
    if (fs::exists(fs::symlink_status(exact, error))) {
        return exact;
    }
    std::optional<fs::path> found;
    fs::directory_iterator entries(folder, error);
    for (; !error && entries != fs::directory_iterator(); entries.increment(error)) {
        const fs::path& candidate = entries->path();
        // Of several spellings the byte-wise smallest wins, so the answer does not depend on
        // the order in which the directory lists its entries.
        if (EqualsIgnoringAsciiCase(NameAsUtf8(candidate), name) &&
            (!found || candidate.filename() < found->filename())) {
            found = candidate;
        }
    }
    return found;
}

std::optional<std::uintmax_t> FileSize(const fs::path& file) {
    std::error_code error;
    if (!fs::is_regular_file(file, error)) {
        return std::nullopt;
    }
    const std::uintmax_t size = fs::file_size(file, error);
    if (error) {
        return std::nullopt;
    }
    return size;
}

std::optional<std::string> ReadRegularFile(const fs::path& file, std::uintmax_t maxBytes) {
    const std::optional<std::uintmax_t> size = FileSize(file);
    if (!size || *size > maxBytes) {
        return std::nullopt;
    }
    std::ifstream in(file, std::ios::binary);
    std::string bytes(static_cast<std::size_t>(*size), '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!in && !in.eof()) {
        return std::nullopt;
    }
    bytes.resize(static_cast<std::size_t>(in.gcount()));  // the file may have shrunk meanwhile
    return bytes;
}

}  // namespace pixhaven::platform
