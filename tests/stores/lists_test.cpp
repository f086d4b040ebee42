// The lists as the main window works them: browse, delete, add and edit.
#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "startup/startup.h"
#include "stores/entry_dialog.h"
#include "support/support.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;

QByteArray sigs(std::initializer_list<QByteArray> texts) {
  return records(255, texts);
}
QByteArray heads(std::initializer_list<QByteArray> texts) {
  return records(100, texts);
}

// A main window over one store (Head.qmd, Sig.qmd or Foot.qmd) and the box that shows it.
struct Lists {
  Lists(const char* file, const QByteArray& store) : file(file) {
    app.write(file, store);
    initprogram();
    window = std::make_unique<frmMain>([] {});
  }
  AnsiTextBox& box() const {
    if (file[0] == 'H') return *window->txtHeader;
    return file[0] == 'F' ? static_cast<AnsiTextBox&>(*window->txtFooter) : *window->txtSig;
  }
  QByteArray store() const { return app.read(file); }
  void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }
  const char* file;
  test::TempAppDir app;
  std::unique_ptr<frmMain> window;
};

TEST(ListsTest, BrowseAndDelete) {
  const QByteArray abbc = sigs({"A", "B", "B", "C"}), abc = heads({"A", " B ", "C"});
  const std::tuple<const char*, QByteArray, QByteArray, const char*, QByteArray, QByteArray>
      cases[] = {
          // store, before, shown, button, box after, store after
          {"Sig.qmd", abbc, "B", "cmdNext", sigs({"B"}).left(253), abbc},
          {"Sig.qmd", abbc, " B ", "cmdPrev", sigs({"A"}).left(253), abbc},
          {"Sig.qmd", abbc, "C", "cmdNext", "C", abbc},
          {"Sig.qmd", abbc, "A", "cmdPrev", "A", abbc},
          {"Sig.qmd", abbc, "b", "cmdNext", "b", abbc},
          {"Head.qmd", abc, "B", "cmdNextH", heads({"C"}), abc},
          {"Sig.qmd", sigs({"A", "B", "C"}), "A", "cmdDeleteSig", sigs({"B"}).left(253),
           sigs({"B", "C"})},
          {"Sig.qmd", abbc, "B ", "cmdDeleteSig", sigs({"A"}).left(253), sigs({"A", "C"})},
          {"Head.qmd", abc, "C", "cmdDeleteHeader", "B", heads({"A", " B "})},
          {"Foot.qmd", heads({"A"}), "X", "cmdDeleteFooter", "A", heads({"A"})},
          {"Foot.qmd", heads({"A"}), "A", "cmdDeleteFooter", "", ""},
          {"Sig.qmd", sigs({"B", "B"}), "B", "cmdDeleteSig", "B", ""},  // the text stays
      };
  for (const auto& [file, before, shown, button, boxAfter, storeAfter] : cases) {
    Lists lists(file, before);
    lists.box().setAnsiText(shown);
    lists.click(button);
    EXPECT_EQ(lists.box().ansiText(), boxAfter) << button << " on " << shown.data();
    EXPECT_EQ(lists.store(), storeAfter) << button << " on " << shown.data();
  }
}

TEST(ListsTest, AnAbandonedDeleteAndTooManyRecordsChangeNothing) {
  Lists lists("Sig.qmd", sigs({"A", "B", "C"}));
  lists.box().setAnsiText("B");
  platform::setFileHookForTest([](platform::FileCall call, const QString& path, qint64, qint64) {
    return call == platform::FileCall::Write && !path.endsWith("/Sig.qmd") ? ENOSPC : 0;
  });
  test::ScriptedMsgBox boxes{vbAbort, vbAbort};
  lists.click("cmdDeleteSig");
  platform::setFileHookForTest({});
  EXPECT_EQ(lists.store(), sigs({"A", "B", "C"}));
  EXPECT_EQ(lists.box().ansiText(), "B");  // Delete again tries the same entry
  lists.app.write("Sig.qmd", QByteArray(qsizetype{32768} * 255, ' '));
  lists.click("cmdNext");
  test::expectFailureBox(boxes.shown.at(1), 6, "Overflow", "cmdNext_Click");
}

void type(frmEntry& dialog, const QByteArray& keys) {
  dynamic_cast<AnsiTextBox&>(*dialog.textBox).setAnsiText({});
  for (const char key : keys) {
    if (key == '\n') QTest::keyClick(dialog.textBox, Qt::Key_Return);
    if (key != '\n') QTest::keyClicks(dialog.textBox, QString(QLatin1Char(key)));
  }
}

// What the user does in the editor that "Edit Sig" opens: Save "X", then the text given to
// Save instead, or nothing for Cancel, or "frame" for closing the window; "lost" is saved after
// the held signature left the file by other hands.
TEST(ListsTest, EditingASignature) {
  const std::tuple<QByteArray, const char*, const char*, QByteArray> cases[] = {
      {sigs({"A", "B", "C"}), "B", "X\ny", sigs({"A", "C", "X\r\ny"})},
      {sigs({"A", "B", "C"}), "B", nullptr, sigs({"A", "C", "B"})},
      {sigs({"A", "B", "C"}), "B", "frame", sigs({"A", "C", "B"})},
      {sigs({"B", "A", "B"}), "B", nullptr, sigs({"A", "B"})},
      {sigs({"B"}), "B", "X", sigs({"X"})},
      {sigs({"A", "C"}), "T", "X", sigs({"A", "C", "X"})},
      {sigs({"A", "C"}), "T", nullptr, sigs({"A", "C"})},
      {sigs({"A", "B", "C"}), "B", "lost", sigs({"A", "C", "lost"})},
      {sigs({"A", "  Two  "}), "Two", "", sigs({"A", "Two"})},  // refused, then cancelled
  };
  for (const auto& [before, shown, typed, after] : cases) {
    Lists lists("Sig.qmd", before);
    lists.box().setAnsiText(shown);
    QTimer::singleShot(0, [&, shown = shown, typed = typed] {
      auto& editor = *qobject_cast<frmEntry*>(QApplication::activeModalWidget());
      EXPECT_EQ(editor.ansiText(), QByteArray(shown).trimmed());
      EXPECT_TRUE(before.size() > 255 || lists.box().ansiText().isEmpty());  // out of the list
      if (typed && QByteArray(typed) != "frame") {
        test::ScriptedMsgBox boxes;
        if (!*typed) boxes.answers = {vbOK};
        type(editor, typed);
        if (QByteArray(typed) == "lost") lists.app.write("Sig.qmd", sigs({"A", "C"}));
        editor.cmdSave->click();
        EXPECT_EQ(editor.cmdSave->isEnabled(), !*typed);
        EXPECT_TRUE(*typed || boxes.shown.at(0).prompt == "You must enter a signature");
      }
      if (typed && QByteArray(typed) == "frame") editor.close();
      editor.cmdCancel->click();
    });
    lists.click("cmdEditSig");
    EXPECT_EQ(lists.store(), after) << shown << " " << (typed ? typed : "cancel");
  }
}

// Each row saves its texts one after another: Yes to "add another" but after the last.
TEST(ListsTest, AddDialogsStoreWhatWasTypedWithinTheLimit) {
  const QByteArray x250(250, 'x');
  const std::tuple<const EntryDialogKind&, QByteArray, std::vector<QByteArray>, QByteArray>
      cases[] = {
          {kAddSignature, "", {"first", " second\n"}, sigs({"first", " second\r\n"})},
          {kAddHeader, "", {"   "}, heads({""})},
          {kAddHeader, "", {QByteArray(99, 'h') + "HZ"}, QByteArray(99, 'h') + "H"},
          {kAddFooter, heads({"F"}) + "rest", {"G"}, heads({"F", "G"})},
          {kAddSignature, "", {x250 + "\nab"}, sigs({x250 + "\r\na"})},
          {kAddSignature, "", {x250 + "yz\n"}, sigs({x250 + "yz"})},
      };
  for (const auto& [kind, before, saves, after] : cases) {
    test::TempAppDir app;
    if (!before.isEmpty()) app.write(kind.store->fileName, before);
    frmEntry dialog(kind, nullptr);
    dialog.show();
    test::ScriptedMsgBox boxes;
    for (const QByteArray& keys : saves) {
      boxes.answers.push_back(&keys == &saves.back() ? vbNo : vbYes);
      type(dialog, keys);
      EXPECT_LE(dialog.ansiText().size(), kind.multiLine ? 253 : 100);  // the box's own limit
      dialog.cmdSave->click();
      EXPECT_EQ(boxes.shown.back().prompt, "Do you wish to add another?");
    }
    EXPECT_EQ(app.read(kind.store->fileName), after);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
  }
  using Close = std::function<void(frmEntry&)>;
  for (const Close& close : {Close([](frmEntry& d) { d.cmdCancel->click(); }),
                             Close([](frmEntry& d) { QTest::keyClick(&d, Qt::Key_Escape); }),
                             Close([](frmEntry& d) { d.close(); })}) {
    test::TempAppDir app;
    QWidget main;
    auto* opener = new QPushButton(&main);
    (new QPushButton(&main))->setFocus();
    main.show();
    frmEntry dialog(kAddFooter, opener, false, &main);
    dialog.show();
    type(dialog, "typed");
    close(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(app.read("Foot.qmd"), "");
    EXPECT_EQ(main.focusWidget(), opener);  // the focus goes back to the button that opened it
  }
}

}  // namespace
}  // namespace qm::ui
