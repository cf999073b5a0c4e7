#include "platform/file_system.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsReadOnly(const struct stat& status) { return (status.st_mode & 0222) == 0; }

// Works on descriptors relative to the parent, so a folder renamed or swapped for a link meanwhile
// can't lead the removal outside the tree it was given.
void DeleteContents(int folder) {
  DIR* listing = fdopendir(folder);
  if (listing == nullptr) {
    close(folder);
    return;
  }
  while (dirent* entry = readdir(listing)) {
    const char* name = entry->d_name;
    if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
    struct stat status;
    if (fstatat(dirfd(listing), name, &status, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(status.st_mode)) {
      int child = openat(dirfd(listing), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
      if (child < 0) continue;
      DeleteContents(child);
      unlinkat(dirfd(listing), name, AT_REMOVEDIR);
    } else if (!IsReadOnly(status) || S_ISLNK(status.st_mode)) {
      unlinkat(dirfd(listing), name, 0);
    }
  }
  closedir(listing);
}

}  // namespace

void DeleteTree(const char* folder) {
  struct stat status;
  if (lstat(folder, &status) != 0 || !S_ISDIR(status.st_mode)) return;
  int descriptor = open(folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (descriptor < 0) return;
  DeleteContents(descriptor);
  rmdir(folder);
}
