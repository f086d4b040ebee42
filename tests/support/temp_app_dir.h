#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <initializer_list>

namespace qm::test {

// The bytes of a store holding these texts, each padded with spaces to the record length.
QByteArray records(std::initializer_list<const char*> texts, int length);

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
