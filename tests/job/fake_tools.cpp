#include "fake_tools.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/test_support.h"

namespace job_testing {

namespace {

std::string CaseLines(const std::set<int>& frames, const char* suffix, const std::string& action) {
  std::string lines;
  for (int frame : frames) {
    char name[64];
    std::snprintf(name, sizeof name, "./temp/%08d%s", frame, suffix);
    lines += std::string("  ") + name + ") " + action + " ;;\n";
  }
  return lines;
}

void WriteScript(const std::filesystem::path& path, const std::string& body, const std::filesystem::path& log) {
  const std::string script = "#!/bin/sh\n"
                             "{ for a in \"$0\" \"$@\"; do printf '[%s]' \"$a\"; done; echo; } >> '" +
                             log.string() + "'\n" + body;
  testing_support::WriteFileText(path, script);
  std::filesystem::permissions(path, std::filesystem::perms::owner_all);
}

// The path after "-o" or "-outfile", in shell.
constexpr char kFindOutput[] =
    "out=; prev=\n"
    "for a in \"$@\"; do case \"$prev\" in -o|-outfile) out=$a ;; esac; prev=$a; done\n";

// The stalled run leaves its process id, so that a test can tell it is gone afterwards.
std::string StallIf(const std::string& stage, const std::string& wanted, const std::filesystem::path& pidFile) {
  return stage == wanted ? "echo $$ > '" + pidFile.string() + "'; exec sleep 60\n" : "";
}

}  // namespace

const std::vector<std::uint8_t>& FakeSoundBytes() {
  // Two MPEG-1 layer III frame headers with a few bytes behind each: enough to tell them apart.
  static const std::vector<std::uint8_t> bytes = {0xFF, 0xFB, 0x10, 0xC4, 1, 2, 3, 4, 5,
                                                  0xFF, 0xFB, 0x10, 0xC4, 6, 7, 8, 9};
  return bytes;
}

const std::filesystem::path& FrameJpeg() {
  static const std::filesystem::path jpeg = [] {
    const auto folder = std::filesystem::temp_directory_path() /
                        ("frameloom-job-fixture-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::string ppm = "P6\n160 120\n255\n";
    for (int y = 0; y < 120; ++y) {
      for (int x = 0; x < 160; ++x) {
        ppm += static_cast<char>(x * 255 / 159);
        ppm += static_cast<char>(y * 255 / 119);
        ppm += static_cast<char>((x + y) % 64 < 32 ? 200 : 40);
      }
    }
    testing_support::WriteFileText(folder / "frame.ppm", ppm);
    const std::string command = "/usr/bin/cjpeg -quality 90 -outfile '" + (folder / "frame.jpg").string() +
                                "' '" + (folder / "frame.ppm").string() + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("cjpeg failed: " + command);
    return folder / "frame.jpg";
  }();
  return jpeg;
}

void WriteFakeTools(const std::filesystem::path& folder, const FakeToolsOptions& options) {
  const auto tools = folder / "Tools";
  std::filesystem::create_directories(tools);
  const auto log = folder / "tool-log";
  const auto sound = folder / "fake-sound.mp3";
  const auto stalled = StalledToolPidFile(folder);
  testing_support::WriteFileBytes(sound, FakeSoundBytes());

  WriteScript(tools / "mencoder.exe",
              std::string(kFindOutput) +
                  "case \"$*\" in\n"
                  "  *-ofps*) " + StallIf(options.stageToStall, "0", stalled) + "echo video > \"$out\" ;;\n"
                  "  *rawaudio*) " + StallIf(options.stageToStall, "1", stalled) +
                  (options.sound ? "cp '" + sound.string() + "' \"$out\"" : "exit 1") + " ;;\n"
                  "esac\n",
              log);

  std::string frames;
  for (int frame = 1; frame <= options.frames; ++frame) {
    if (options.missingFrames.count(frame) != 0) continue;
    char name[32];
    std::snprintf(name, sizeof name, "%08d.jpg", frame);
    frames += name + std::string(" ");
  }
  WriteScript(tools / "mplayer.exe",
              "mkdir -p temp\n"
              "for f in " + frames + "; do cp '" + FrameJpeg().string() + "' temp/$f; done\n" +
                  StallIf(options.stageToStall, "2", stalled),
              log);

  WriteScript(tools / "djpeg.exe",
              std::string(kFindOutput) + StallIf(options.stageToStall, "djpeg", stalled) + "case \"$out\" in\n" +
                  CaseLines(options.refusedBitmaps, ".jpg.bmp", "echo 'not a bitmap' > \"$out\"; exit 0") +
                  CaseLines(options.missingTrueColor, ".jpg_24.bmp", "exit 1") +
                  "esac\n"
                  "exec /usr/bin/djpeg \"$@\"\n",
              log);
}

std::filesystem::path StalledToolPidFile(const std::filesystem::path& folder) { return folder / "Tools" / "stalled-pid"; }

std::vector<std::vector<std::string>> ReadToolLog(const std::filesystem::path& folder) {
  std::vector<std::vector<std::string>> runs;
  std::ifstream in(folder / "tool-log");
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> arguments;
    // Arguments hold no brackets in these tests, so "][" splits them.
    for (std::size_t start = 1; start < line.size();) {
      const std::size_t end = line.find(']', start);
      arguments.push_back(line.substr(start, end - start));
      start = end + 2;
    }
    runs.push_back(arguments);
  }
  return runs;
}

}  // namespace job_testing
