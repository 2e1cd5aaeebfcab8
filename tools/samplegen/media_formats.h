// Audio and video files with plausible headers: ISO/QuickTime boxes for MOV, MP4, M4A and 3GP,
// ID3 tag plus MPEG audio frames for MP3. They look right to a sniffer; they need not play.
#pragma once

#include <cstdint>
#include <string>

namespace pixhaven::samplegen {

enum class MovieBrand : std::uint8_t { QuickTime, Mp4, M4a, ThreeGpp };

// ftyp, moov with a movie header, free, then an mdat of `payloadBytes` filler bytes.
std::string MakeMovieFile(MovieBrand brand, std::uint32_t durationSeconds,
                          std::uint32_t payloadBytes, std::uint64_t seed);

// An ID3v2.3 tag with title and artist, then `frames` MPEG-1 Layer III frames (128 kbit/s,
// 44.1 kHz, 417 bytes each).
std::string MakeMp3File(const std::string& title, const std::string& artist, int frames);

}  // namespace pixhaven::samplegen
