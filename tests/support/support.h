#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <functional>

#include "common/msgbox.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "startup/settings.h"

namespace qm::test {

// A store holding these texts, each filled with spaces to the record length.
inline QByteArray records(int length, std::initializer_list<QByteArray> texts) {
  QByteArray bytes;
  for (const QByteArray& text : texts) bytes += text.leftJustified(length, ' ');
  return bytes;
}

// A fresh application folder; the settings in memory are reset, IniPath names its zq.ini.
struct TempAppDir {
  TempAppDir() {
    platform::setApplicationDir(dir.path()), ModSig = {}, ModSig.IniPath = file("zq.ini");
  }
  ~TempAppDir() { platform::setApplicationDir({}); }
  QString path() const { return dir.path(); }
  QString file(const QString& name) const { return dir.filePath(name); }
  QByteArray read(const QString& name) const {  // empty when missing
    QFile in(file(name));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
  }
  void write(const QString& name, const QByteArray& bytes) const {
    QFile out(file(name));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size());
  }
  QTemporaryDir dir;
};

struct ShownBox {
  MsgKind kind;
  QString prompt, title;
};

// Records each message box and answers it from the script, in order; a box beyond the script
// fails the test, and so does an answer never asked for.
struct ScriptedMsgBox {
  explicit ScriptedMsgBox(std::vector<int> script = {}) : answers(std::move(script)) {
    previous = installMsgBox([this](MsgKind kind, const QString& prompt, const QString& title) {
      shown.push_back({kind, prompt, title});
      if (whileShown) whileShown();
      if (shown.size() <= answers.size()) return answers[shown.size() - 1];
      ADD_FAILURE() << "unexpected box: " << prompt.toStdString();
      return int{kind == MsgKind::Failure ? vbAbort : kind == MsgKind::Question ? vbNo : vbOK};
    });
  }
  ~ScriptedMsgBox() {
    installMsgBox(previous);
    EXPECT_EQ(shown.size(), answers.size());
  }
  std::vector<int> answers;
  std::vector<ShownBox> shown;
  std::function<void()> whileShown;  // what happens while a modal box is up
  MsgBoxShow previous;
};

// A file hook for as long as it lives; a test that throws or fails an assertion still resets it.
struct FileHookScope {
  explicit FileHookScope(platform::FileHook hook) { platform::setFileHookForTest(std::move(hook)); }
  ~FileHookScope() { platform::setFileHookForTest({}); }
  FileHookScope(const FileHookScope&) = delete;
  FileHookScope& operator=(const FileHookScope&) = delete;
};

// The failure box as the user reads it: number, description, a line, the procedure.
inline void expectFailureBox(const ShownBox& box, int number, const QString& description,
                             const QString& procedure) {
  const QString text = "^Error %1: \r\n%2\r\n\t\toccurred at line [1-9][0-9]*\r\nin Quillmate: %3$";
  const auto escape = [](const QString& plain) { return QRegularExpression::escape(plain); };
  EXPECT_EQ(box.title, "Quillmate Error");
  EXPECT_TRUE(box.kind == MsgKind::Failure &&
              QRegularExpression(text.arg(number).arg(escape(description), escape(procedure)))
                  .match(box.prompt)
                  .hasMatch())
      << box.prompt.toStdString();
}

}  // namespace qm::test
