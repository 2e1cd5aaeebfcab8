// What `scan` and `recover` share: a backup opened as a scan session with the terminal as its
// front end, the password of an encrypted one read from a file or standard input (never from
// the command line, where other users see it), and Ctrl-C turned into a stop request.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "backup/scansession.h"
#include "platform/event.h"

namespace pixhaven::cli {

// Reports to the terminal: a progress bar on stderr when it is one, the finish as an event.
class TerminalObserver final : public backup::WorkerObserver {
public:
    TerminalObserver();

    void ShowProgress(int percent) override;
    void ShowStatus(const std::u16string&) override {}
    void LabelGroup(int, const std::u16string&) override {}
    void ShowPauseAndStop() override {}
    void ScanFinished() override { finished_.Set(); }
    void RecoveryFinished() override { finished_.Set(); }

    // Waits for the worker's end, asking it to stop on Ctrl-C, and ends the worker.
    void WaitForFinish(backup::ScanSession& session);

private:
    bool showBar_;
    int lastPercent_ = -1;
    platform::ManualResetEvent finished_;
};

// Pictures are never decoded here: an item only needs to know its file.
class PathPictureFactory final : public backup::PictureFactory {
public:
    std::unique_ptr<backup::PictureSource> Make(const backup::StoredContent& file) override;
};

// One backup's scan session with the terminal as its front end.
struct Terminal {
    TerminalObserver observer;
    PathPictureFactory pictures;
    std::unique_ptr<backup::ScanSession> session;

    void Scan();
};

// Opens `folder`, with the password in `passwordFile` ("-": standard input) when it is
// encrypted, and scans it; Ctrl-C from the scan on asks a running worker to stop. On failure
// `terminal` is none, the reason is on stderr and `exitCode` says it.
struct OpenedTerminal {
    std::unique_ptr<Terminal> terminal;
    int exitCode = 0;
};
OpenedTerminal OpenAndScan(const std::filesystem::path& folder,
                           const std::optional<std::filesystem::path>& passwordFile);

// Whether Ctrl-C came since the scan started.
bool Interrupted();

// What both scan and recover take: the backup folder and where its password is.
struct BackupArguments {
    std::filesystem::path folder;
    std::optional<std::filesystem::path> passwordFile;
};

// Takes args[i] (and the value after it, moving `i` on) when it is the backup folder or
// --password-file FILE; false for anything else.
bool TakeBackupArgument(std::span<const std::string_view> args, std::size_t& i,
                        BackupArguments& parsed);

// `parsed`, or none with `usage` on stderr.
template <typename Arguments>
std::optional<Arguments> OrUsage(std::optional<Arguments> parsed, const char* usage) {
    if (!parsed) {
        std::fputs(usage, stderr);
    }
    return parsed;
}

// "pixhaven-cli: " + text on stderr.
void PrintError(const std::string& text);

}  // namespace pixhaven::cli
