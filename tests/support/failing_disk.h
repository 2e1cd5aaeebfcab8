// Ways to make writes fail for a test, whoever runs it: a folder nobody may write into (an
// immutable folder for root, whom permissions do not stop), and a "full disk" through the file
// size limit.
#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

namespace pixhaven::test {

// Makes `folder` refuse new entries until destroyed. Active() is false where the file system
// offers no way to do so; the test should skip then.
class UnwritableFolder {
public:
    explicit UnwritableFolder(std::filesystem::path folder) : folder_(std::move(folder)) {
        if (::geteuid() == 0) {
            active_ = SetImmutable(true);
        } else {
            std::filesystem::permissions(
                folder_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
            active_ = true;
        }
    }
    ~UnwritableFolder() {
        if (active_ && ::geteuid() == 0) {
            SetImmutable(false);
        } else if (active_) {
            std::filesystem::permissions(folder_, std::filesystem::perms::owner_all);
        }
    }
    UnwritableFolder(const UnwritableFolder&) = delete;
    UnwritableFolder& operator=(const UnwritableFolder&) = delete;

    bool Active() const { return active_; }

private:
    bool SetImmutable(bool on) const {
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0) {
            return false;
        }
        int flags = 0;
        bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(fd);
        return done;
    }

    std::filesystem::path folder_;
    bool active_ = false;
};

// While alive, no file of this process may grow past `bytes`: writes beyond fail as on a full
// disk (with EFBIG instead of ENOSPC).
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

}  // namespace pixhaven::test
