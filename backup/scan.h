// The media scan: sorts a manifest's records into the thirteen groups, one counting and one
// collecting pass per group.
#pragma once

#include <filesystem>

#include "backup/manifest.h"
#include "backup/media.h"
#include "backup/storedcontent.h"
#include "backup/worker.h"

namespace pixhaven::backup {

// What the passes of one scan read and write; everything is borrowed from the window.
struct ScanContext {
    const Manifest& manifest;
    std::filesystem::path backupFolder;
    ScanResults& results;
    WorkerControl& control;
    WorkerObserver& observer;
    PictureFactory& pictures;
    const BackupKeys* keys;  // an encrypted backup's, to unwrap each file's key; none when plain
};

// The counting pass: returns the group's count and adds it to the total.
int CountGroup(ScanContext& scan, int group);
// The collecting pass: returns the number of items taken, or -1 when a stop ended it.
int CollectGroup(ScanContext& scan, int group);

// File signature tests on a stored file's content; one that cannot be read fails.
bool HasJpegSignature(const StoredContent& file);
bool HasPngSignature(const StoredContent& file);
bool HasBmpSignature(const StoredContent& file);
bool HasGifSignature(const StoredContent& file);
bool HasTiffSignature(const StoredContent& file);

}  // namespace pixhaven::backup
