#include "support/support.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QRegularExpression>

#include "common/failure.h"
#include "platform/platform.h"
#include "startup/settings.h"

namespace qm::test {

QByteArray records(int length, std::initializer_list<QByteArray> texts) {
  QByteArray bytes;
  for (const QByteArray& text : texts) bytes += text.leftJustified(length, ' ');
  return bytes;
}

TempAppDir::TempAppDir() {
  EXPECT_TRUE(dir_.isValid());
  platform::setApplicationDir(dir_.path());
  ModSig = {};
  ModSig.IniPath = file("zq.ini");
  MsgAnswer = 0;
}

TempAppDir::~TempAppDir() {
  platform::setApplicationDir(QString());
}

QByteArray TempAppDir::read(const QString& name) const {
  QFile in(file(name));
  return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

void TempAppDir::write(const QString& name, const QByteArray& bytes) const {
  QFile out(file(name));
  ASSERT_TRUE(out.open(QIODevice::WriteOnly)) << name.toStdString();
  out.write(bytes);
}

ScriptedMsgBox::ScriptedMsgBox(std::initializer_list<int> answers) : answers_(answers) {
  previous_ =
      installMsgBox([this](MsgKind kind, const QString& prompt, const QString& title) -> int {
        shown_.push_back({kind, prompt, title});
        if (whileShown) whileShown();
        if (!answers_.empty()) {
          const int answer = answers_.front();
          answers_.pop_front();
          return answer;
        }
        ADD_FAILURE() << "Unexpected box \"" << title.toStdString()
                      << "\": " << prompt.toStdString();
        return kind == MsgKind::Failure ? vbAbort : kind == MsgKind::Question ? vbNo : vbOK;
      });
}

ScriptedMsgBox::~ScriptedMsgBox() {
  installMsgBox(previous_);
  EXPECT_TRUE(answers_.empty()) << answers_.size() << " scripted answers were not asked for";
}

void FakeWindows::loadPreferences() {
  calls << (ModSig.StartingUp ? "load while starting" : "load");
  ModSig.StartingUp = false;
}

void FakeWindows::setSliderPosition(int value) {
  if (value < 0 || value > 6) throw Failure(Err::InvalidPropertyValue);
  calls << QString("slider %1").arg(value);
  position = value;
}

void expectFailureBox(const ShownBox& box, int number, const char* description,
                      const char* procedure) {
  EXPECT_EQ(box.kind, MsgKind::Failure);
  EXPECT_EQ(box.title, QStringLiteral("Quillmate Error"));
  const QRegularExpression text(
      QStringLiteral("^Error %1: \r\n%2\r\n\t\toccurred at line [1-9]"
                     "[0-9]*\r\nin Quillmate: %3$")
          .arg(number)
          .arg(QRegularExpression::escape(description), QRegularExpression::escape(procedure)));
  EXPECT_TRUE(text.match(box.prompt).hasMatch()) << box.prompt.toStdString();
}

}  // namespace qm::test

// Widget tests run without a display; every message box is answered by a ScriptedMsgBox.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
