#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDir>
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

// Records boxes, answers them from the script in order; one past it, or an unasked answer, fails.
struct ScriptedMsgBox {
  explicit ScriptedMsgBox(std::vector<int> script = {}) : answers(std::move(script)) {
    previous = installMsgBox([this](MsgKind kind, const QString& prompt, const QString& title) {
      if (shown.push_back({kind, prompt, title}); whileShown) whileShown();
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
};

// A failure box as "number description procedure" (from its four lines), any other as its prompt.
inline QString failureItem(const ShownBox& box) {
  static const QRegularExpression text(
      "^Error (\\d+): \r\n(.*)\r\n\t\toccurred at line [1-9][0-9]*\r\nin Quillmate: (\\w+)$",
      QRegularExpression::DotMatchesEverythingOption);
  const auto found = text.match(box.prompt);
  return box.kind == MsgKind::Failure && box.title == "Quillmate Error" && found.hasMatch()
             ? found.captured(1) + ' ' + found.captured(2) + ' ' + found.captured(3)
             : box.prompt;
}
inline void expectFailureBox(const ShownBox& box, int number, const QString& description,
                             const QString& procedure) {
  EXPECT_EQ(box.title, "Quillmate Error");
  EXPECT_EQ(failureItem(box).toStdString(),
            QString("%1 %2 %3").arg(number).arg(description, procedure).toStdString());
}

// Runs body in a child of its own process group; its wait status once it ends, what it left killed.
inline int forked(const std::function<void()>& body) {
  int status = 0;
  const pid_t pid = ::fork();
  if (pid == 0) ::setpgid(0, 0), body(), ::_exit(1);
  EXPECT_EQ(::waitpid(pid, &status, 0), pid);
  return ::kill(-pid, SIGKILL), status;
}

}  // namespace qm::test
