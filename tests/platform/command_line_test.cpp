#include <gtest/gtest.h>

#include <cctype>
#include <ostream>
#include <string>
#include <vector>

#include "platform/process.h"

namespace {

struct SplitCase {
  const char* name;
  std::string commandLine;
  std::vector<std::string> arguments;
};

const SplitCase kSplitCases[] = {
    {"shrink video line",
     "/opt/fl/Tools/mencoder.exe\t\"/v/a.avi\" -oac mp3lame -ovc lavc -vf scale=160:120 -o \"/v/a.avixrftemp.avi\" -ofps 8",
     {"/opt/fl/Tools/mencoder.exe", "/v/a.avi", "-oac", "mp3lame", "-ovc", "lavc", "-vf", "scale=160:120", "-o",
      "/v/a.avixrftemp.avi", "-ofps", "8"}},
    {"extract sound line",
     "/opt/fl/Tools/mencoder.exe\t\"/v/a.avi\" -of rawaudio -oac mp3lame -lameopts cbr:br=32 mode=3 padding=0 vol=9 "
     "-ovc lavc -o \"/v/a.avi.mp3\"",
     {"/opt/fl/Tools/mencoder.exe", "/v/a.avi", "-of", "rawaudio", "-oac", "mp3lame", "-lameopts", "cbr:br=32",
      "mode=3", "padding=0", "vol=9", "-ovc", "lavc", "-o", "/v/a.avi.mp3"}},
    {"dump frames line, trailing space",
     "/opt/fl/Tools/mplayer.exe\t\"/v/a.avixrftemp.avi\" -speed 10 -nosound -vo jpeg ",
     {"/opt/fl/Tools/mplayer.exe", "/v/a.avixrftemp.avi", "-speed", "10", "-nosound", "-vo", "jpeg"}},
    {"256-colour frame line, double space",
     "/opt/fl/Tools/djpeg.exe -colors 256 -bmp -outfile ./temp/00000001.jpg.bmp  ./temp/00000001.jpg",
     {"/opt/fl/Tools/djpeg.exe", "-colors", "256", "-bmp", "-outfile", "./temp/00000001.jpg.bmp",
      "./temp/00000001.jpg"}},
    {"24-bit frame line, double space",
     "/opt/fl/Tools/djpeg.exe -bmp -outfile ./temp/00000001.jpg_24.bmp  ./temp/00000001.jpg",
     {"/opt/fl/Tools/djpeg.exe", "-bmp", "-outfile", "./temp/00000001.jpg_24.bmp", "./temp/00000001.jpg"}},
    {"quoted paths with spaces", "\"/opt/my tools/x.exe\" \"/v/my clip.avi\"", {"/opt/my tools/x.exe", "/v/my clip.avi"}},
    {"quotes inside a word group", "a\"b c\"d e", {"ab cd", "e"}},
    {"unterminated quote runs to the end", "a \"b c", {"a", "b c"}},
    {"tabs separate and group", "a\t\tb \"c\td\"", {"a", "b", "c\td"}},
    {"blank line", " \t ", {}},
    {"empty line", "", {}},
    {"empty quoted arguments kept", "a \"\" b \"\"", {"a", "", "b", ""}},
    {"backslashes not before a quote are literal", "a\\\\b c\\ d\\", {"a\\\\b", "c\\", "d\\"}},
    {"one backslash and quote give a literal quote", "a\\\"b", {"a\"b"}},
    {"two backslashes and quote give one backslash and a group", "\\\\\"x y\"", {"\\x y"}},
    {"three backslashes and quote give one backslash and a literal quote", "\\\\\\\"x y", {"\\\"x", "y"}},
    {"four backslashes and quote give two backslashes and a group", "\\\\\\\\\"x y\"", {"\\\\x y"}},
    {"escaped quote inside a group", "\"a\\\"b c\"", {"a\"b c"}},
    {"doubled quote inside a group is literal", "\"a\"\"b c\" d", {"a\"b c", "d"}},
    {"doubled quote outside a group is empty", "a\"\"b", {"ab"}},
};

void PrintTo(const SplitCase& c, std::ostream* os) { *os << c.name; }

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, SplitsAsTheWindowsRuntime) {
  EXPECT_EQ(SplitCommandLine(GetParam().commandLine), GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(Lines, SplitCommandLineTest, testing::ValuesIn(kSplitCases),
                         [](const testing::TestParamInfo<SplitCase>& info) {
                           std::string name;
                           for (char c : std::string(info.param.name)) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                           return name;
                         });

}  // namespace
