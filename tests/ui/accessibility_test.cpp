// What keyboard users and assistive technology get from every window: names, descriptions,
// labels, tab order, mnemonics, and captions that are never cut off.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "startup/settings.h"
#include "startup/startup.h"
#include "stores/add_dialog.h"
#include "stores/frmEditSig.h"
#include "support/temp_app_dir.h"
#include "ui/forms.h"
#include "ui/frmChooseDir.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"

namespace qm::ui {
namespace {

using test::TempAppDir;

// One window of the program in an application directory of its own, first-run settings.
struct OpenWindow {
  TempAppDir app;
  QLineEdit chooserTarget;
  std::unique_ptr<QWidget> window;

  template <typename T>
  T* find(const char* object) const {
    auto* widget = window->findChild<T*>(QString::fromLatin1(object));
    EXPECT_NE(widget, nullptr) << object;
    return widget;
  }
};

enum class Win {
  Main,
  Preferences,
  Chooser,
  AddHeader,
  AddSignature,
  AddFooter,
  EditSig,
  EditSigSaved,
};

const char* nameOf(Win kind) {
  switch (kind) {
    case Win::Main:
      return "main window";
    case Win::Preferences:
      return "Preferences";
    case Win::Chooser:
      return "folder chooser";
    case Win::AddHeader:
      return "add header";
    case Win::AddSignature:
      return "add signature";
    case Win::AddFooter:
      return "add footer";
    case Win::EditSig:
      return "Edit Sig";
    case Win::EditSigSaved:
      return "Edit Sig after Save";
  }
  return "?";
}

const Win kEveryWindow[] = {Win::Main,         Win::Preferences, Win::Chooser, Win::AddHeader,
                            Win::AddSignature, Win::AddFooter,   Win::EditSig, Win::EditSigSaved};

std::unique_ptr<OpenWindow> open(Win kind) {
  auto open = std::make_unique<OpenWindow>();
  initprogram();
  switch (kind) {
    case Win::Main:
      open->window = std::make_unique<frmMain>([] {});
      break;
    case Win::Preferences:
      open->window = std::make_unique<frmPreferences>();
      break;
    case Win::Chooser:
      open->window = std::make_unique<frmChooseDir>(&open->chooserTarget);
      break;
    case Win::AddHeader:
      open->window = std::make_unique<frmNewEntry>(kAddHeader, nullptr);
      break;
    case Win::AddSignature:
      open->window = std::make_unique<frmNewEntry>(kAddSignature, nullptr);
      break;
    case Win::AddFooter:
      open->window = std::make_unique<frmNewEntry>(kAddFooter, nullptr);
      break;
    case Win::EditSig:
    case Win::EditSigSaved: {
      EditSigText = QByteArray("Kind regards").leftJustified(255, ' ');
      auto editor = std::make_unique<frmEditSig>(true);
      if (kind == Win::EditSigSaved) editor->cmdSave->click();
      open->window = std::move(editor);
      break;
    }
  }
  open->window->show();
  return open;
}

QAccessibleInterface* face(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

// What a screen reader gets, as a text that failures print readably.
std::string said(QObject* object, QAccessible::Text what) {
  return face(object)->text(what).toStdString();
}

std::vector<std::string> texts(const QStringList& list) {
  std::vector<std::string> out;
  for (const QString& text : list) out.push_back(text.toStdString());
  return out;
}

// What Tab can reach, as Qt's own focus step sees it.
bool takesTab(QWidget* widget, QWidget* window) {
  return (widget->focusPolicy() & Qt::TabFocus) && widget->focusProxy() == nullptr &&
         widget->isVisibleTo(window) && widget->isEnabled();
}

std::vector<QWidget*> focusable(QWidget* window) {
  std::vector<QWidget*> found;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (takesTab(widget, window)) found.push_back(widget);
  }
  return found;
}

TEST(AccessibilityTest, EveryFocusableControlHasANameAndADescriptionOfItsOwn) {
  for (Win kind : kEveryWindow) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    EXPECT_FALSE(open->window->accessibleDescription().isEmpty());
    const auto controls = focusable(open->window.get());
    EXPECT_GE(controls.size(), 2u);
    std::set<QString> names, descriptions;
    for (QWidget* control : controls) {
      const QString object = control->objectName();
      const QString name = face(control)->text(QAccessible::Name);
      const QString description = face(control)->text(QAccessible::Description);
      EXPECT_FALSE(object.isEmpty());
      EXPECT_FALSE(name.isEmpty()) << object.toStdString();
      // Set on purpose, not a tool tip standing in for it.
      EXPECT_EQ(description, control->accessibleDescription()) << object.toStdString();
      EXPECT_FALSE(description.isEmpty()) << object.toStdString();
      EXPECT_TRUE(names.insert(name).second) << object.toStdString() << " " << name.toStdString();
      EXPECT_TRUE(descriptions.insert(description).second)
          << object.toStdString() << " " << description.toStdString();
    }
  }
}

TEST(AccessibilityTest, EveryBoxIsLabelledByItsLabel) {
  const std::tuple<Win, const char*, const char*, const char*, const char*> boxes[] = {
      {Win::Main, "txtHeader", "lblHead", "Header", "Current header"},
      {Win::Main, "txtSig", "Label2", "Signature", "Current signature"},
      {Win::Main, "txtFooter", "Label3", "Footer", "Current footer"},
      {Win::Preferences, "cboProgramName", "Label3", "Mail Program",
       "Mail program, which decides the kind of file"},
      {Win::Preferences, "txtsiglocation", "Label1", "Location of Signature File",
       "Folder the signature files are written to"},
      {Win::Preferences, "Slider1", "Label2", "Random Interval", "Time between two switches"},
      {Win::AddHeader, "txtNewHead", "lblHead", "Header", "Text of the new header"},
      {Win::AddSignature, "txtNewSig", "Label1", "New Signature", "Text of the new signature"},
      {Win::AddFooter, "txtNewFoot", "Label2", "New Footer", "Text of the new footer"},
  };
  for (const auto& [kind, box, label, caption, description] : boxes) {
    SCOPED_TRACE(std::string(nameOf(kind)) + " " + box);
    const auto open = ::qm::ui::open(kind);
    auto* boxWidget = open->find<QWidget>(box);
    auto* labelWidget = open->find<QLabel>(label);
    ASSERT_TRUE(boxWidget && labelWidget);
    EXPECT_EQ(labelWidget->text().toStdString(), caption);
    EXPECT_EQ(labelWidget->buddy(), boxWidget);
    const auto relations = face(boxWidget)->relations(QAccessible::Label);
    ASSERT_EQ(relations.size(), 1);
    EXPECT_EQ(relations[0].first->object(), labelWidget);
    // A drop-down box reads as its entry; the relation above names it.
    if (!qobject_cast<QComboBox*>(boxWidget)) {
      EXPECT_EQ(said(boxWidget, QAccessible::Name), caption);
    }
    EXPECT_EQ(said(boxWidget, QAccessible::Description), description);
  }
}

QStringList chainOrder(QWidget* window) {
  QStringList order;
  for (QWidget* w = window->nextInFocusChain(); w != window; w = w->nextInFocusChain()) {
    if (takesTab(w, window)) order << w->objectName();
  }
  return order;
}

TEST(AccessibilityTest, TabGoesThroughEachWindowInReadingOrder) {
  const std::pair<Win, QStringList> windows[] = {
      {Win::Main,
       {"txtHeader",       "cmdPrevH",    "cmdNextH", "Check1",   "cmdNewHead", "cmdDeleteHeader",
        "txtSig",          "cmdPrev",     "cmdNext",  "Check2",   "cmdNewSig",  "cmdEditSig",
        "cmdDeleteSig",    "txtFooter",   "cmdPrevF", "cmdNextF", "Check3",     "cmdNewFoot",
        "cmdDeleteFooter", "cmdInternet", "cmdPref",  "Command1", "cmdMin",     "cmdQuit"}},
      {Win::Preferences,
       {"cboProgramName", "txtsiglocation", "cmdFindFile", "Slider1", "chkMin", "cmdSave",
        "cmdDone"}},
      {Win::Chooser, {"Dir1", "Drive1", "cmdSave", "cmdDone"}},
      {Win::AddHeader, {"txtNewHead", "cmdSave", "cmdCancel"}},
      {Win::AddSignature, {"txtNewSig", "cmdSave", "cmdCancel"}},
      {Win::AddFooter, {"txtNewFoot", "cmdSave", "cmdCancel"}},
      {Win::EditSig, {"txtEditSig", "cmdSave", "cmdCancel"}},
      {Win::EditSigSaved, {"txtEditSig", "cmdCancel"}},
  };
  for (const auto& [kind, expected] : windows) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    QWidget* window = open->window.get();
    EXPECT_EQ(texts(chainOrder(window)), texts(expected));

    // The Tab key itself, from the first control round to it again.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    open->find<QWidget>(expected.first().toLatin1().constData())->setFocus(Qt::TabFocusReason);
    QStringList visited;
    for (qsizetype step = 0; step <= expected.size(); ++step) {
      QWidget* focus = QApplication::focusWidget();
      ASSERT_NE(focus, nullptr);
      visited << focus->objectName();
      QTest::keyClick(focus, Qt::Key_Tab);
    }
    EXPECT_EQ(texts(visited), texts(expected + QStringList{expected.first()}));
  }
}

TEST(AccessibilityTest, DialogsOpenWithTheFocusInTheirFirstBox) {
  const std::pair<Win, const char*> dialogs[] = {
      {Win::Preferences, "txtsiglocation"}, {Win::Chooser, "Dir1"},
      {Win::AddHeader, "txtNewHead"},       {Win::AddSignature, "txtNewSig"},
      {Win::AddFooter, "txtNewFoot"},       {Win::EditSig, "txtEditSig"},
  };
  for (const auto& [kind, first] : dialogs) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    ASSERT_NE(open->window->focusWidget(), nullptr);
    EXPECT_EQ(open->window->focusWidget()->objectName().toStdString(), first);
  }
}

TEST(AccessibilityTest, WordCaptionsHaveMnemonicsOfTheirOwnAndSymbolsNone) {
  for (Win kind : kEveryWindow) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    std::set<QString> keys;
    for (QAbstractButton* button : open->window->findChildren<QAbstractButton*>()) {
      const std::string object = button->objectName().toStdString();
      const QString caption = withoutMnemonic(button->text());
      const QKeySequence key = QKeySequence::mnemonic(button->text());
      const bool words = !caption.isEmpty() && caption.front().isLetter();
      if (!words) {
        EXPECT_EQ(button->text(), caption) << object;
        continue;
      }
      ASSERT_FALSE(key.isEmpty()) << object;
      EXPECT_TRUE(keys.insert(key.toString()).second)
          << object << " " << key.toString().toStdString();
      // The reader says the caption as shown, without the marker.
      if (button->accessibleName().isEmpty()) {
        EXPECT_EQ(said(button, QAccessible::Name), caption.toStdString()) << object;
      }
    }
    EXPECT_FALSE(keys.empty());
  }
}

// Buttons, check boxes and labels at least as large as their captions ask for.
void expectNoCaptionCut(QWidget* window) {
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!qobject_cast<QAbstractButton*>(widget) && !qobject_cast<QLabel*>(widget)) continue;
    if (!widget->isVisibleTo(window)) continue;
    const QSize hint = widget->sizeHint();
    EXPECT_GE(widget->width(), hint.width()) << widget->objectName().toStdString();
    EXPECT_GE(widget->height(), hint.height()) << widget->objectName().toStdString();
  }
}

TEST(AccessibilityTest, NoCaptionIsCutAtTheDefaultSize) {
  for (Win kind : kEveryWindow) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(open->window.get()));
    expectNoCaptionCut(open->window.get());
  }
}

TEST(AccessibilityTest, EveryCaptionFitsAtTheSmallestSize) {
  for (Win kind : kEveryWindow) {
    SCOPED_TRACE(nameOf(kind));
    const auto open = ::qm::ui::open(kind);
    QWidget* window = open->window.get();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    const QSize smallest = window->minimumSize();
    // Small enough to fit beside other windows, large enough for the text boxes to be of use.
    EXPECT_GE(smallest.width(), window->fontMetrics().averageCharWidth() * 40);
    EXPECT_LE(smallest.width(), 1024);
    EXPECT_LE(smallest.height(), 768);
    window->resize(smallest);
    QApplication::processEvents();
    ASSERT_EQ(window->size(), smallest);
    expectNoCaptionCut(window);
  }
}

TEST(AccessibilityTest, TheMainWindowAreasLineUp) {
  const auto open = ::qm::ui::open(Win::Main);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(open->window.get()));
  const auto geometry = [&](const char* object) { return open->find<QWidget>(object)->geometry(); };
  const std::vector<std::vector<const char*>> columns = {
      {"lblHead", "Label2", "Label3"},     {"txtHeader", "txtSig", "txtFooter"},
      {"cmdPrevH", "cmdPrev", "cmdPrevF"}, {"cmdNextH", "cmdNext", "cmdNextF"},
      {"Check1", "Check2", "Check3"},      {"cmdNewHead", "cmdNewSig", "cmdNewFoot"},
  };
  for (const auto& column : columns) {
    for (const char* object : column) {
      EXPECT_EQ(geometry(object).left(), geometry(column.front()).left()) << object;
    }
  }
  for (const char* object : {"txtSig", "txtFooter"}) {
    EXPECT_EQ(geometry(object).width(), geometry("txtHeader").width()) << object;
  }
  for (const char* object : {"cmdDeleteHeader", "cmdNewSig", "cmdEditSig", "cmdDeleteSig",
                             "cmdNewFoot", "cmdDeleteFooter"}) {
    EXPECT_EQ(geometry(object).left(), geometry("cmdNewHead").left()) << object;
    EXPECT_EQ(geometry(object).width(), geometry("cmdNewHead").width()) << object;
  }
  // The bottom row, left to right, on one line.
  const char* bottom[] = {"cmdInternet", "cmdPref", "Command1", "cmdMin", "cmdQuit"};
  for (size_t i = 1; i < std::size(bottom); ++i) {
    EXPECT_EQ(geometry(bottom[i]).top(), geometry(bottom[0]).top()) << bottom[i];
    EXPECT_EQ(geometry(bottom[i]).height(), geometry(bottom[0]).height()) << bottom[i];
    EXPECT_LT(geometry(bottom[i - 1]).right(), geometry(bottom[i]).left()) << bottom[i];
  }
  // The small buttons stay small, and as high as the others of their row.
  EXPECT_LT(geometry("cmdPrevH").width(), geometry("cmdNewHead").width());
  EXPECT_EQ(geometry("cmdInternet").height(), geometry("cmdPref").height());
}

TEST(AccessibilityTest, WithoutMnemonicShowsTheCaptionAsRead) {
  const std::pair<const char*, const char*> cases[] = {
      {"&Save", "Save"}, {"Delete Si&g", "Delete Sig"}, {"Rock && Roll", "Rock & Roll"},
      {"<", "<"},        {"Trailing&", "Trailing&"},    {"", ""},
  };
  for (const auto& [text, shown] : cases) {
    EXPECT_EQ(withoutMnemonic(QString::fromLatin1(text)).toStdString(), shown);
  }
}

}  // namespace
}  // namespace qm::ui
