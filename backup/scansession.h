// One opened backup as both front ends use it: its manifest, the results of its scan, and the one
// worker that scans or recovers it. The front end supplies the observer the worker reports to and
// the maker of pictures for photo items.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>

#include "backup/backupmanifest.h"
#include "backup/recovery.h"
#include "backup/scan.h"
#include "backup/workers.h"

namespace pixhaven::backup {

class ScanSession {
public:
    // The backup's manifest (Manifest.mbdb, else Manifest.db), opened with `password` when the
    // backup is encrypted; none with the reason when it cannot be. Slow for an encrypted backup
    // (the password's key derivation takes seconds): a window calls it off its own thread.
    struct Opened;
    static Opened Open(const std::filesystem::path& backupFolder, WorkerObserver& observer,
                       PictureFactory& pictures,
                       std::optional<std::string_view> password = std::nullopt);

    // `keys` are an encrypted backup's, none for a plain one; the session wipes them when it ends.
    ScanSession(std::filesystem::path backupFolder, Manifest manifest, WorkerObserver& observer,
                PictureFactory& pictures, std::shared_ptr<const BackupKeys> keys = nullptr);
    // Stops a running worker and waits for it: the observer must not block by then (a window
    // detaches it first).
    ~ScanSession();
    ScanSession(const ScanSession&) = delete;
    ScanSession& operator=(const ScanSession&) = delete;

    // Starts the scan worker. When no thread can be started, nothing ran and the observer hears
    // ScanFinished at once.
    void StartScan();
    // Creates the output folder below `chosenFolder` and starts the recovery worker; the folder,
    // or why there is none (then nothing started). A thread that cannot start ends as above.
    OutputFolder StartRecovery(const std::filesystem::path& chosenFolder);

    // Pause holds the worker before its next file; Continue lets it go on; Stop ends it there
    // (also a paused one).
    void Pause();
    void Continue();
    void Stop();
    bool Paused() const { return !control_.run.IsSet(); }

    bool WorkerRunning() const { return worker_.Running(); }
    Operation CurrentOperation() const { return static_cast<Operation>(control_.operation.load()); }
    // After the observer heard a finish: joins the worker and goes back to idle.
    void FinishWorker();

    const std::filesystem::path& Folder() const { return folder_; }
    const Manifest& GetManifest() const { return manifest_; }
    bool Encrypted() const { return keys_ != nullptr; }
    ScanResults& Results() { return results_; }
    const ScanResults& Results() const { return results_; }
    // The last recovery's output folder and outcome; empty and none before the first.
    const std::filesystem::path& RecoveryFolder() const { return outputFolder_; }
    const RecoveryOutcome* LastRecovery() const {
        return recovery_ ? &recovery_->outcome : nullptr;
    }

private:
    void Start(Operation operation, std::function<void()> body);

    std::filesystem::path folder_;
    Manifest manifest_;
    std::shared_ptr<const BackupKeys> keys_;
    WorkerObserver& observer_;
    PictureFactory& pictures_;
    ScanResults results_;
    WorkerControl control_;
    std::optional<ScanContext> scan_;
    std::optional<RecoveryContext> recovery_;
    std::filesystem::path outputFolder_;
    WorkerThread worker_;  // last: joined before everything it borrows goes
};

struct ScanSession::Opened {
    std::unique_ptr<ScanSession> session;
    ManifestProblem problem = ManifestProblem::None;
};

}  // namespace pixhaven::backup
