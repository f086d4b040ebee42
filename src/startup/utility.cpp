#include "startup/utility.h"

#include <QFileInfo>
#include <algorithm>

#include "common/failure.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "startup/profile.h"

namespace qm {
namespace {

constexpr qsizetype kMostCharacters = 254;

QString resolved(const QString& file) {
  const QFileInfo info(file);
  return platform::resolveFileName(info.absolutePath(), info.fileName());
}

}  // namespace

QByteArray sGetINI(const QString& file, QByteArrayView section, QByteArrayView key,
                   QByteArrayView def) {
  std::optional<QByteArray> value;
  try {
    value = profileValue(platform::readFile(resolved(file)), section, key);
  } catch (const Failure&) {
    // A file that cannot be read is as good as missing.
  }
  const QByteArrayView result = value ? QByteArrayView(*value) : def;
  return result.first(std::min(result.size(), kMostCharacters)).toByteArray();
}

void writeINI(const QString& file, QByteArrayView section, QByteArrayView key,
              QByteArrayView value) {
  const QString path = resolved(file);
  try {
    QByteArray current;
    try {
      current = platform::readFile(path);
    } catch (const Failure& failure) {
      // Never replace a file we could not read whole: its other keys would be lost.
      if (failure.number() != Err::FileNotFound) return;
    }
    platform::replaceFile(path, withProfileValue(current, section, key, value));
  } catch (const Failure&) {
    // A settings write that cannot be done is silently lost.
  }
}

}  // namespace qm
