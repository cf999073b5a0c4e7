#pragma once

// A whole output file as the job tests check it: the inspection of its header and records, every
// decoded picture, and the raw header and sound bytes.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "container/mox_reader.h"

namespace job_testing {

struct MoxFile : MoxInspection {
  // The first record that did not decode; empty when all did. The sound is not judged here, since the
  // fake tools' sound is no MP3.
  std::string error;
  std::vector<Picture> pictures;  // one per record that decoded, in order
  std::vector<std::uint8_t> header;
  std::vector<std::uint8_t> soundBytes;  // the bytes from audioOffset on; empty for an unfinished file
};

MoxFile ReadMoxFile(const std::filesystem::path& path);

}  // namespace job_testing
