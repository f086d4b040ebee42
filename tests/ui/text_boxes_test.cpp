#include "ui/text_boxes.h"

#include <gtest/gtest.h>

#include <QTest>

namespace qm::ui {
namespace {

TEST(TextBoxesTest, SetTextIsCutToTheLimit) {
  struct Case {
    const char* name;
    QByteArray text;
    QByteArray shown;
  };
  const QByteArray record = "Zo\xeb" + QByteArray(252, ' ');  // 255 bytes, as stored
  const Case cases[] = {
      {"a stored signature keeps its first 253", record, record.left(253)},
      {"line breaks count twice", QByteArray(250, 'x') + "\r\nab", QByteArray(250, 'x') + "\r\na"},
      {"a cut never splits a line break", QByteArray(252, 'x') + "\r\n", QByteArray(252, 'x')},
      {"short text is kept", "a\r\n\r\nb", "a\r\n\r\nb"},
  };
  MultiLineBox box(253);
  for (const Case& c : cases) {
    box.setAnsiText(c.text);
    EXPECT_EQ(box.ansiText(), c.shown) << c.name;
  }
  LineBox line(100);
  line.setAnsiText(QByteArray(150, 'h'));
  EXPECT_EQ(line.ansiText(), QByteArray(100, 'h'));
  EXPECT_EQ(line.cursorPosition(), 0);  // a padded record shows its text, not its spaces
}

TEST(TextBoxesTest, TypingStopsAtTheLimit) {
  MultiLineBox box(10);
  QTest::keyClicks(&box, "abcd");
  QTest::keyClick(&box, Qt::Key_Return);
  QTest::keyClicks(&box, "efghijk");
  EXPECT_EQ(box.ansiText(), QByteArray("abcd\r\nefgh"));
  QTest::keyClick(&box, Qt::Key_Return);  // would make 12
  EXPECT_EQ(box.ansiText(), QByteArray("abcd\r\nefgh"));

  LineBox line(5);
  QTest::keyClicks(&line, "abcdefg");
  EXPECT_EQ(line.ansiText(), QByteArray("abcde"));
}

TEST(TextBoxesTest, TypingInTheMiddleOfAFullBoxKeepsItsEnd) {
  MultiLineBox box(6);
  box.setAnsiText("abcdef");
  QTextCursor cursor = box.textCursor();
  cursor.setPosition(2);
  box.setTextCursor(cursor);
  QTest::keyClicks(&box, "XY");
  EXPECT_EQ(box.ansiText(), QByteArray("abcdef"));
}

TEST(TextBoxesTest, BytesSurviveTheBox) {
  const QByteArray text = "caf\xe9\xa0\x80 \x93q\x94\r\n\tend ";
  MultiLineBox box(253);
  box.setAnsiText(text);
  EXPECT_EQ(box.ansiText(), text);
  LineBox line(100);
  line.setAnsiText("  x\r\ny  ");
  EXPECT_EQ(line.ansiText(), QByteArray("  x\r\ny  "));
}

// A lone CR or LF of a record (written by hand or by another program) shows as a line break
// and comes back as it was; a line break the user makes is CR LF and counts two.
TEST(TextBoxesTest, LoneLineEndsOfARecordStayAndTheUsersAreCrLf) {
  const QByteArray stored = "a\nb\rc\r\nd";
  MultiLineBox box(12);
  box.setAnsiText(stored);
  EXPECT_EQ(box.toPlainText().count(u'\n'), 3);  // four lines
  EXPECT_EQ(box.ansiText(), stored);
  box.moveCursor(QTextCursor::End);
  QTest::keyClick(&box, Qt::Key_Return);
  QTest::keyClicks(&box, "efg");
  EXPECT_EQ(box.ansiText(), stored + "\r\nef");

  LineBox line(8);
  line.setAnsiText("a\nb\rc");
  EXPECT_EQ(line.ansiText(), QByteArray("a\nb\rc"));
  line.setAnsiText("ab");
  line.end(false);
  line.insert(QStringLiteral("x\ny\r\nz\rw"));  // as a paste does
  EXPECT_EQ(line.ansiText(), QByteArray("abx\r\ny\r\n"));
}

}  // namespace
}  // namespace qm::ui
