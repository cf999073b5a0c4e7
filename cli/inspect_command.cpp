#include "cli/inspect_command.h"

#include <cstdio>
#include <string>

#include "cli/exit_codes.h"
#include "cli/usage.h"
#include "container/mox_reader.h"

namespace {

const char* LayerName(int layer) { return layer == 1 ? "I" : layer == 2 ? "II" : "III"; }

std::string BitRateText(const MpegAudioSummary& sound) {
  const std::string lowest = std::to_string(sound.lowestBitRate / 1000);
  if (sound.lowestBitRate == sound.highestBitRate) return lowest + " kbit/s";
  return lowest + "-" + std::to_string(sound.highestBitRate / 1000) + " kbit/s (variable)";
}

void PrintText(const std::string& path, const MoxInspection& file) {
  std::printf("file        %s, %llu bytes\n", path.c_str(), static_cast<unsigned long long>(file.fileSize));
  if (!file.hasHeader) {
    std::printf("verdict     NOT SOUND: %s\n", file.problem.c_str());
    return;
  }
  std::printf("header      magic %s, %u frames, %u frames/s, %u x %u, audioOffset %u\n",
              file.hasMagic ? "XRF" : "missing (unfinished)", file.frameCount, file.framesPerSecond, file.width,
              file.height, file.audioOffset);
  std::printf("checksum    %u; bytes 0 to 16 add up to %u: %s\n", file.checksum, file.headerSum,
              file.checksum == file.headerSum ? "good" : "BAD");
  std::printf("records     %zu, from offset 54\n", file.records.size());
  if (!file.records.empty()) {
    std::printf("%10s %10s %7s %10s %6s %6s %6s %7s\n", "frame", "offset", "length", "standalone", "codes", "skip",
                "fill", "literal");
  }
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    const FrameRecordInfo& record = file.records[i];
    std::printf("%10zu %10llu %7zu %10d %6zu %6zu %6zu %7zu\n", i + 1, static_cast<unsigned long long>(record.offset),
                record.length, record.standalone, record.codes, record.skipPixels, record.fillPixels,
                record.literalPixels);
    if (!record.problem.empty()) std::printf("%10s %s\n", "^", record.problem.c_str());
  }
  if (file.hasMagic) {
    std::printf("sound       offset %llu, %llu bytes", static_cast<unsigned long long>(file.soundOffset),
                static_cast<unsigned long long>(file.soundLength));
    if (file.sound.first) {
      const MpegAudioFrameHeader& first = *file.sound.first;
      std::printf(": %llu frames of %s layer %s, %s, %s, %u Hz, %.3f s\n",
                  static_cast<unsigned long long>(file.sound.frames), MpegVersionName(first.version),
                  LayerName(first.layer), BitRateText(file.sound).c_str(), ChannelModeName(first.mode),
                  first.sampleRate, file.sound.seconds);
    } else {
      std::printf(file.soundLength == 0 ? ": none, the film is silent\n" : "\n");
    }
    std::printf("duration    pictures %.3f s (%u frames / %u)", file.PicturesSeconds(), file.frameCount,
                file.framesPerSecond);
    if (file.sound.frames > 0) {
      const double difference = file.sound.seconds - file.PicturesSeconds();
      std::printf(", sound %.3f s: the sound is %.3f s %s\n", file.sound.seconds,
                  difference < 0 ? -difference : difference, difference < 0 ? "shorter" : "longer");
    } else {
      std::printf("\n");
    }
  }
  if (file.Complete()) {
    std::printf("verdict     complete and consistent\n");
  } else {
    std::printf("verdict     NOT SOUND: %s\n", file.problem.c_str());
  }
}

std::string JsonString(const std::string& text) {
  std::string quoted = "\"";
  for (const unsigned char c : text) {
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      quoted += escaped;
    } else {
      quoted += static_cast<char>(c);
    }
  }
  return quoted + "\"";
}

std::string JsonOrNull(const std::string& text) { return text.empty() ? "null" : JsonString(text); }

void PrintJson(const MoxInspection& file) {
  std::printf("{\n  \"complete\": %s,\n  \"problem\": %s,\n  \"fileSize\": %llu,\n", file.Complete() ? "true" : "false",
              JsonOrNull(file.problem).c_str(), static_cast<unsigned long long>(file.fileSize));
  if (!file.hasHeader) {
    std::printf("  \"header\": null,\n  \"records\": [],\n  \"sound\": null,\n  \"picturesSeconds\": 0\n}\n");
    return;
  }
  std::printf(
      "  \"header\": {\"magic\": %s, \"frameCount\": %u, \"framesPerSecond\": %u, \"width\": %u, \"height\": %u, "
      "\"audioOffset\": %u, \"checksum\": %u, \"headerSum\": %u},\n",
      file.hasMagic ? "true" : "false", file.frameCount, file.framesPerSecond, file.width, file.height,
      file.audioOffset, file.checksum, file.headerSum);
  std::printf("  \"records\": [");
  for (std::size_t i = 0; i < file.records.size(); ++i) {
    const FrameRecordInfo& record = file.records[i];
    std::printf(
        "%s\n    {\"frame\": %zu, \"offset\": %llu, \"length\": %zu, \"standalone\": %d, \"codes\": %zu, "
        "\"skip\": %zu, \"fill\": %zu, \"literal\": %zu, \"problem\": %s}",
        i == 0 ? "" : ",", i + 1, static_cast<unsigned long long>(record.offset), record.length, record.standalone,
        record.codes, record.skipPixels, record.fillPixels, record.literalPixels, JsonOrNull(record.problem).c_str());
  }
  std::printf("%s],\n", file.records.empty() ? "" : "\n  ");
  if (!file.hasMagic) {
    std::printf("  \"sound\": null,\n");
  } else {
    const auto& first = file.sound.first;
    std::printf(
        "  \"sound\": {\"offset\": %llu, \"length\": %llu, \"frames\": %llu, \"version\": %s, \"layer\": %s, "
        "\"lowestBitRate\": %u, \"highestBitRate\": %u, \"mode\": %s, \"sampleRate\": %s, \"seconds\": %.6f, "
        "\"problem\": %s},\n",
        static_cast<unsigned long long>(file.soundOffset), static_cast<unsigned long long>(file.soundLength),
        static_cast<unsigned long long>(file.sound.frames),
        first ? JsonString(MpegVersionName(first->version)).c_str() : "null",
        first ? std::to_string(first->layer).c_str() : "null", file.sound.lowestBitRate, file.sound.highestBitRate,
        first ? JsonString(ChannelModeName(first->mode)).c_str() : "null",
        first ? std::to_string(first->sampleRate).c_str() : "null", file.sound.seconds,
        JsonOrNull(file.sound.problem).c_str());
  }
  std::printf("  \"picturesSeconds\": %.6f\n}\n", file.PicturesSeconds());
}

}  // namespace

int RunInspect(const std::vector<std::string_view>& arguments) {
  bool json = false;
  std::vector<std::string_view> files;
  for (const std::string_view argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      return UsageError("unknown option " + std::string(argument));
    } else {
      files.push_back(argument);
    }
  }
  if (files.size() != 1) return UsageError("inspect needs one FILE.mox");
  const std::string path(files[0]);
  const MoxInspection file = InspectMoxFile(path);
  if (json) {
    PrintJson(file);
  } else {
    PrintText(path, file);
  }
  return file.Complete() ? kExitComplete : kExitFailed;
}
