#include "cli/decode_command.h"

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "cli/exit_codes.h"
#include "cli/frame_images.h"
#include "cli/preview_video.h"
#include "cli/usage.h"
#include "container/mox_reader.h"

namespace fs = std::filesystem;

namespace {

struct DecodeArguments {
  std::string film;
  std::optional<std::string> frameFolder;
  std::optional<std::string> sheet;
  std::optional<std::string> preview;
};

std::string Parse(const std::vector<std::string_view>& arguments, DecodeArguments& parsed) {
  std::vector<std::string_view> positional;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (arguments[i] == "--sheet" || arguments[i] == "--preview") {
      std::optional<std::string>& output = arguments[i] == "--sheet" ? parsed.sheet : parsed.preview;
      if (i + 1 == arguments.size()) return std::string(arguments[i]) + " needs a file";
      output = std::string(arguments[++i]);
    } else if (arguments[i].size() > 1 && arguments[i][0] == '-') {
      return "unknown option " + std::string(arguments[i]);
    } else {
      positional.push_back(arguments[i]);
    }
  }
  if (positional.empty() || positional.size() > 2) return "decode needs one FILE.mox and at most one OUTDIR";
  parsed.film = positional[0];
  if (positional.size() == 2) parsed.frameFolder = std::string(positional[1]);
  if (!parsed.frameFolder && !parsed.sheet && !parsed.preview) return "decode needs an OUTDIR, --sheet or --preview";
  return {};
}

std::string FramePath(const std::string& folder, std::size_t number) {
  char name[32];
  std::snprintf(name, sizeof name, "%08zu.png", number);
  return (fs::path(folder) / name).string();
}

// Refuses before anything is written when an output would replace a file.
std::string CheckOutputs(const DecodeArguments& arguments, std::size_t frameCount) {
  std::error_code error;
  for (const auto& single : {arguments.sheet, arguments.preview}) {
    if (single && fs::symlink_status(*single, error).type() != fs::file_type::not_found)
      return *single + " exists already";
  }
  if (!arguments.frameFolder) return {};
  const fs::file_type folder = fs::status(*arguments.frameFolder, error).type();
  if (folder == fs::file_type::not_found) return {};
  if (folder != fs::file_type::directory) return *arguments.frameFolder + " is not a folder";
  for (std::size_t number = 1; number <= frameCount; ++number) {
    const std::string frame = FramePath(*arguments.frameFolder, number);
    if (fs::symlink_status(frame, error).type() != fs::file_type::not_found) {
      return frame + " exists already; decode writes its frames only where no such files are";
    }
  }
  return {};
}

int Fail(const std::string& problem) {
  std::fprintf(stderr, "frameloom-cli: %s\n", problem.c_str());
  return kExitFailed;
}

}  // namespace

int RunDecode(const std::vector<std::string_view>& arguments) {
  DecodeArguments parsed;
  if (const std::string problem = Parse(arguments, parsed); !problem.empty()) return UsageError(problem);

  // A first reading tells the frame count and size, and what is wrong, before anything is written.
  const MoxInspection film = InspectMoxFile(parsed.film);
  if (!film.hasMagic)
    return Fail(parsed.film + ": " + film.problem + "; without a finished header there is no frame size");
  if (film.width == 0 || film.height == 0)
    return Fail(parsed.film + ": the frames are " + std::to_string(film.width) + " x " + std::to_string(film.height) +
                " pixels, nothing to show");
  const std::size_t frameCount = film.records.size();
  if (const std::string problem = CheckOutputs(parsed, frameCount); !problem.empty()) return Fail(problem);

  std::error_code error;
  if (parsed.frameFolder && !fs::create_directories(*parsed.frameFolder, error) && error) {
    return Fail("can't create " + *parsed.frameFolder + ": " + error.message());
  }
  ContactSheet sheet(frameCount, film.width, film.height);
  PreviewVideo preview;
  if (parsed.preview) {
    const PreviewVideo::Sound sound{parsed.film, film.soundOffset};
    const std::string failure = preview.Start(*parsed.preview, film.width, film.height, film.framesPerSecond,
                                              film.sound.frames > 0 ? &sound : nullptr);
    if (!failure.empty()) return Fail(failure);
  }

  std::string failure;
  std::size_t written = 0;
  InspectMoxFile(parsed.film, [&](std::size_t number, const Picture& picture) {
    if (!failure.empty()) return;
    const RgbImage frame = ToRgbImage(picture, film.width, film.height);
    if (parsed.frameFolder) {
      failure = WriteNewPng(FramePath(*parsed.frameFolder, number), frame);
      written += failure.empty() ? 1 : 0;
    }
    if (failure.empty() && parsed.sheet) sheet.Add(number, frame);
    if (failure.empty() && parsed.preview) failure = preview.Add(number, frame);
  });
  if (!failure.empty()) return Fail(failure);

  if (parsed.frameFolder) std::printf("%zu frames written to %s\n", written, parsed.frameFolder->c_str());
  if (parsed.sheet) {
    if (const std::string problem = WriteNewPng(*parsed.sheet, sheet.Render()); !problem.empty()) return Fail(problem);
    std::printf("contact sheet of %zu frames written to %s\n", sheet.Added(), parsed.sheet->c_str());
  }
  if (parsed.preview) {
    if (const std::string problem = preview.Finish(frameCount); !problem.empty()) return Fail(problem);
    std::printf("preview written to %s\n", parsed.preview->c_str());
  }
  if (!film.Complete())
    return Fail(parsed.film + ": " + film.problem + "; the frames that could be decoded were written");
  return kExitComplete;
}
