#pragma once

// frameloom-cli inspect [--json] FILE.mox: what a file holds, and whether it is complete and
// consistent (exit 0) or what is wrong with it first (exit 1).

#include <string_view>
#include <vector>

int RunInspect(const std::vector<std::string_view>& arguments);
