// The records of the sample backups: which device files each backup lists, and which scan rule
// each of them is there to exercise.
#pragma once

#include <cstddef>

#include "tools/samplegen/backup_writer.h"
#include "tools/samplegen/media_maker.h"

namespace pixhaven::samplegen {

// Every media group and every trap of the scan rules; with `fullSizePhotos`, three 12-megapixel
// camera photos among them.
void AddFullCatalogue(BackupWriter& writer, MediaMaker& maker, bool fullSizePhotos);

// A smaller backup: a few photos and one file of each main type.
void AddCoreCatalogue(BackupWriter& writer, MediaMaker& maker);

// A newer phone's backup: HEIC photos in the camera roll and photo stream, some with the backup's
// own thumbnail ("Media/PhotoData/Thumbnails/V2/<photo path>/5003.JPG") and some without, beside
// JPEG photos, a movie, folders and a link.
void AddHeicCatalogue(BackupWriter& writer, MediaMaker& maker);

// `files` records of which `photos` are pictures drawn from a pool of encoded pictures; the rest
// are folders, audio, video and application data.
void AddLargeCatalogue(BackupWriter& writer, MediaMaker& maker, std::size_t files,
                       std::size_t photos);

}  // namespace pixhaven::samplegen
