#include "support/temp_app_dir.h"

#include <gtest/gtest.h>

#include <QFile>

#include "common/msgbox.h"
#include "platform/platform.h"
#include "startup/settings.h"

namespace qm::test {

QByteArray records(std::initializer_list<const char*> texts, int length) {
  QByteArray bytes;
  for (const char* text : texts) bytes += QByteArray(text).leftJustified(length, ' ');
  return bytes;
}

TempAppDir::TempAppDir() {
  EXPECT_TRUE(dir_.isValid());
  platform::setApplicationDir(dir_.path());
  ModSig = {};
  MsgAnswer = 0;
}

TempAppDir::~TempAppDir() {
  platform::setApplicationDir(QString());
}

QByteArray TempAppDir::read(const QString& name) const {
  QFile in(file(name));
  EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << name.toStdString();
  return in.readAll();
}

void TempAppDir::write(const QString& name, const QByteArray& bytes) const {
  QFile out(file(name));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << name.toStdString();
  out.write(bytes);
}

}  // namespace qm::test
