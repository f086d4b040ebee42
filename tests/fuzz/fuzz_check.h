#pragma once
// Both fuzz targets: a scratch folder on /dev/shm, where syncs cost nothing, and a check that
// ends the run like a crash without leaving the folder behind.
#include <QDir>
#include <QTemporaryDir>
#include <cstdio>

namespace fuzz {
inline QTemporaryDir scratch((QDir("/dev/shm").exists() ? "/dev/shm" : QDir::tempPath()) +
                             "/fuzz-XXXXXX");
inline QStringList files() {
  return QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
}
[[noreturn]] inline void fail(const char* what, int line) {
  std::fprintf(stderr, "violated at line %d: %s\n", line, what);
  scratch.remove();
  std::abort();
}
}  // namespace fuzz
#define CHECK(c) ((c) ? void() : ::fuzz::fail(#c, __LINE__))
