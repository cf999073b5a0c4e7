#pragma once

// The type checks that both front ends apply to the files a user picks: a source is one of the six
// video types and a target a ".mox" file, judged by the last four characters of the path,
// lower-cased.

#include <string>
#include <string_view>

// The last four characters of a UTF-8 path (all of it when shorter), ASCII letters lower-cased;
// other characters stay as they are, since none of them can be part of an accepted type.
std::string FileTypeSuffix(std::string_view path);

bool IsSupportedSourceType(std::string_view path);
bool IsSupportedTargetType(std::string_view path);

// The refusal of a source: its suffix, then the sentence that asks for a supported file.
std::string UnsupportedSourceMessage(std::string_view path);
inline constexpr char kUnsupportedTargetMessage[] =
    "保存文件类型不对， 只能是mox， 请不要随意更改文件类型。 请重新输入保存的文件名\n";
