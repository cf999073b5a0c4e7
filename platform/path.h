#pragma once

// The separator between a folder and the name inside it, wherever a path is put together or taken apart.
inline constexpr char kPathSeparator = '/';
