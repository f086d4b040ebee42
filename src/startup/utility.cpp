#include "startup/utility.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>

#include "common/failure.h"
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
  QFile in(resolved(file));
  std::optional<QByteArray> value;
  if (in.open(QIODevice::ReadOnly)) value = profileValue(in.readAll(), section, key);
  const QByteArrayView result = value ? QByteArrayView(*value) : def;
  return result.first(std::min(result.size(), kMostCharacters)).toByteArray();
}

void writeINI(const QString& file, QByteArrayView section, QByteArrayView key,
              QByteArrayView value) {
  const QString path = resolved(file);
  QByteArray current;
  if (QFileInfo::exists(path)) {
    // Never replace a file we could not read whole: its other keys would be lost.
    QFile in(path);
    if (!QFileInfo(path).isWritable() || !in.open(QIODevice::ReadOnly)) return;
    current = in.readAll();
    if (in.error() != QFileDevice::NoError) return;
  }
  try {
    platform::replaceFile(path, withProfileValue(current, section, key, value));
  } catch (const Failure&) {
    // A settings write that cannot be done is silently lost.
  }
}

}  // namespace qm
