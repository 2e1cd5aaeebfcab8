// The scan session: opening a backup, and starting, holding and ending its one worker.
#include "backup/scansession.h"

#include <utility>

namespace pixhaven::backup {

ScanSession::Opened ScanSession::Open(const std::filesystem::path& backupFolder,
                                      WorkerObserver& observer, PictureFactory& pictures,
                                      std::optional<std::string_view> password) {
    BackupManifest opened = OpenBackupManifest(backupFolder, password);
    if (!opened.manifest) {
        return {nullptr, opened.problem};
    }
    return {std::make_unique<ScanSession>(backupFolder, std::move(*opened.manifest), observer,
                                          pictures, std::move(opened.keys)),
            ManifestProblem::None};
}

ScanSession::ScanSession(std::filesystem::path backupFolder, Manifest manifest,
                         WorkerObserver& observer, PictureFactory& pictures,
                         std::shared_ptr<const BackupKeys> keys)
    : folder_(std::move(backupFolder)),
      manifest_(std::move(manifest)),
      keys_(std::move(keys)),
      observer_(observer),
      pictures_(pictures) {}

ScanSession::~ScanSession() {
    Stop();
    worker_.Join();
}

void ScanSession::StartScan() {
    scan_.emplace(
        ScanContext{manifest_, folder_, results_, control_, observer_, pictures_, keys_.get()});
    Start(kOperationScanning, [scan = &*scan_] { ScanWorker(*scan); });
}

OutputFolder ScanSession::StartRecovery(const std::filesystem::path& chosenFolder) {
    OutputFolder output = MakeOutputFolder(chosenFolder);
    if (output.path.empty()) {
        return output;
    }
    outputFolder_ = output.path;
    recovery_.emplace(RecoveryContext{results_, outputFolder_, control_, observer_, 0, {}});
    Start(kOperationRecovering, [recovery = &*recovery_] { RecoveryWorker(*recovery); });
    return output;
}

void ScanSession::Start(Operation operation, std::function<void()> body) {
    control_.operation = operation;
    if (worker_.Start(control_, std::move(body))) {
        return;
    }
    // No thread: nothing ran, but the front end still hears the end it waits for.
    if (operation == kOperationScanning) {
        observer_.ScanFinished();
    } else {
        observer_.RecoveryFinished();
    }
}

void ScanSession::Pause() {
    if (worker_.Running()) {
        control_.run.Reset();
    }
}

void ScanSession::Continue() {
    if (worker_.Running()) {
        control_.run.Set();
    }
}

void ScanSession::Stop() {
    WorkerThread::RequestStop(control_);
}

void ScanSession::FinishWorker() {
    worker_.Join();
    control_.operation = kOperationNone;
    control_.stop = 0;
}

}  // namespace pixhaven::backup
