#pragma once

#include <sys/stat.h>

namespace qm::platform {

// True when two stats are of one file: what a check by name and an open must agree on.
inline bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace qm::platform
