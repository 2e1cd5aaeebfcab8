// Real HEIC pictures for sample backups and tests.
#pragma once

#include <string>

namespace pixhaven::samplegen {

// A real HEIC image of width x height (libheif, HEVC) with a simple gradient; throws on failure.
std::string MakeHeic(int width, int height);

}  // namespace pixhaven::samplegen
