#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

namespace qm::test {

// A fresh application directory for one test, with the process-wide settings reset.
class TempAppDir {
 public:
  TempAppDir();
  ~TempAppDir();

  QString path() const { return dir_.path(); }
  QString file(const QString& name) const { return dir_.filePath(name); }

  QByteArray read(const QString& name) const;
  void write(const QString& name, const QByteArray& bytes) const;

 private:
  QTemporaryDir dir_;
};

}  // namespace qm::test
