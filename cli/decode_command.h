#pragma once

// frameloom-cli decode [--sheet OUT.png] [--preview OUT.mp4] FILE.mox [OUTDIR]: the film's frames as
// PNG files, as a contact sheet, and as a video with its sound, each as the player would show them.

#include <string_view>
#include <vector>

int RunDecode(const std::vector<std::string_view>& arguments);
