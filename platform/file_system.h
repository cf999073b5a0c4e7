#pragma once

// Removing a folder with everything in it.

// Deletes every file below the folder, depth first, then each emptied folder and the folder itself.
// A file that can't be deleted, or that is read-only (no write permission for anyone), stays, and so
// do its folder and every folder above it up to the one given. A path that doesn't exist or that
// names anything but a folder is left alone. Symbolic links are removed, never followed. Nothing is
// reported.
void DeleteTree(const char* folder);
