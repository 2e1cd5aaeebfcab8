// The terminal as the scan session's front end, and the password of an encrypted backup.
#include "cli/terminal.h"

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <iostream>

#include "backup/secret.h"
#include "cli/commands.h"

namespace pixhaven::cli {
namespace {

volatile std::sig_atomic_t interrupted = 0;  // set by the Ctrl-C handler only

void OnInterrupt(int) {
    interrupted = 1;
}

class PathPicture final : public backup::PictureSource {
public:
    explicit PathPicture(std::filesystem::path file) : file_(std::move(file)) {}
    const std::filesystem::path& File() const override { return file_; }

private:
    std::filesystem::path file_;
};

// The first line of `in`, without its line break; kept in wiped memory.
backup::SecretBytes FirstLine(std::istream& in) {
    std::string line;
    std::getline(in, line);
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    backup::SecretBytes password(line);
    std::fill(line.begin(), line.end(), '\0');
    return password;
}

std::optional<backup::SecretBytes> ReadPassword(const std::filesystem::path& passwordFile) {
    if (passwordFile == "-") {
        return FirstLine(std::cin);
    }
    std::ifstream in(passwordFile, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    return FirstLine(in);
}

int ExitCodeOf(backup::ManifestProblem problem) {
    switch (problem) {
        case backup::ManifestProblem::PasswordNeeded:
            return kExitPasswordNeeded;
        case backup::ManifestProblem::WrongPassword:
            return kExitWrongPassword;
        default:
            return kExitFailed;
    }
}

void PrintProblem(backup::ManifestProblem problem) {
    const std::string_view message = backup::ManifestProblemMessage(problem);
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
    if (problem == backup::ManifestProblem::PasswordNeeded) {
        std::fputs(
            "Give its password with --password-file FILE (- reads it from standard "
            "input).\n",
            stderr);
    }
}

}  // namespace

TerminalObserver::TerminalObserver() : showBar_(isatty(STDERR_FILENO) != 0) {}

void TerminalObserver::ShowProgress(int percent) {
    if (showBar_ && percent != lastPercent_) {
        lastPercent_ = percent;
        const int filled = std::min(std::max(percent, 0), 100) / 4;
        std::fprintf(stderr, "\r[%-25.*s] %3d%%", filled, "#########################", percent);
    }
}

void TerminalObserver::WaitForFinish(backup::ScanSession& session) {
    while (!finished_.WaitFor(std::chrono::milliseconds(100))) {
        if (interrupted != 0) {
            session.Stop();
        }
    }
    if (showBar_ && lastPercent_ >= 0) {
        std::fputc('\n', stderr);
    }
    finished_.Reset();
    lastPercent_ = -1;
    session.FinishWorker();
}

std::unique_ptr<backup::PictureSource> PathPictureFactory::Make(const backup::StoredContent& file) {
    return std::make_unique<PathPicture>(file.path);
}

void Terminal::Scan() {
    session->StartScan();
    observer.WaitForFinish(*session);
}

OpenedTerminal OpenAndScan(const std::filesystem::path& folder,
                           const std::optional<std::filesystem::path>& passwordFile) {
    std::optional<backup::SecretBytes> password;
    if (passwordFile) {
        password = ReadPassword(*passwordFile);
        if (!password) {
            PrintError("cannot read the password file " + passwordFile->string());
            return {nullptr, kExitFailed};
        }
    }
    auto terminal = std::make_unique<Terminal>();
    const std::optional<std::string_view> text =
        password ? std::optional<std::string_view>(std::string_view(
                       reinterpret_cast<const char*>(password->data()), password->size()))
                 : std::nullopt;
    backup::ScanSession::Opened opened =
        backup::ScanSession::Open(folder, terminal->observer, terminal->pictures, text);
    if (!opened.session) {
        PrintProblem(opened.problem);
        return {nullptr, ExitCodeOf(opened.problem)};
    }
    terminal->session = std::move(opened.session);
    interrupted = 0;
    std::signal(SIGINT, OnInterrupt);
    terminal->Scan();
    return {std::move(terminal), kExitOk};
}

bool TakeBackupArgument(std::span<const std::string_view> args, std::size_t& i,
                        BackupArguments& parsed) {
    if (args[i] == "--password-file" && i + 1 < args.size()) {
        parsed.passwordFile = std::filesystem::path(args[++i]);
        return true;
    }
    if (!args[i].starts_with("-") && parsed.folder.empty()) {
        parsed.folder = std::filesystem::path(args[i]);
        return true;
    }
    return false;
}

bool Interrupted() {
    return interrupted != 0;
}

void PrintError(const std::string& text) {
    std::fprintf(stderr, "pixhaven-cli: %s\n", text.c_str());
}

}  // namespace pixhaven::cli
