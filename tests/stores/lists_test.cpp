// The lists as the main window works them: browse, delete, add and edit.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

#include "startup/startup.h"
#include "stores/entry_dialog.h"
#include "support/support.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

QByteArray sigs(std::initializer_list<QByteArray> texts) {
  return records(255, texts);
}
QByteArray heads(std::initializer_list<QByteArray> texts) {
  return records(100, texts);
}

enum List { Header, Signature, Footer };
const char* const kFiles[] = {"Head.qmd", "Sig.qmd", "Foot.qmd"};

// A main window over one store; clicks go to its buttons by name.
struct Lists {
  Lists(List list, const QByteArray& store) : list(list) {
    app.write(kFiles[list], store);
    initprogram();
    window = std::make_unique<frmMain>([] {});
  }
  AnsiTextBox& box() const {
    if (list == Header) return *window->txtHeader;
    if (list == Footer) return *window->txtFooter;
    return *window->txtSig;
  }
  QByteArray store() const { return app.read(kFiles[list]); }
  void click(const char* name) { window->findChild<QPushButton*>(name)->click(); }

  List list;
  TempAppDir app;
  std::unique_ptr<frmMain> window;
};

struct ListCase {
  const char* name;
  List list;
  QByteArray before;
  QByteArray shown;
  const char* button;
  QByteArray boxAfter;
  QByteArray storeAfter;
};

TEST(ListsTest, BrowseAndDelete) {
  const QByteArray abbc = sigs({"A", "B", "B", "C"});
  const ListCase cases[] = {
      {"next from the first B", Signature, abbc, "B", "cmdNext", sigs({"B"}).left(253), abbc},
      {"previous from B", Signature, abbc, " B ", "cmdPrev", sigs({"A"}).left(253), abbc},
      {"nothing after the last", Signature, abbc, "C", "cmdNext", "C", abbc},
      {"nothing before the first", Signature, abbc, "A", "cmdPrev", "A", abbc},
      {"no match", Signature, abbc, "b", "cmdNext", "b", abbc},
      {"a header's neighbour", Header, heads({"H1", "H2", "H3"}), "H2", "cmdNextH", heads({"H3"}),
       heads({"H1", "H2", "H3"})},
      {"delete shows the first signature", Signature, sigs({"A", "B", "C"}), "A", "cmdDeleteSig",
       sigs({"B"}).left(253), sigs({"B", "C"})},
      {"delete every copy", Signature, abbc, "B ", "cmdDeleteSig", sigs({"A"}).left(253),
       sigs({"A", "C"})},
      {"delete shows the last header trimmed", Header, heads({"A", " B ", "C"}), "C",
       "cmdDeleteHeader", "B", heads({"A", " B "})},
      {"delete without a match", Footer, heads({"A"}), "X", "cmdDeleteFooter", "A", heads({"A"})},
      {"delete the only one", Footer, heads({"A"}), "A", "cmdDeleteFooter", "", ""},
      {"delete all of several", Signature, sigs({"B", "B"}), "B", "cmdDeleteSig", "B", ""},
  };
  for (const ListCase& c : cases) {
    Lists lists(c.list, c.before);
    lists.box().setAnsiText(c.shown);
    lists.click(c.button);
    EXPECT_EQ(lists.box().ansiText(), c.boxAfter) << c.name;
    EXPECT_EQ(lists.store(), c.storeAfter) << c.name;
  }
}

TEST(ListsTest, AnAbandonedDeleteAndTooManyRecordsChangeNothing) {
  Lists lists(Signature, sigs({"A", "B", "C"}));
  lists.box().setAnsiText("B");
  platform::setFileHookForTest([](platform::FileCall call, const QString& path, qint64, qint64) {
    return call == platform::FileCall::Write && !path.endsWith("/Sig.qmd") ? ENOSPC : 0;
  });
  ScriptedMsgBox boxes{vbAbort, vbAbort};
  lists.click("cmdDeleteSig");
  platform::setFileHookForTest({});
  EXPECT_EQ(lists.store(), sigs({"A", "B", "C"}));
  EXPECT_EQ(lists.box().ansiText(), "B");  // Delete again tries the same entry
  lists.app.write("Sig.qmd", QByteArray(qsizetype{32768} * 255, ' '));
  lists.click("cmdNext");
  test::expectFailureBox(boxes.shown().at(1), 6, "Overflow", "cmdNext_Click");
}

// Runs `use` on the signature editor once "Edit Sig" has opened it.
void editWith(Lists& lists, const std::function<void(frmEntry&)>& use) {
  QTimer::singleShot(0, [&] {
    auto* editor = qobject_cast<frmEntry*>(QApplication::activeModalWidget());
    ASSERT_NE(editor, nullptr);
    use(*editor);
    if (editor->isVisible()) editor->close();
  });
  lists.click("cmdEditSig");
}

void type(frmEntry& dialog, const QByteArray& keys) {
  dynamic_cast<AnsiTextBox&>(*dialog.textBox).setAnsiText({});
  for (const char key : keys) {
    if (key == '\n')
      QTest::keyClick(dialog.textBox, Qt::Key_Return);
    else
      QTest::keyClicks(dialog.textBox, QString(QLatin1Char(key)));
  }
}

struct EditCase {
  const char* name;
  QByteArray store;
  const char* shown;
  std::function<void(frmEntry&)> use;
  QByteArray storeAfter;
};

TEST(ListsTest, EditingASignature) {
  Lists* current = nullptr;
  const auto save = [](frmEntry& editor) {
    type(editor, "X\ny");
    editor.cmdSave->click();
    EXPECT_FALSE(editor.cmdSave->isEnabled());
    editor.cmdCancel->click();
  };
  const auto cancel = [](frmEntry& editor) { editor.cmdCancel->click(); };
  const EditCase cases[] = {
      {"save", sigs({"A", "B", "C"}), "B", save, sigs({"A", "C", "X\r\ny"})},
      {"cancel leaves it last", sigs({"A", "B", "C"}), "B", cancel, sigs({"A", "C", "B"})},
      {"the frame is cancel", sigs({"A", "B", "C"}), "B", [](frmEntry& e) { e.close(); },
       sigs({"A", "C", "B"})},
      {"both copies out, one back", sigs({"B", "A", "B"}), "B", cancel, sigs({"A", "B"})},
      {"the only one, saved", sigs({"B"}), "B",
       [&](frmEntry& editor) {
         EXPECT_EQ(current->box().ansiText(), "");  // out of the list while edited
         EXPECT_EQ(editor.ansiText(), "B");
         save(editor);
       },
       sigs({"X\r\ny"})},
      {"typed text is added on save", sigs({"A", "C"}), "T", save, sigs({"A", "C", "X\r\ny"})},
      {"typed text: cancel adds nothing", sigs({"A", "C"}), "T", cancel, sigs({"A", "C"})},
      {"the text, trimmed; empty refused", sigs({"A", "  Two  "}), "Two",
       [](frmEntry& editor) {
         EXPECT_EQ(editor.ansiText(), "Two");
         ScriptedMsgBox boxes{vbOK};
         type(editor, "");
         editor.cmdSave->click();
         EXPECT_EQ(boxes.shown().at(0).prompt, "You must enter a signature");
         EXPECT_EQ(boxes.shown().at(0).title, "Enter Signature");
         EXPECT_TRUE(editor.cmdSave->isEnabled());
       },
       sigs({"A", "Two"})},
  };
  for (const EditCase& c : cases) {
    Lists lists(Signature, c.store);
    current = &lists;
    lists.box().setAnsiText(c.shown);
    editWith(lists, c.use);
    EXPECT_EQ(lists.store(), c.storeAfter) << c.name;
  }
}

struct AddCase {
  const char* name;
  const EntryDialogKind& kind;
  QByteArray before;
  std::vector<QByteArray> keys;  // one save each; Yes to "add another" but after the last
  QByteArray after;
};

TEST(ListsTest, AddDialogsStoreWhatWasTypedWithinTheLimit) {
  const QByteArray x250(250, 'x');
  const AddCase cases[] = {
      {"one after another",
       kAddSignature,
       "",
       {"first", " second\n"},
       sigs({"first", " second\r\n"})},
      {"spaces only", kAddHeader, "", {"   "}, heads({""})},
      {"a full header", kAddHeader, "", {QByteArray(99, 'h') + "HZ"}, QByteArray(99, 'h') + "H"},
      {"a footer", kAddFooter, heads({"F"}) + "rest", {"G"}, heads({"F", "G"})},
      {"a line break counts two", kAddSignature, "", {x250 + "\nab"}, sigs({x250 + "\r\na"})},
      {"no room for a line break", kAddSignature, "", {x250 + "yz\n"}, sigs({x250 + "yz"})},
  };
  for (const AddCase& c : cases) {
    TempAppDir app;
    const QString file = QString::fromLatin1(c.kind.store->fileName);
    if (!c.before.isEmpty()) app.write(file, c.before);
    frmEntry dialog(c.kind, nullptr);
    dialog.show();
    ScriptedMsgBox boxes;
    for (const QByteArray& keys : c.keys) {
      boxes.answer({&keys == &c.keys.back() ? vbNo : vbYes});
      type(dialog, keys);
      dialog.cmdSave->click();
      EXPECT_EQ(boxes.shown().back().prompt, "Do you wish to add another?") << c.name;
    }
    EXPECT_EQ(app.read(file), c.after) << c.name;
    EXPECT_EQ(dialog.result(), QDialog::Accepted) << c.name;
  }
}

TEST(ListsTest, AddDialogsEndWithoutWritingAndGiveTheFocusBack) {
  const std::function<void(frmEntry&)> closings[] = {
      [](frmEntry& d) { d.cmdCancel->click(); },
      [](frmEntry& d) { QTest::keyClick(&d, Qt::Key_Escape); },
      [](frmEntry& d) { d.close(); },
  };
  for (const auto& close : closings) {
    TempAppDir app;
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
    EXPECT_EQ(main.focusWidget(), opener);
  }
}

}  // namespace
}  // namespace qm::ui
