#pragma once

// frameloom-cli's exit status, the same for every command.

inline constexpr int kExitComplete = 0;  // done; for inspect: the file is complete and consistent
inline constexpr int kExitFailed = 1;    // the conversion failed, or the file is not sound
inline constexpr int kExitUsage = 2;
