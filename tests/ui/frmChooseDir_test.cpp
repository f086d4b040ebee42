#include "ui/frmChooseDir.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>
#include <vector>

#include "common/ansi.h"
#include "common/failure.h"
#include "startup/settings.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/folder_lists.h"

namespace qm::ui {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;
using Path = QString;

// zq.ini holding `line` ("<tree>" stands for the tree), beside sigs/{alpha, Beta/inner, gamma,
// .hidden}; the chooser writes into `target`.
struct Tree {
  explicit Tree(QByteArray line = "SigLocation=<tree>") {
    for (const char* dir : {"sigs/alpha", "sigs/Beta/inner", "sigs/gamma", "sigs/.hidden"}) {
      QDir(app.path()).mkpath(QString::fromLatin1(dir));
    }
    app.write("zq.ini", "[Settings]\r\n" + line.replace("<tree>", toAnsi(tree)) + "\r\n");
    ModSig.IniPath = app.file("zq.ini");
  }
  TempAppDir app;
  const Path tree = QDir(app.path()).canonicalPath() + "/sigs";
  QLineEdit target{QStringLiteral("old")};
};

// Opens the chooser modally, as the Preferences dialog does, runs `use`, then presses Done.
void withChooser(Tree& t, const std::function<void(frmChooseDir&)>& use) {
  frmChooseDir chooser(&t.target);
  QTimer::singleShot(0, &chooser, [&] {
    EXPECT_EQ(QApplication::activeModalWidget(), &chooser);
    use(chooser);
    chooser.cmdDone->click();
    EXPECT_FALSE(chooser.isVisible());
    if (chooser.isVisible()) chooser.close();  // never hang the suite
  });
  chooser.exec();
}

QPoint at(FolderList& list, int row) {
  list.scrollToItem(list.item(row));
  return list.visualItemRect(list.item(row)).center();
}
QPoint at(FolderList& list, const Path& path) {
  for (int row = 0; row < list.count(); ++row) {
    if (list.item(row)->data(FolderList::PathRole) == path) return at(list, row);
  }
  ADD_FAILURE() << "no entry " << path.toStdString();
  return {};
}

// Press, release, double-click, release, as a mouse does; returns the entry's path.
Path doubleClick(FolderList& list, const Path& path) {
  const QPoint point = at(list, path);
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, point);
  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, point);
  QTest::mouseRelease(list.viewport(), Qt::LeftButton, {}, point);
  return path;
}

bool pathNotFoundIn(const ScriptedMsgBox& boxes, const QString& procedure) {
  return boxes.shown().size() == 1 && boxes.shown()[0].kind == MsgKind::Failure &&
         boxes.shown()[0].prompt.startsWith(QStringLiteral("Error 76: \r\nPath not found")) &&
         boxes.shown()[0].prompt.endsWith(QStringLiteral("in Quillmate: ") + procedure);
}

TEST(ChooseDirTest, OpensAtTheStoredDirectoryOrHome) {
  const std::tuple<const char*, QByteArray, QByteArray> cases[] = {
      {"stored", "SigLocation=<tree>", "<tree>"},
      {"key missing", "Write_Type=Text", "?"},
      {"empty", "SigLocation=", ""},
      {"question mark", "siglocation=?", "?"},
      {"not there", "SigLocation=<tree>/gone", "<tree>/gone"},
  };
  for (auto [name, line, sigDir] : cases) {
    Tree t(line);
    const bool stored = sigDir == "<tree>", missing = sigDir.endsWith("/gone");
    ScriptedMsgBox boxes;
    if (missing) boxes.answer({vbAbort});
    frmChooseDir chooser(&t.target);
    EXPECT_EQ(ModSig.SigDir, sigDir.replace("<tree>", toAnsi(t.tree))) << name;
    EXPECT_EQ(chooser.Dir1->path(), stored ? t.tree : QDir(QDir::homePath()).canonicalPath());
    EXPECT_EQ(boxes.shown().size(), missing ? 1u : 0u) << name;
    EXPECT_TRUE(!missing || pathNotFoundIn(boxes, "Form_Load")) << name;
    EXPECT_EQ(chooser.Drive1->drive(), QStringLiteral("/")) << name;
    EXPECT_TRUE(chooser.ChosenDir.isEmpty()) << name;
    EXPECT_EQ(chooser.objectName(), QStringLiteral("frmChooseDir"));
    EXPECT_EQ(chooser.windowTitle(), QStringLiteral("Choose Directory for Signature Files"));
  }
}

TEST(ChooseDirTest, SaveNeedsAClickInTheListAndDoneAloneSavesNothing) {
  Tree t;
  ScriptedMsgBox boxes{vbOK, vbOK};
  withChooser(t, [&](frmChooseDir& chooser) {
    chooser.cmdSave->click();
    const Path beta = t.tree + "/Beta";
    chooser.Drive1->addItem(beta, beta);  // a drive of its own: picking it is no choice
    chooser.Drive1->setCurrentIndex(chooser.Drive1->count() - 1);
    EXPECT_EQ(chooser.Dir1->path(), beta);
    chooser.cmdSave->click();
    EXPECT_TRUE(chooser.isVisible());
    QTest::mouseClick(chooser.Dir1->viewport(), Qt::LeftButton, {}, at(*chooser.Dir1, 0));
    EXPECT_EQ(chooser.ChosenDir, beta);  // recorded, but never saved
  });
  ASSERT_EQ(boxes.shown().size(), 2u);
  for (const test::ShownBox& box : boxes.shown()) {
    EXPECT_EQ(box.kind, MsgKind::Hint);
    EXPECT_EQ(box.prompt, QStringLiteral("Please Choose a Directory"));
    EXPECT_EQ(box.title, QStringLiteral("Choose Directory"));
  }
  EXPECT_EQ(t.target.text(), QStringLiteral("old"));
}

TEST(ChooseDirTest, TheClickAfterAnOpenIsSavedAsTheFoldersPath) {
  // Each case opens a folder its own way and returns the folder's expected path.
  const std::pair<const char*, std::function<Path(FolderList&, const Path&)>> cases[] = {
      {"double-click a sub-folder", [](auto& l, auto& t) { return doubleClick(l, t + "/Beta"); }},
      {"Enter on a sub-folder",
       [](FolderList& l, const Path& t) {
         l.setCurrentItem(l.findItems("gamma", Qt::MatchExactly).value(0));
         QTest::keyClick(&l, Qt::Key_Return);
         return t + "/gamma";
       }},
      {"an ancestor", [](auto& l, auto& t) { return doubleClick(l, QFileInfo(t).path()); }},
      {"the root keeps its separator", [](auto& l, auto&) { return doubleClick(l, "/"); }},
  };
  for (const auto& [name, open] : cases) {
    Tree t;
    const QByteArray ini = t.app.read("zq.ini");
    Path opened;
    withChooser(t, [&](frmChooseDir& chooser) {
      FolderList& list = *chooser.Dir1;
      opened = open(list, t.tree);
      EXPECT_EQ(list.path(), opened) << name;
      EXPECT_NE(chooser.ChosenDir, opened) << name;  // opening alone records nothing new
      // A click on the last entry records the current folder, not the entry.
      QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at(list, list.count() - 1));
      chooser.cmdSave->click();
    });
    EXPECT_EQ(t.target.text(), opened) << name;
    EXPECT_EQ(t.app.read("zq.ini"), ini) << name;
  }
}

struct KeysCase {
  const char* name;
  std::vector<int> keys;
  const char* chosen;  // below the tree
};

// A list box's click follows the selection: a keyboard user chooses as a mouse user does.
TEST(ChooseDirTest, KeysChooseAsClicksDo) {
  const KeysCase cases[] = {
      {"a move of the selection", {Qt::Key_Down}, ""},
      {"Space", {Qt::Key_Space}, ""},
      {"open by Enter, then a move", {Qt::Key_Down, Qt::Key_Return, Qt::Key_Up}, "/alpha"},
      {"a hidden folder, last", {Qt::Key_End, Qt::Key_Return, Qt::Key_Space}, "/.hidden"},
  };
  for (const KeysCase& c : cases) {
    Tree t;
    ScriptedMsgBox boxes;
    withChooser(t, [&](frmChooseDir& chooser) {
      for (const int key : c.keys) QTest::keyClick(chooser.Dir1, Qt::Key(key));
      chooser.cmdSave->click();
    });
    EXPECT_EQ(t.target.text(), t.tree + c.chosen) << c.name;
  }
}

TEST(ChooseDirTest, FailuresLeaveTheListWhereItWas) {
  const std::pair<const char*, std::function<void(frmChooseDir&, const Path&)>> cases[] = {
      {"Drive1_Change",
       [](frmChooseDir& c, const Path& tree) {
         c.Drive1->addItem(tree + "/gone", tree + "/gone");
         c.Drive1->setCurrentIndex(c.Drive1->count() - 1);
       }},
      {"Dir1_Change",
       [](frmChooseDir& c, const Path& tree) {
         QDir(tree).rmdir("gamma");  // listed, then gone
         doubleClick(*c.Dir1, tree + "/gamma");
       }},
  };
  for (const auto& [procedure, fail] : cases) {
    Tree t;
    ScriptedMsgBox boxes{vbAbort};
    withChooser(t, [&](frmChooseDir& chooser) {
      fail(chooser, t.tree);
      EXPECT_EQ(chooser.Dir1->path(), t.tree) << procedure;
    });
    EXPECT_TRUE(pathNotFoundIn(boxes, procedure)) << procedure;
  }
}

TEST(FolderListTest, AncestorsThenSortedSubFoldersHiddenOnesLast) {
  Tree t;
  FolderList list;
  list.setPath(t.tree + "/./Beta/../");
  QStringList texts{"/"}, paths{"/"};
  for (const QString& name : t.tree.split('/', Qt::SkipEmptyParts)) {
    texts << name;
    paths << (paths.size() == 1 ? "" : paths.last()) + "/" + name;
  }
  texts += {"alpha", "Beta", "gamma", ".hidden"};
  paths += {t.tree + "/alpha", t.tree + "/Beta", t.tree + "/gamma", t.tree + "/.hidden"};
  ASSERT_EQ(list.count(), texts.size());
  for (int row = 0; row < list.count(); ++row) {
    EXPECT_EQ(list.item(row)->text(), texts[row]) << row;
    EXPECT_EQ(list.item(row)->data(FolderList::PathRole).toString(), paths[row]) << row;
  }
  EXPECT_EQ(list.path(), t.tree);
  for (const Path& bad : {Path(), t.tree + "/gone", t.app.file("zq.ini")}) {
    try {
      list.setPath(bad);
      ADD_FAILURE() << bad.toStdString();
    } catch (const Failure& failure) {
      EXPECT_EQ(failure.number(), Err::PathNotFound) << bad.toStdString();
    }
    EXPECT_EQ(list.count(), texts.size());
    EXPECT_EQ(list.path(), t.tree);
  }
}

}  // namespace
}  // namespace qm::ui
