#include "mox_file.h"

#include "support/test_support.h"

namespace job_testing {

MoxFile ReadMoxFile(const std::filesystem::path& path) {
  MoxFile file;
  static_cast<MoxInspection&>(file) =
      InspectMoxFile(path.string(), [&file](std::size_t, const Picture& picture) { file.pictures.push_back(picture); });
  for (const FrameRecordInfo& record : file.records) {
    if (!record.problem.empty() && file.error.empty()) file.error = record.problem;
  }
  const auto bytes = testing_support::ReadFileBytes(path);
  file.header.assign(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 54));
  if (file.hasMagic && file.audioOffset <= bytes.size())
    file.soundBytes.assign(bytes.begin() + file.audioOffset, bytes.end());
  return file;
}

}  // namespace job_testing
