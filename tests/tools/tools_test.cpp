// The media tools as the converter runs them: its exact command lines, the files the tools leave
// behind, their progress reports, their refusals and their child processes.

#include "platform/process.h"
#include "support/avi_headers.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <string_view>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFileBytes;
using testing_support::ReadFileText;
using testing_support::TempDir;

const fs::path kToolsDir = FRAMELOOM_TOOLS_DIR;
const std::string kMencoder = (kToolsDir / "mencoder.exe").string();
const std::string kMplayer = (kToolsDir / "mplayer.exe").string();
const std::string kDjpeg = (kToolsDir / "djpeg.exe").string();
const fs::path kRealSample = fs::path(FRAMELOOM_SAMPLES_DIR) / "bottle-detection.mp4";

// ---- running programs ----------------------------------------------------------------------------

struct Finished {
  int status = -1;
  std::string output;
  std::string errors;
};

// One program started with posix_spawnp in `workDir`, its standard output and error in files of
// `logDir`.
class Program {
 public:
  Program(const std::vector<std::string>& argv, const fs::path& workDir, const fs::path& logDir,
          const std::optional<std::string>& pathVariable = std::nullopt) {
    static int counter = 0;
    const std::string stem = "run" + std::to_string(++counter);
    outputFile_ = logDir / (stem + ".out");
    errorFile_ = logDir / (stem + ".err");

    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e != nullptr; ++e) {
      if (pathVariable && std::string(*e).starts_with("PATH=")) continue;
      environment.emplace_back(*e);
    }
    if (pathVariable) environment.push_back("PATH=" + *pathVariable);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errorFile_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    const int error = posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::runtime_error("cannot start " + argv[0]);
  }

  pid_t pid() const { return pid_; }

  bool HasEnded() const {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
  }

  Finished Wait() {
    int waitStatus = 0;
    while (waitpid(pid_, &waitStatus, 0) < 0 && errno == EINTR) {
    }
    Finished finished;
    finished.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 128 + WTERMSIG(waitStatus);
    finished.output = ReadFileText(outputFile_);
    finished.errors = ReadFileText(errorFile_);
    return finished;
  }

 private:
  pid_t pid_ = 0;
  fs::path outputFile_;
  fs::path errorFile_;
};

// ---- the converter's command lines, split as the platform splits them -------------------------------

std::vector<std::string> ShrinkLine(const fs::path& source) {
  const std::string s = source.string();
  return SplitCommandLine(kMencoder + "\t\"" + s + "\" -oac mp3lame -ovc lavc -vf scale=160:120 -o \"" + s +
                          "xrftemp.avi\" -ofps 8");
}

std::vector<std::string> SoundLine(const fs::path& source) {
  const std::string s = source.string();
  return SplitCommandLine(kMencoder + "\t\"" + s +
                          "\" -of rawaudio -oac mp3lame -lameopts cbr:br=32 mode=3 padding=0 vol=9 -ovc lavc -o \"" + s +
                          ".mp3\"");
}

std::vector<std::string> DumpLine(const fs::path& source) {
  return SplitCommandLine(kMplayer + "\t\"" + source.string() + "xrftemp.avi\" -speed 10 -nosound -vo jpeg ");
}

std::string FrameName(int frame) {
  char name[16];
  std::snprintf(name, sizeof name, "%08d", frame);
  return name;
}

std::vector<std::string> PaletteBitmapLine(int frame) {
  const std::string name = "./temp/" + FrameName(frame) + ".jpg";
  return SplitCommandLine(kDjpeg + " -colors 256 -bmp -outfile " + name + ".bmp  " + name);
}

std::vector<std::string> TrueColorBitmapLine(int frame) {
  const std::string name = "./temp/" + FrameName(frame) + ".jpg";
  return SplitCommandLine(kDjpeg + " -bmp -outfile " + name + "_24.bmp  " + name);
}

// ---- reading what the tools leave ----------------------------------------------------------------

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b.at(at) | b.at(at + 1) << 8 | b.at(at + 2) << 16 | static_cast<std::uint32_t>(b.at(at + 3)) << 24;
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8);
}

struct BitmapInfo {
  std::int32_t width = 0;
  std::int32_t height = 0;
  int bitsPerPixel = 0;
  std::uint32_t compression = 0;
};

BitmapInfo ReadBitmapInfo(const fs::path& file) {
  const std::vector<std::uint8_t> b = ReadFileBytes(file);
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') throw std::runtime_error(file.string() + " is no bitmap");
  return {static_cast<std::int32_t>(Le32(b, 18)), static_cast<std::int32_t>(Le32(b, 22)), Le16(b, 28), Le32(b, 30)};
}

struct Mp3Stream {
  int frames = 0;
  std::set<int> layers, bitratesKbps, sampleRates, channelModes;
  bool anyPadded = false;
  double seconds = 0;
};

// Walks the stream frame by frame from its first byte; throws where a frame header should be and is not.
Mp3Stream ReadMp3(const std::vector<std::uint8_t>& b) {
  static const int kBitratesV1[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
  static const int kBitratesV2[16] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0};
  static const int kRatesV1[3] = {44100, 48000, 32000};
  Mp3Stream stream;
  std::size_t at = 0;
  while (at < b.size()) {
    if (at + 4 > b.size()) throw std::runtime_error("stream ends inside a frame header");
    const std::uint32_t h = static_cast<std::uint32_t>(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
    if ((h >> 21) != 0x7FF) throw std::runtime_error("no frame header at byte " + std::to_string(at));
    const int version = (h >> 19) & 3;  // 3: MPEG-1, 2: MPEG-2, 0: MPEG-2.5
    const int layerBits = (h >> 17) & 3;
    const int rateIndex = (h >> 10) & 3;
    if (version == 1 || layerBits == 0 || rateIndex == 3) throw std::runtime_error("reserved header bits");
    const bool mpeg1 = version == 3;
    const int kbps = (mpeg1 ? kBitratesV1 : kBitratesV2)[(h >> 12) & 15];
    const int rate = kRatesV1[rateIndex] / (mpeg1 ? 1 : version == 2 ? 2 : 4);
    const int padding = (h >> 9) & 1;
    stream.layers.insert(4 - layerBits);
    stream.bitratesKbps.insert(kbps);
    stream.sampleRates.insert(rate);
    stream.channelModes.insert((h >> 6) & 3);
    stream.anyPadded = stream.anyPadded || padding != 0;
    if (kbps == 0 || layerBits != 1) throw std::runtime_error("not a layer III frame of a known bit rate");
    const int samples = mpeg1 ? 1152 : 576;
    at += static_cast<std::size_t>(samples / 8 * kbps * 1000 / rate + padding);
    stream.seconds += static_cast<double>(samples) / rate;
    ++stream.frames;
  }
  return stream;
}

std::map<std::string, std::string> ProbeStream(const fs::path& file, const std::string& selector,
                                               const fs::path& logDir) {
  Program probe({"ffprobe", "-v", "error", "-select_streams", selector, "-show_entries",
                 "stream=codec_name,width,height,avg_frame_rate,nb_frames", "-of", "default=nw=1",
                 file.string()},
                logDir, logDir);
  const Finished finished = probe.Wait();
  std::map<std::string, std::string> entries;
  std::istringstream lines(finished.output);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals != std::string::npos) entries[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return entries;
}

// The frame images in temp, by number; fails the test on any other name or a gap.
int CountFrameImages(const fs::path& temp) {
  std::set<int> numbers;
  for (const auto& entry : fs::directory_iterator(temp)) {
    const std::string name = entry.path().filename().string();
    const bool frameImage = name.size() == 12 && name.ends_with(".jpg") &&
                            name.find_first_not_of("0123456789") == 8;
    EXPECT_TRUE(frameImage) << name;
    if (!frameImage) continue;
    numbers.insert(std::stoi(name.substr(0, 8)));
  }
  if (numbers.empty()) return 0;
  EXPECT_EQ(*numbers.begin(), 1);
  EXPECT_EQ(*numbers.rbegin(), static_cast<int>(numbers.size())) << "gap in the frame numbers";
  return static_cast<int>(numbers.size());
}

// ---- the progress port ---------------------------------------------------------------------------

// A listener on 127.0.0.1:5000 that takes one connection of a running program and keeps what it sends.
class ReportListener {
 public:
  ReportListener() {
    socket_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(socket_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    const sockaddr_in address = testing_support::ProgressPortAddress();
    // The ctest lock keeps this suite's runs apart; on a machine shared with other builds' tests the
    // port may still be busy for a moment.
    for (int tries = 0; bind(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0; ++tries) {
      if (tries == 300) throw std::runtime_error("port 5000 stays taken");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (listen(socket_, 4) != 0) throw std::runtime_error("cannot listen on port 5000");
  }
  ~ReportListener() { close(socket_); }

  // Everything the program sends over its connection, "" when it ends without connecting.
  std::string Collect(const Program& program) {
    const int connection = Accept(program);
    if (connection < 0) return "";
    std::string received;
    char buffer[260];
    for (ssize_t got; (got = recv(connection, buffer, sizeof buffer, 0)) > 0;) received.append(buffer, got);
    close(connection);
    return received;
  }

  // Takes the program's connection and closes it at once, as a converter does that goes away.
  void HangUp(const Program& program) {
    const int connection = Accept(program);
    if (connection >= 0) close(connection);
  }

 private:
  int Accept(const Program& program) {
    for (;;) {
      pollfd ready{socket_, POLLIN, 0};
      if (poll(&ready, 1, 100) == 1) break;
      if (program.HasEnded()) {
        if (poll(&ready, 1, 0) == 1) break;
        return -1;
      }
    }
    return accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
  }

  int socket_ = -1;
};

struct Report {
  long long current;
  long long total;
};

// The reports of one run; fails the test on any text that is not a report.
std::vector<Report> ParseReports(const std::string& text) {
  std::size_t at = 0;
  const auto keyAndNumber = [&](std::string_view key) -> std::optional<long long> {
    if (text.compare(at, key.size(), key) != 0) return std::nullopt;
    const std::size_t digits = at + key.size();
    const std::size_t end = std::min(text.find_first_not_of("0123456789", digits), text.size());
    if (end == digits) return std::nullopt;
    at = end;
    return std::stoll(text.substr(digits, end - digits));
  };
  std::vector<Report> reports;
  while (at < text.size()) {
    const std::optional<long long> current = keyAndNumber("cur:");
    const std::optional<long long> total = current ? keyAndNumber(" Total:") : std::nullopt;
    if (!total) {
      ADD_FAILURE() << "no report at byte " << at << " of: " << text;
      break;
    }
    reports.push_back({*current, *total});
  }
  return reports;
}

void ExpectReportsRiseToTotal(const std::vector<Report>& reports) {
  ASSERT_FALSE(reports.empty());
  long long previous = 0;
  for (const Report& report : reports) {
    EXPECT_GT(report.total, 0);
    EXPECT_LE(report.total, 65535);
    EXPECT_LE(report.current, report.total);
    EXPECT_GE(report.current, previous);
    previous = report.current;
  }
  EXPECT_EQ(reports.back().current, reports.back().total);
}

// ---- source clips ---------------------------------------------------------------------------------

struct Clip {
  const char* name;
  const char* extension;
  const char* size;
  const char* rate;
  double seconds;
  std::vector<std::string> videoCodec;
  std::vector<std::string> audioCodec;  // empty: no sound track
};

std::ostream& operator<<(std::ostream& out, const Clip& clip) { return out << clip.name; }

// The six containers the converter accepts, with codecs each takes, odd frame rates, with and without sound.
const Clip kClips[] = {
    {"avi_mpeg4_mp3", ".avi", "320x240", "25", 2.0, {"-c:v", "mpeg4"}, {"-c:a", "libmp3lame"}},
    {"avi_mjpeg_pcm", ".avi", "320x240", "12.5", 1.5, {"-c:v", "mjpeg"}, {"-c:a", "pcm_s16le"}},
    {"avi_silent", ".avi", "320x240", "30000/1001", 1.0, {"-c:v", "mpeg4"}, {}},
    {"mov_mpeg4_aac", ".mov", "320x240", "30000/1001", 2.0, {"-c:v", "mpeg4"}, {"-c:a", "aac"}},
    {"mp4_mpeg4_aac", ".mp4", "640x360", "12.5", 2.0, {"-c:v", "mpeg4"}, {"-c:a", "aac"}},
    {"asf_wmv2_wmav2", ".asf", "320x240", "25", 1.5, {"-c:v", "wmv2"}, {"-c:a", "wmav2"}},
    {"wmv_wmv2_wmav2", ".wmv", "320x240", "30000/1001", 2.0, {"-c:v", "wmv2"}, {"-c:a", "wmav2"}},
    {"3gp_h263_aac", ".3gp", "176x144", "30000/1001", 2.0, {"-c:v", "h263"}, {"-c:a", "aac", "-ac", "1"}},
};

class ToolsTest : public ::testing::Test {
 protected:
  Finished Run(const std::vector<std::string>& argv,
               const std::optional<std::string>& pathVariable = std::nullopt) {
    Program program(argv, work_.path(), logs_.path(), pathVariable);
    return program.Wait();
  }

  fs::path MakeClip(const Clip& clip, const std::vector<std::string>& audioFilter = {}) {
    const fs::path file = work_ / (std::string(clip.name) + clip.extension);
    const std::string seconds = std::to_string(clip.seconds);
    std::vector<std::string> argv = {"ffmpeg", "-nostdin", "-loglevel", "error", "-f", "lavfi", "-i",
                                     std::string("testsrc2=size=") + clip.size + ":rate=" + clip.rate +
                                         ":duration=" + seconds};
    if (!clip.audioCodec.empty()) {
      argv.insert(argv.end(), {"-f", "lavfi", "-i", "sine=frequency=1000:sample_rate=44100:duration=" + seconds});
    }
    argv.insert(argv.end(), clip.videoCodec.begin(), clip.videoCodec.end());
    argv.insert(argv.end(), clip.audioCodec.begin(), clip.audioCodec.end());
    argv.insert(argv.end(), audioFilter.begin(), audioFilter.end());
    argv.insert(argv.end(), {"-y", file.string()});
    const Finished made = Program(argv, work_.path(), logs_.path()).Wait();
    if (made.status != 0) throw std::runtime_error("cannot make " + file.string() + ": " + made.errors);
    return file;
  }

  // Every entry of the work folder but `source`.
  std::set<std::string> LeftBesides(const fs::path& source) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(work_.path())) {
      if (entry.path() != source) names.insert(entry.path().filename().string());
    }
    return names;
  }

  TempDir work_;
  TempDir logs_;
};

// ---- stage 0: the reduced video ------------------------------------------------------------------
// No listener runs in these tests: the tools work on without one.

class ShrinkVideo : public ToolsTest, public ::testing::WithParamInterface<Clip> {};

TEST_P(ShrinkVideo, LeavesMjpegAviAt160x120And8FramesPerSecond) {
  const fs::path source = MakeClip(GetParam());
  const Finished run = Run(ShrinkLine(source));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(LeftBesides(source), std::set<std::string>{source.filename().string() + "xrftemp.avi"});

  const fs::path reduced = source.string() + "xrftemp.avi";
  const auto video = ProbeStream(reduced, "v:0", logs_.path());
  EXPECT_EQ(video.at("codec_name"), "mjpeg");
  EXPECT_EQ(video.at("width"), "160");
  EXPECT_EQ(video.at("height"), "120");
  EXPECT_EQ(video.at("avg_frame_rate"), "8/1");
  EXPECT_NEAR(std::stod(video.at("nb_frames")), GetParam().seconds * 8, 1.0);
  EXPECT_TRUE(ProbeStream(reduced, "a", logs_.path()).empty()) << "the frame dump needs no sound";
}

INSTANTIATE_TEST_SUITE_P(Containers, ShrinkVideo, ::testing::ValuesIn(kClips),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- stage 1: the sound --------------------------------------------------------------------------

class ExtractSound : public ToolsTest, public ::testing::WithParamInterface<Clip> {};

TEST_P(ExtractSound, LeavesBareMp3At32KbitMonoOrSaysThereIsNoSound) {
  const fs::path source = MakeClip(GetParam());
  const fs::path mp3 = source.string() + ".mp3";
  // An earlier job's sound must not pass for this film's.
  testing_support::WriteFileText(mp3, "an earlier run's sound");
  const Finished run = Run(SoundLine(source));
  if (GetParam().audioCodec.empty()) {
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.errors.find("no audio stream"), std::string::npos) << run.errors;
    EXPECT_TRUE(LeftBesides(source).empty());
    return;
  }
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(LeftBesides(source), std::set<std::string>{mp3.filename().string()});

  const std::vector<std::uint8_t> bytes = ReadFileBytes(mp3);
  ASSERT_GT(bytes.size(), 4u);
  EXPECT_NE(std::string(bytes.begin(), bytes.begin() + 3), "ID3");
  const std::string firstFrame(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 200));
  EXPECT_EQ(firstFrame.find("Xing"), std::string::npos);
  EXPECT_EQ(firstFrame.find("Info"), std::string::npos);

  const Mp3Stream stream = ReadMp3(bytes);  // throws on anything that is not a frame
  EXPECT_EQ(stream.layers, std::set<int>{3});
  EXPECT_EQ(stream.bitratesKbps, std::set<int>{32});
  EXPECT_EQ(stream.channelModes, std::set<int>{3}) << "mono";
  EXPECT_EQ(stream.sampleRates.size(), 1u);
  EXPECT_FALSE(stream.anyPadded) << "padding=0";
  EXPECT_NEAR(stream.seconds, GetParam().seconds, 0.25);
}

INSTANTIATE_TEST_SUITE_P(Containers, ExtractSound, ::testing::ValuesIn(kClips),
                         [](const auto& info) { return std::string(info.param.name); });

// Root mean square of a file's sound, decoded to mono 16-bit samples, leaving out its first and last
// fifth where encoders ramp.
double SoundLevel(const fs::path& file, const fs::path& logDir) {
  const fs::path raw = logDir / (file.filename().string() + ".raw");
  const Finished decoded = Program({"ffmpeg", "-nostdin", "-loglevel", "error", "-i", file.string(), "-ac", "1",
                                    "-f", "s16le", "-acodec", "pcm_s16le", "-y", raw.string()},
                                   logDir, logDir)
                               .Wait();
  if (decoded.status != 0) throw std::runtime_error(decoded.errors);
  const std::vector<std::uint8_t> b = ReadFileBytes(raw);
  const std::size_t samples = b.size() / 2;
  double sum = 0;
  for (std::size_t i = samples / 5; i < samples * 4 / 5; ++i) {
    const double s = static_cast<std::int16_t>(Le16(b, 2 * i));
    sum += s * s;
  }
  return std::sqrt(sum / static_cast<double>(samples * 3 / 5));
}

TEST_F(ToolsTest, SoundVolumeNineMultipliesTheSamplesByNine) {
  // A quiet tone, so that nine times it is still far from full scale.
  const Clip quiet{"quiet", ".avi", "160x120", "8", 2.0, {"-c:v", "mjpeg"}, {"-c:a", "pcm_s16le"}};
  const fs::path source = MakeClip(quiet, {"-af", "volume=0.05"});
  const Finished run = Run(SoundLine(source));
  ASSERT_EQ(run.status, 0) << run.errors;
  const double ratio = SoundLevel(source.string() + ".mp3", logs_.path()) / SoundLevel(source, logs_.path());
  EXPECT_NEAR(ratio, 9.0, 1.0);
}

// ---- stage 2 and the bitmaps ---------------------------------------------------------------------

struct DumpCase {
  const char* name;
  bool throughMencoder;  // the reduced video of stage 0, else a clip of another codec named like one
};

std::ostream& operator<<(std::ostream& out, const DumpCase& c) { return out << c.name; }

class DumpFrames : public ToolsTest, public ::testing::WithParamInterface<DumpCase> {};

TEST_P(DumpFrames, WritesNumberedJpegsThatDjpegTurnsIntoBothBitmaps) {
  const Clip clip{"clip", ".mp4", "320x240", "30000/1001", 2.0, {"-c:v", "mpeg4"}, {}};
  const fs::path source = MakeClip(clip);
  if (GetParam().throughMencoder) {
    const Finished shrunk = Run(ShrinkLine(source));
    ASSERT_EQ(shrunk.status, 0) << shrunk.errors;
  } else {
    const Clip mpeg4{"clip.mp4xrftemp", ".avi", "160x120", "8", 2.0, {"-c:v", "mpeg4"}, {}};
    MakeClip(mpeg4);
  }
  const fs::path temp = work_ / "temp";
  const std::string reduced = source.string() + "xrftemp.avi";
  const int expected = std::stoi(ProbeStream(reduced, "v:0", logs_.path()).at("nb_frames"));
  const Finished run = Run(DumpLine(source));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(CountFrameImages(temp), expected);

  for (int frame : {1, expected}) {
    const Finished palette = Run(PaletteBitmapLine(frame));
    const Finished trueColor = Run(TrueColorBitmapLine(frame));
    ASSERT_EQ(palette.status, 0) << palette.errors;
    ASSERT_EQ(trueColor.status, 0) << trueColor.errors;
    const BitmapInfo eight = ReadBitmapInfo(temp / (FrameName(frame) + ".jpg.bmp"));
    const BitmapInfo twentyFour = ReadBitmapInfo(temp / (FrameName(frame) + ".jpg_24.bmp"));
    EXPECT_EQ(eight.width, 160);
    EXPECT_EQ(std::abs(eight.height), 120);
    EXPECT_EQ(eight.bitsPerPixel, 8);
    EXPECT_EQ(eight.compression, 0u);
    EXPECT_EQ(twentyFour.width, 160);
    EXPECT_EQ(std::abs(twentyFour.height), 120);
    EXPECT_EQ(twentyFour.bitsPerPixel, 24);
  }
}

INSTANTIATE_TEST_SUITE_P(Inputs, DumpFrames,
                         ::testing::Values(DumpCase{"ReducedMjpeg", true}, DumpCase{"OtherCodec", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToolsTest, DumpCreatesTheFrameFolderUnderTheCurrentDirectory) {
  const Clip clip{"clip", ".avi", "160x120", "8", 1.0, {"-c:v", "mjpeg"}, {}};
  const fs::path source = MakeClip(clip);
  fs::rename(source, source.string() + "xrftemp.avi");
  ASSERT_FALSE(fs::exists(work_ / "temp"));
  const Finished run = Run(DumpLine(source));
  ASSERT_EQ(run.status, 0) << run.errors;
  EXPECT_EQ(CountFrameImages(work_ / "temp"), 8);
}

TEST_F(ToolsTest, DumpRefusesAFrameFolderThatAlreadyHoldsFrameImages) {
  const Clip clip{"clip", ".avi", "160x120", "8", 1.0, {"-c:v", "mjpeg"}, {}};
  const fs::path source = MakeClip(clip);
  fs::rename(source, source.string() + "xrftemp.avi");
  // Someone's own image under a frame's name: neither counted with this film's frames nor lost.
  fs::create_directory(work_ / "temp");
  testing_support::WriteFileText(work_ / "temp" / "00000001.jpg", "not a frame of this film");

  const Finished run = Run(DumpLine(source));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("already holds frame images"), std::string::npos) << run.errors;
  EXPECT_EQ(testing_support::ReadFileText(work_ / "temp" / "00000001.jpg"), "not a frame of this film");
  EXPECT_EQ(CountFrameImages(work_ / "temp"), 1);
}

// The frame dump reads the reduced video's codec and frame count from its headers; every other
// file is left to ffprobe.
using FileBytes = std::vector<std::uint8_t>;

struct AviCase {
  const char* name;
  // The bytes to read, from those of the reduced video and of its source (an MPEG-4 AVI).
  FileBytes (*bytes)(FileBytes reduced, FileBytes source);
  bool read;  // else nothing is returned and ffprobe has to look
};

std::ostream& operator<<(std::ostream& out, const AviCase& c) { return out << c.name; }

class AviHeaders : public ToolsTest, public ::testing::WithParamInterface<AviCase> {};

TEST_P(AviHeaders, GiveTheReducedVideosCodecAndFrameCountOrNothing) {
  const Clip clip{"clip", ".avi", "320x240", "25", 2.5, {"-c:v", "mpeg4"}, {}};
  const fs::path source = MakeClip(clip);
  ASSERT_EQ(Run(ShrinkLine(source)).status, 0);
  const fs::path reduced = source.string() + "xrftemp.avi";
  const fs::path file = work_ / "read.avi";
  testing_support::WriteFileBytes(file, GetParam().bytes(ReadFileBytes(reduced), ReadFileBytes(source)));

  const std::optional<tools::MediaInfo> info = tools::ReadMjpegAviInfo(file.string());
  ASSERT_EQ(info.has_value(), GetParam().read);
  if (!info) return;
  EXPECT_TRUE(info->readable);
  EXPECT_TRUE(info->hasVideo);
  EXPECT_EQ(info->videoCodec, "mjpeg");
  EXPECT_EQ(info->VideoFrameCount(), std::stoll(ProbeStream(reduced, "v:0", logs_.path()).at("nb_frames")));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, AviHeaders,
    ::testing::Values(
        AviCase{"MadeByMencoder", [](FileBytes reduced, FileBytes) { return reduced; }, true},
        AviCase{"TruncatedInItsHeaders",
                [](FileBytes reduced, FileBytes) {
                  reduced.resize(100);  // inside the first stream's list
                  return reduced;
                },
                false},
        AviCase{"OtherRiffForm",
                [](FileBytes reduced, FileBytes) {
                  std::copy_n("WAVE", 4, reduced.begin() + 8);
                  return reduced;
                },
                false},
        AviCase{"ChunkRunsPastItsList",
                [](FileBytes reduced, FileBytes) {
                  // The size of the first stream's list, which follows the 56 bytes of 'avih'.
                  std::fill_n(reduced.begin() + 92, 4, 0xF0);
                  return reduced;
                },
                false},
        AviCase{"OtherCodecInAvi", [](FileBytes, FileBytes source) { return source; }, false},
        AviCase{"NotRiff",
                [](FileBytes, FileBytes) {
                  const std::string text = "this is no video at all";
                  return FileBytes(text.begin(), text.end());
                },
                false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToolsTest, SourceNameWithSpacesColonAndPercentGoesThroughAllStages) {
  const Clip clip{"my film: 100%", ".avi", "320x240", "25", 1.0, {"-c:v", "mpeg4"}, {"-c:a", "libmp3lame"}};
  const fs::path source = MakeClip(clip);
  for (const auto& line : {ShrinkLine(source), SoundLine(source), DumpLine(source)}) {
    const Finished run = Run(line);
    ASSERT_EQ(run.status, 0) << run.errors;
  }
  EXPECT_EQ(CountFrameImages(work_ / "temp"), 8);
  EXPECT_EQ(ReadMp3(ReadFileBytes(source.string() + ".mp3")).bitratesKbps, std::set<int>{32});
}

// ---- progress reports ----------------------------------------------------------------------------

struct StageCase {
  const char* name;
  int stage;
};

std::ostream& operator<<(std::ostream& out, const StageCase& c) { return out << c.name; }

class StageReports : public ToolsTest, public ::testing::WithParamInterface<StageCase> {};

TEST_P(StageReports, RiseToTotalAndEndWithCurEqualToTotal) {
  const Clip clip{"clip", ".mov", "320x240", "30000/1001", 3.0, {"-c:v", "mpeg4"}, {"-c:a", "aac"}};
  const fs::path source = MakeClip(clip);
  if (GetParam().stage == 2) {
    ASSERT_EQ(Run(ShrinkLine(source)).status, 0);
  }
  const std::vector<std::string> lines[] = {ShrinkLine(source), SoundLine(source), DumpLine(source)};

  ReportListener listener;
  Program tool(lines[GetParam().stage], work_.path(), logs_.path());
  const std::string received = listener.Collect(tool);
  const Finished run = tool.Wait();
  ASSERT_EQ(run.status, 0) << run.errors;

  const std::vector<Report> reports = ParseReports(received);
  ExpectReportsRiseToTotal(reports);
  if (GetParam().stage == 0) {
    EXPECT_NEAR(reports.back().total, 24, 1);  // 3 s at 8 frames per second
  } else if (GetParam().stage == 2) {
    EXPECT_EQ(reports.back().total, CountFrameImages(work_ / "temp"));
  }
}

INSTANTIATE_TEST_SUITE_P(Stages, StageReports,
                         ::testing::Values(StageCase{"ShrinkVideo", 0}, StageCase{"ExtractSound", 1},
                                           StageCase{"DumpFrames", 2}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ToolsTest, ListenerThatHangsUpDoesNotStopTheTool) {
  const Clip clip{"clip", ".mov", "320x240", "30000/1001", 3.0, {"-c:v", "mpeg4"}, {}};
  const fs::path source = MakeClip(clip);
  ReportListener listener;
  Program tool(ShrinkLine(source), work_.path(), logs_.path());
  listener.HangUp(tool);
  const Finished run = tool.Wait();
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(fs::exists(source.string() + "xrftemp.avi"));
}

// ---- refusals and failures -----------------------------------------------------------------------

struct Refusal {
  const char* name;
  std::vector<std::string> argv;
  const char* message;
};

std::ostream& operator<<(std::ostream& out, const Refusal& r) { return out << r.name; }

class RefusedLine : public ToolsTest, public ::testing::WithParamInterface<Refusal> {};

TEST_P(RefusedLine, SaysWhyExitsNonzeroAndWritesNothing) {
  const Finished run = Run(GetParam().argv);
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find(GetParam().message), std::string::npos) << run.errors;
  EXPECT_TRUE(LeftBesides({}).empty());
}

INSTANTIATE_TEST_SUITE_P(
    Tools, RefusedLine,
    ::testing::Values(
        Refusal{"MencoderUnknownOption", {kMencoder, "in.avi", "-o", "out.avi", "-nosound"}, "unknown option -nosound"},
        Refusal{"UnknownLameSetting", {kMencoder, "in.avi", "-of", "rawaudio", "-lameopts", "cbr:br=32", "q=2", "-o", "o.mp3"}, "q=2"},
        Refusal{"OtherAudioCodec", {kMencoder, "in.avi", "-oac", "pcm", "-o", "out.avi"}, "-oac pcm"},
        Refusal{"OtherFilter", {kMencoder, "in.avi", "-vf", "crop=10:10", "-o", "out.avi"}, "-vf crop=10:10"},
        Refusal{"FrameRateNotANumber", {kMencoder, "in.avi", "-ofps", "fast", "-o", "out.avi"}, "-ofps fast"},
        Refusal{"NoOutput", {kMencoder, "in.avi", "-ofps", "8"}, "no output file"},
        Refusal{"TwoInputs", {kMencoder, "a.avi", "b.avi", "-o", "out.avi"}, "only one input file"},
        Refusal{"OptionWithoutValue", {kMencoder, "in.avi", "-o"}, "-o needs a value"},
        Refusal{"MplayerUnknownOption", {kMplayer, "in.avi", "-vo", "jpeg", "-framedrop"}, "unknown option -framedrop"},
        Refusal{"OtherVideoOutput", {kMplayer, "in.avi", "-vo", "png"}, "-vo png"},
        Refusal{"MplayerNoInput", {kMplayer, "-vo", "jpeg"}, "no input file"}));

struct ToolCase {
  const char* name;
  std::vector<std::string> (*line)(const fs::path&);
  const char* output;  // the file the line names as its output, if any
};

std::ostream& operator<<(std::ostream& out, const ToolCase& c) { return out << c.name; }

const ToolCase kToolCases[] = {{"ShrinkVideo", ShrinkLine, "film.avixrftemp.avi"},
                               {"ExtractSound", SoundLine, "film.avi.mp3"},
                               {"DumpFrames", DumpLine, nullptr}};

class FailingRun : public ToolsTest, public ::testing::WithParamInterface<ToolCase> {};

TEST_P(FailingRun, WithoutFfmpegSaysSo) {
  const fs::path source = work_ / "film.avi";
  testing_support::WriteFileText(source, "not read");
  fs::create_directory(work_ / "empty");
  const Finished run = Run(GetParam().line(source), (work_ / "empty").string());
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("ffmpeg not found"), std::string::npos) << run.errors;
  EXPECT_EQ(LeftBesides(source), std::set<std::string>{"empty"});
}

TEST_P(FailingRun, OnAnUnreadableSourcePassesOnFfmpegsErrorAndLeavesNoOutput) {
  const fs::path source = work_ / "film.avi";
  testing_support::WriteFileText(source, "this is no video at all");
  // The frame dump's input, and for the other two an earlier run's output under their output's name.
  testing_support::WriteFileText(work_ / "film.avixrftemp.avi", "nor is this");
  testing_support::WriteFileText(work_ / "film.avi.mp3", "nor this");
  const Finished run = Run(GetParam().line(source));
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.errors.find("Invalid data"), std::string::npos) << run.errors;
  if (GetParam().output != nullptr) {
    EXPECT_FALSE(fs::exists(work_ / GetParam().output)) << "a failed run leaves no output";
  } else {
    EXPECT_EQ(CountFrameImages(work_ / "temp"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Tools, FailingRun, ::testing::ValuesIn(kToolCases),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- the real clip -------------------------------------------------------------------------------

TEST_F(ToolsTest, RealClipGoesThroughAllStages) {
  if (!fs::exists(kRealSample)) GTEST_SKIP() << kRealSample << " is missing";
  const fs::path source = work_ / kRealSample.filename();
  fs::copy_file(kRealSample, source);

  const Finished shrunk = Run(ShrinkLine(source));
  ASSERT_EQ(shrunk.status, 0) << shrunk.errors;
  const auto video = ProbeStream(source.string() + "xrftemp.avi", "v:0", logs_.path());
  EXPECT_EQ(video.at("width"), "160");
  EXPECT_EQ(video.at("height"), "120");
  const int frames = std::stoi(video.at("nb_frames"));
  EXPECT_NEAR(frames, 40 * 8, 4);

  const Finished sound = Run(SoundLine(source));
  EXPECT_NE(sound.status, 0);
  EXPECT_NE(sound.errors.find("no audio stream"), std::string::npos) << sound.errors;
  EXPECT_FALSE(fs::exists(source.string() + ".mp3"));

  const Finished dumped = Run(DumpLine(source));
  ASSERT_EQ(dumped.status, 0) << dumped.errors;
  EXPECT_EQ(CountFrameImages(work_ / "temp"), frames);
  for (int frame = 1; frame <= frames; frame += 53) {
    ASSERT_EQ(Run(PaletteBitmapLine(frame)).status, 0);
    EXPECT_EQ(ReadBitmapInfo(work_ / "temp" / (FrameName(frame) + ".jpg.bmp")).width, 160);
  }
}

// ---- process hygiene -----------------------------------------------------------------------------

// The children of every thread of `parent`, by command name.
std::map<std::string, pid_t> ChildrenOf(pid_t parent) {
  std::map<std::string, pid_t> children;
  std::error_code ignored;
  for (const auto& task : fs::directory_iterator("/proc/" + std::to_string(parent) + "/task", ignored)) {
    std::ifstream list(task.path() / "children");
    for (pid_t child = 0; list >> child;) {
      std::string command;
      std::ifstream("/proc/" + std::to_string(child) + "/comm") >> command;
      if (!command.empty()) children[command] = child;
    }
  }
  return children;
}

// 'Z' for a zombie, '\0' when the process is gone.
char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return '\0';
  const auto paren = line.rfind(')');
  return paren + 2 < line.size() ? line[paren + 2] : '\0';
}

TEST_F(ToolsTest, KilledToolTakesItsFfmpegAndItsProbeWithIt) {
  if (!fs::exists(kRealSample)) GTEST_SKIP() << kRealSample << " is missing";
  const fs::path source = work_ / kRealSample.filename();
  fs::copy_file(kRealSample, source);
  // An ffprobe that never answers, so that the probe still runs next to ffmpeg when the tool dies.
  const fs::path standIns = logs_ / "bin";
  fs::create_directory(standIns);
  testing_support::WriteFileText(standIns / "ffprobe", "#!/bin/sh\nexec sleep 60\n");
  fs::permissions(standIns / "ffprobe", fs::perms::owner_all);
  ReportListener listener;  // so that the tool holds a socket its children must not inherit
  Program tool(ShrinkLine(source), work_.path(), logs_.path(), standIns.string() + ":" + std::getenv("PATH"));

  std::map<std::string, pid_t> children;
  for (int tries = 0; tries < 200 && !(children.contains("ffmpeg") && children.contains("sleep")); ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    children = ChildrenOf(tool.pid());
  }
  ASSERT_TRUE(children.contains("ffmpeg")) << "ffmpeg never started";
  ASSERT_TRUE(children.contains("sleep")) << "the probe never started";
  for (const auto& [command, pid] : children) {
    EXPECT_EQ(getpgid(pid), getpgid(tool.pid())) << "a kill of the tool's group must reach " << command;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
      std::error_code ignored;
      EXPECT_FALSE(fs::read_symlink(fd.path(), ignored).string().starts_with("socket:"))
          << command << " inherited a socket";
    }
  }

  kill(tool.pid(), SIGKILL);
  EXPECT_EQ(tool.Wait().status, 128 + SIGKILL);
  for (const auto& [command, pid] : children) {
    char state = ProcessState(pid);
    for (int tries = 0; tries < 250 && state != '\0' && state != 'Z'; ++tries) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      state = ProcessState(pid);
    }
    EXPECT_TRUE(state == '\0' || state == 'Z') << command << " still runs, state " << state;
  }
}

}  // namespace
