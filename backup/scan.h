// The media scan: sorts a manifest's records into the thirteen groups, one counting and one
// collecting pass per group.
#pragma once

#include <filesystem>

#include "backup/manifest.h"
#include "backup/media.h"
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
};

// The counting pass: returns the group's count and adds it to the total.
int CountGroup(ScanContext& scan, int group);
// The collecting pass: returns the number of items taken, or -1 when a stop ended it.
int CollectGroup(ScanContext& scan, int group);

// File signature tests on a stored file; a file that cannot be read fails.
bool HasJpegSignature(const std::filesystem::path& file);
bool HasPngSignature(const std::filesystem::path& file);
bool HasBmpSignature(const std::filesystem::path& file);
bool HasGifSignature(const std::filesystem::path& file);
bool HasTiffSignature(const std::filesystem::path& file);

}  // namespace pixhaven::backup
