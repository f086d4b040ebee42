#pragma once

// What both fuzz targets share: a scratch folder of their own and a check that ends the run
// like a crash when a property does not hold.

#include <QDir>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace fuzz {

inline std::unique_ptr<QTemporaryDir> scratch;

// Ends the run like a crash, without leaving the scratch folder behind.
[[noreturn]] inline void fail() {
  if (scratch) scratch->remove();
  std::abort();
}

[[noreturn]] inline void violated(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: violated: %s\n", file, line, what);
  fail();
}

// The writers sync their files; on a memory file system that costs nothing.
inline void makeScratch(const char* name) {
  const QFileInfo shm(QStringLiteral("/dev/shm"));
  const QString base = shm.isDir() && shm.isWritable() ? shm.filePath() : QDir::tempPath();
  scratch = std::make_unique<QTemporaryDir>(base + '/' + QString::fromLatin1(name) + "-XXXXXX");
  if (!scratch->isValid()) violated("a scratch folder", __FILE__, __LINE__);
}

}  // namespace fuzz

#define CHECK(condition)                                                \
  do {                                                                  \
    if (!(condition)) ::fuzz::violated(#condition, __FILE__, __LINE__); \
  } while (false)
