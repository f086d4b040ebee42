#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "platform/files.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "stores/frmEditSig.h"
#include "stores/text_store.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/forms.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {
namespace {

using test::records;
using test::ScriptedMsgBox;
using test::TempAppDir;

QByteArray sigs(std::initializer_list<const char*> texts) {
  return records(texts, 255);
}
QByteArray heads(std::initializer_list<const char*> texts) {
  return records(texts, 100);
}

// A main window over the given stores; clicks go to its buttons by name.
struct Lists {
  Lists(const QByteArray& sig, const QByteArray& head = {}) {
    app.write("Sig.qmd", sig);
    app.write("Head.qmd", head);
    initprogram();
    window = std::make_unique<frmMain>([] {});
  }
  void click(const char* name) {
    window->findChild<QPushButton*>(QString::fromLatin1(name))->click();
  }
  TempAppDir app;
  std::unique_ptr<frmMain> window;
};

struct BrowseCase {
  const char* name;
  QByteArray store;
  const char* shown;
  const char* button;
  QByteArray after;  // what the box holds afterwards
};

TEST(ListsTest, Browsing) {
  const QByteArray abbc = sigs({"A", "B", "B", "C"});
  const BrowseCase cases[] = {
      {"next from the first B shows the second", abbc, "B", "cmdNext", sigs({"B"}).left(253)},
      {"previous from B shows A", abbc, " B ", "cmdPrev", sigs({"A"}).left(253)},
      {"no next after the last", abbc, "C", "cmdNext", "C"},
      {"no previous before the first", abbc, "A", "cmdPrev", "A"},
      {"no match", abbc, "D", "cmdNext", "D"},
      {"letter case matters", abbc, "b", "cmdNext", "b"},
      {"one record changes nothing", sigs({"A"}), "X", "cmdNext", "X"},
      // A lone LF written by another program is no obstacle.
      {"past a record with a lone LF", sigs({"A", "B\nb", "C"}), "B\nb", "cmdNext",
       sigs({"C"}).left(253)},
      {"empty store", {}, "X", "cmdPrev", "X"},
  };
  for (const BrowseCase& c : cases) {
    Lists lists(c.store);
    lists.window->txtSig->setAnsiText(c.shown);
    lists.click(c.button);
    EXPECT_EQ(lists.window->txtSig->ansiText(), c.after) << c.name;
    EXPECT_EQ(lists.app.read("Sig.qmd"), c.store) << c.name;
  }
}

TEST(ListsTest, HeadersBrowseToTheirNeighbours) {
  Lists lists({}, heads({"H1", "H2", "H3"}));
  lists.click("cmdPrevH");
  EXPECT_EQ(lists.window->txtHeader->ansiText(), heads({"H2"}));
  lists.click("cmdNextH");
  EXPECT_EQ(lists.window->txtHeader->ansiText(), heads({"H3"}));
}

struct DeleteCase {
  const char* name;
  QByteArray store;
  const char* shown;
  QByteArray storeAfter;
  QByteArray boxAfter;
};

TEST(ListsTest, DeletingSignatures) {
  const DeleteCase cases[] = {
      {"the shown one goes, the first shows", sigs({"A", "B", "C"}), "B", sigs({"A", "C"}),
       sigs({"A"}).left(253)},
      {"every copy goes", sigs({"A", "B", "B", "C"}), " B  ", sigs({"A", "C"}),
       sigs({"A"}).left(253)},
      {"no match keeps the store", sigs({"A", "C"}), "c", sigs({"A", "C"}), sigs({"A"}).left(253)},
      {"one matching record", sigs({"A"}), "A", {}, {}},
      {"one other record stays", sigs({"A"}), "X", sigs({"A"}), sigs({"A"}).left(253)},
      {"all match: the text stays", sigs({"B", "B"}), "B", {}, "B"},
      {"empty store empties the box", {}, "X", {}, {}},
      {"a record with a lone CR", sigs({"A", "B\rb", "C"}), "B\rb", sigs({"A", "C"}),
       sigs({"A"}).left(253)},
  };
  for (const DeleteCase& c : cases) {
    Lists lists(c.store);
    lists.window->txtSig->setAnsiText(c.shown);
    ScriptedMsgBox boxes;
    lists.click("cmdDeleteSig");
    EXPECT_EQ(lists.app.read("Sig.qmd"), c.storeAfter) << c.name;
    EXPECT_EQ(lists.window->txtSig->ansiText(), c.boxAfter) << c.name;
  }
}

TEST(ListsTest, DeletingAHeaderShowsTheLastOneTrimmed) {
  Lists lists({}, heads({"A", "B", "C"}));
  lists.window->txtHeader->setAnsiText("A");
  lists.click("cmdDeleteHeader");
  EXPECT_EQ(lists.app.read("Head.qmd"), heads({"B", "C"}));
  EXPECT_EQ(lists.window->txtHeader->ansiText(), "C");
}

TEST(ListsTest, AFailedRebuildLeavesTheStoreIntact) {
  const QByteArray store = sigs({"A", "B", "C", "D"});
  Lists lists(store);
  lists.window->txtSig->setAnsiText("B");
  platform::setFileHookForTest([](platform::FileCall call, const QString& path, qint64, qint64) {
    return call == platform::FileCall::Write && path.endsWith("/Tmp.qmd") ? ENOSPC : 0;
  });
  ScriptedMsgBox boxes{vbAbort};
  lists.click("cmdDeleteSig");
  platform::setFileHookForTest({});
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: MoveSig")));
  EXPECT_EQ(lists.app.read("Sig.qmd"), store);
  EXPECT_EQ(lists.window->txtSig->ansiText(), "B");  // Delete again tries the same entry
}

TEST(ListsTest, MoreThan32767RecordsOverflow) {
  Lists lists({});
  QByteArray big(qsizetype{32768} * 255, ' ');
  lists.app.write("Sig.qmd", big);
  for (const char* button : {"cmdNext", "cmdDeleteSig"}) {
    ScriptedMsgBox boxes{vbAbort};
    lists.click(button);
    ASSERT_EQ(boxes.shown().size(), 1u) << button;
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(QStringLiteral("Error 6: \r\nOverflow")));
    EXPECT_TRUE(boxes.shown()[0].prompt.endsWith(QLatin1String(button) + "_Click"));
  }
  EXPECT_EQ(lists.app.read("Sig.qmd").size(), big.size());
}

// Runs `use` on the signature editor once "Edit Sig" has opened it.
void editWith(Lists& lists, std::function<void(frmEditSig&)> use) {
  QTimer::singleShot(0, [&] {
    auto* editor = qobject_cast<frmEditSig*>(QApplication::activeModalWidget());
    ASSERT_NE(editor, nullptr);
    use(*editor);
    if (editor->isVisible()) editor->close();
  });
  lists.click("cmdEditSig");
}

struct EditCase {
  const char* name;
  QByteArray store;
  const char* shown;
  std::function<void(frmEditSig&)> use;
  QByteArray storeAfter;
};

TEST(ListsTest, EditingASignature) {
  const auto saveX = [](frmEditSig& editor) {
    editor.txtEditSig->setAnsiText("X");
    editor.cmdSave->click();
    EXPECT_EQ(withoutMnemonic(editor.cmdCancel->text()), QStringLiteral("Done"));
    EXPECT_FALSE(editor.cmdSave->isEnabled());
    editor.cmdCancel->click();
  };
  const auto cancel = [](frmEditSig& editor) { editor.cmdCancel->click(); };
  const auto closeFrame = [](frmEditSig& editor) { editor.close(); };
  const EditCase cases[] = {
      {"save", sigs({"A", "B", "C"}), "B", saveX, sigs({"A", "C", "X"})},
      {"cancel puts it back last", sigs({"A", "B", "C"}), "B", cancel, sigs({"A", "C", "B"})},
      {"closing the window is cancel", sigs({"A", "B", "C"}), "B", closeFrame,
       sigs({"A", "C", "B"})},
      {"both copies out, one back", sigs({"B", "A", "B"}), "B", cancel, sigs({"A", "B"})},
      {"the only signature, saved", sigs({"B"}), "B",
       [&](frmEditSig& editor) {
         // Taken out of the list, it leaves the main window's box empty.
         EXPECT_EQ(qobject_cast<frmMain*>(editor.parentWidget())->txtSig->ansiText(), "");
         saveX(editor);
       },
       sigs({"X"})},
      {"the only signature, cancelled", sigs({"B"}), "B", cancel, sigs({"B"})},
      {"typed text: save adds it", sigs({"A", "C"}), "T", saveX, sigs({"A", "C", "X"})},
      {"typed text: cancel adds nothing", sigs({"A", "C"}), "T", cancel, sigs({"A", "C"})},
      {"empty store: cancel adds no blank record", {}, "", cancel, {}},
  };
  for (const EditCase& c : cases) {
    Lists lists(c.store);
    lists.window->txtSig->setAnsiText(c.shown);
    editWith(lists, c.use);
    EXPECT_EQ(lists.app.read("Sig.qmd"), c.storeAfter) << c.name;
  }
}

TEST(ListsTest, TheEditorShowsTheSignatureTrimmedAndRefusesAnEmptyOne) {
  Lists lists(sigs({"A", "  Two words  ", "C"}));
  lists.window->txtSig->setAnsiText("Two words");
  ScriptedMsgBox boxes{vbOK};
  editWith(lists, [](frmEditSig& editor) {
    EXPECT_EQ(editor.windowTitle(), QStringLiteral("Edit Sig"));
    EXPECT_EQ(editor.txtEditSig->ansiText(), "Two words");
    editor.txtEditSig->setAnsiText({});
    editor.cmdSave->click();
    EXPECT_TRUE(editor.cmdSave->isEnabled());
    editor.cmdCancel->click();
  });
  ASSERT_EQ(boxes.shown().size(), 1u);
  EXPECT_EQ(boxes.shown()[0].kind, MsgKind::Refusal);
  EXPECT_EQ(boxes.shown()[0].prompt, QStringLiteral("You must enter a signature"));
  EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Enter Signature"));
  EXPECT_EQ(lists.app.read("Sig.qmd"), sigs({"A", "C", "Two words"}));  // as it was shown
  EXPECT_EQ(lists.window->txtSig->ansiText(), sigs({"A"}).left(253));
}

TEST(ListsTest, CreateButtonsOpenTheirAddDialog) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"cmdNewHead", "frmNewHead", "Add New Header"},
      {"cmdNewSig", "frmNewSignature", "Add New Signature"},
      {"cmdNewFoot", "frmNewFooter", "Add New Footer"},
  };
  for (const auto& [button, form, caption] : cases) {
    Lists lists(sigs({"A"}));
    QString seenForm, seenCaption;
    QTimer::singleShot(0, [&] {
      QWidget* dialog = QApplication::activeModalWidget();
      ASSERT_NE(dialog, nullptr);
      seenForm = dialog->objectName();
      seenCaption = dialog->windowTitle();
      dialog->close();
    });
    lists.click(button);
    EXPECT_EQ(seenForm, QLatin1String(form));
    EXPECT_EQ(seenCaption, QLatin1String(caption));
    EXPECT_EQ(lists.window->txtSig->ansiText(), sigs({"A"}).left(253));  // not refreshed
  }
}

}  // namespace
}  // namespace qm::ui
