// The help page behind "?": valid HTML, working links, the program's own captions, and examples
// that match what the program really writes.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QUrl>
#include <QXmlStreamReader>
#include <algorithm>
#include <map>

#include "common/ansi.h"
#include "common/msgbox.h"
#include "rotation/output.h"
#include "startup/settings.h"
#include "startup/startup.h"
#include "support/scripted_msgbox.h"
#include "support/temp_app_dir.h"
#include "ui/forms.h"
#include "ui/frmChooseDir.h"
#include "ui/frmMain.h"
#include "ui/frmPreferences.h"

namespace qm {
namespace {

using test::ScriptedMsgBox;
using test::TempAppDir;

const QString kPagePath = QString::fromUtf8(QUILLMATE_FAQ_SOURCE);
const QString kBuiltPagePath = QString::fromUtf8(QUILLMATE_FAQ_BESIDE_EXE);

// What the main window's buttons and check boxes say; a renamed control must be renamed here
// and on the page.
const QStringList kMainCaptions = {"Create Header",
                                   "Delete Header",
                                   "Randomize Headers",
                                   "Create Signature",
                                   "Edit Sig",
                                   "Delete Sig",
                                   "Randomize Signatures",
                                   "Create Footer",
                                   "Delete Footer",
                                   "Randomize Footers",
                                   "Preferences",
                                   "Write Sig Now",
                                   "Minimize",
                                   "Quit"};
// The main window's other texts: browse and help buttons with their tips, labels, the Quit
// question.
const QStringList kMainOtherTexts = {"<",           ">",
                                     "?",           "Prev",
                                     "Next",        "Help",
                                     "Header",      "Signature",
                                     "Footer",      "Current Time",
                                     "Next Switch", "Do you wish to end this session?"};
const QStringList kPreferencesTexts = {"Preferences",
                                       "Mail Program",
                                       "Location of Signature File",
                                       "Random Interval",
                                       "Start Minimized in Tray",
                                       "...",
                                       "Click to locate file",
                                       "Save",
                                       "Done",
                                       "Outlook 98/2000",
                                       "Eudora v4.x",
                                       "Other Text",
                                       "Other HTML",
                                       "One Minute",
                                       "5 Minutes",
                                       "15 Minutes",
                                       "30 Minutes",
                                       "One Hour",
                                       "One Day",
                                       "Never"};
const QStringList kChooserTexts = {"Choose Directory for Signature Files", "Save", "Done",
                                   "Please Choose a Directory"};
const QStringList kOutputFiles = {"ZQ.HTML", "ZQ.rtf", "ZQ.txt"};
const QStringList kAppDirFiles = {"zq.ini", "Head.qmd", "Sig.qmd", "Foot.qmd", "FAQ.html"};

// The entries of the page's worked example.
const QString kExampleHeader = QStringLiteral("Greetings from Quill Street");
const QString kExampleSignature = QStringLiteral("Anna Quill\r\nCaf\u00e9 \u201cQuill\u201d");
const QString kExampleFooter = QStringLiteral("Sent with Quillmate");

QByteArray readAll(const QString& path) {
  QFile in(path);
  EXPECT_TRUE(in.open(QIODevice::ReadOnly)) << path.toStdString();
  return in.readAll();
}

// The page as an XML document: its ids, links, the text under each h2 and each pre with an id.
struct Page {
  QString error;  // empty when the page parsed as XML
  QString root;
  QStringList ids;
  QStringList links;                    // every href and src, in page order
  std::map<QString, QString> sections;  // by the id of their h2; whitespace collapsed
  std::map<QString, QString> pres;      // by id, as written

  // A pre's text as a browser shows it: a line break right after <pre> does not count.
  QString pre(const QString& id) const {
    const auto found = pres.find(id);
    if (found == pres.end()) return QStringLiteral("<no pre %1>").arg(id);
    return found->second.startsWith(QLatin1Char('\n')) ? found->second.mid(1) : found->second;
  }
  QString section(const QString& id) const {
    const auto found = sections.find(id);
    return found == sections.end() ? QString() : found->second;
  }
};

Page parse(const QByteArray& bytes) {
  Page page;
  QXmlStreamReader reader(bytes);
  QString section;
  QString preId;
  int depth = 0, preDepth = -1;
  while (!reader.atEnd()) {
    switch (reader.readNext()) {
      case QXmlStreamReader::StartElement: {
        ++depth;
        if (page.root.isEmpty()) page.root = reader.name().toString();
        const QXmlStreamAttributes attributes = reader.attributes();
        const QString id = attributes.value(QLatin1String("id")).toString();
        if (!id.isEmpty()) page.ids << id;
        for (const char* link : {"href", "src"}) {
          if (attributes.hasAttribute(QLatin1String(link))) {
            page.links << attributes.value(QLatin1String(link)).toString();
          }
        }
        if (reader.name() == QLatin1String("h2")) section = id;
        if (reader.name() == QLatin1String("pre") && preDepth < 0 && !id.isEmpty()) {
          preId = id;
          preDepth = depth;
        }
        // Words in neighbouring elements must not run together.
        page.sections[section] += QLatin1Char(' ');
        break;
      }
      case QXmlStreamReader::EndElement:
        if (depth == preDepth) preDepth = -1;
        --depth;
        page.sections[section] += QLatin1Char(' ');
        break;
      case QXmlStreamReader::Characters:
        page.sections[section] += reader.text();
        if (preDepth >= 0) page.pres[preId] += reader.text();
        break;
      case QXmlStreamReader::EntityReference:
        // A named entity needs a DTD to mean anything to an XML reader.
        if (page.error.isEmpty()) page.error = "entity &" + reader.name().toString() + ";";
        break;
      default:
        break;
    }
  }
  if (reader.hasError()) {
    page.error = QStringLiteral("line %1, column %2: %3")
                     .arg(reader.lineNumber())
                     .arg(reader.columnNumber())
                     .arg(reader.errorString());
  }
  for (auto& [id, text] : page.sections) text = text.simplified();
  return page;
}

const Page& page() {
  static const Page parsed = parse(readAll(kPagePath));
  return parsed;
}

// True when text holds caption as a whole: no letter or digit right before or after it.
bool names(const QString& text, const QString& caption) {
  for (qsizetype at = text.indexOf(caption); at >= 0; at = text.indexOf(caption, at + 1)) {
    const qsizetype end = at + caption.size();
    if ((at == 0 || !text[at - 1].isLetterOrNumber()) &&
        (end == text.size() || !text[end].isLetterOrNumber())) {
      return true;
    }
  }
  return false;
}

// The visible texts of a window: title, labels, buttons with their tips and list entries, but not
// those of the widgets named in `changing` (a clock, the machine's drives).
QStringList textsOf(const QWidget& window, const QStringList& changing = {}) {
  QStringList texts = {window.windowTitle()};
  const auto shows = [&](const QWidget* widget) {
    return !changing.contains(widget->objectName());
  };
  for (const QLabel* label : window.findChildren<QLabel*>()) {
    // Only a label with a buddy has a shortcut letter.
    if (shows(label))
      texts << (label->buddy() ? ui::withoutMnemonic(label->text()) : label->text());
  }
  for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    texts << ui::withoutMnemonic(button->text()) << button->toolTip();
  }
  for (const QComboBox* combo : window.findChildren<QComboBox*>()) {
    for (int i = 0; shows(combo) && i < combo->count(); ++i) texts << combo->itemText(i);
  }
  texts.removeAll(QString());
  return texts;
}

// Sorted and joined, so that a difference reads as text.
std::string listed(QStringList texts) {
  texts.sort();
  texts.removeDuplicates();
  return texts.join(QStringLiteral(" | ")).toStdString();
}

TEST(FaqPageTest, TidyReportsNoErrorsAndNoWarnings) {
  QProcess tidy;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("HTML_TIDY"));  // no personal configuration
  tidy.setProcessEnvironment(environment);
  tidy.start(QStringLiteral("tidy"), {"-q", "-e", "--doctype", "html5", kPagePath});
  ASSERT_TRUE(tidy.waitForStarted(-1)) << "tidy did not start: apt-get install tidy";
  ASSERT_TRUE(tidy.waitForFinished(-1));
  EXPECT_EQ(tidy.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(tidy.exitCode(), 0);
  EXPECT_EQ(tidy.readAllStandardError().toStdString(), "");
  EXPECT_EQ(tidy.readAllStandardOutput().toStdString(), "");
}

TEST(FaqPageTest, IsWellFormedXhtmlInPlainAscii) {
  EXPECT_EQ(page().error.toStdString(), "");
  EXPECT_EQ(page().root, QStringLiteral("html"));
  const QByteArray bytes = readAll(kPagePath);
  const auto wide = std::find_if(bytes.begin(), bytes.end(), [](char c) { return c & 0x80; });
  EXPECT_EQ(wide - bytes.begin(), bytes.size()) << "use a numeric character reference";
}

TEST(FaqPageTest, IdsAreUniqueAndEveryLocalLinkResolves) {
  ASSERT_EQ(page().error.toStdString(), "");
  const Page& p = page();
  for (const QString& id : p.ids) EXPECT_EQ(p.ids.count(id), 1) << id.toStdString();
  ASSERT_FALSE(p.links.isEmpty());
  const QDir pageDir = QFileInfo(kPagePath).dir();
  for (const QString& link : p.links) {
    if (link.startsWith(QLatin1Char('#'))) {
      EXPECT_TRUE(p.ids.contains(link.mid(1))) << link.toStdString();
      continue;
    }
    const QUrl url(link);
    if (!url.scheme().isEmpty()) {
      EXPECT_EQ(url.scheme(), QStringLiteral("https")) << link.toStdString();
      continue;
    }
    EXPECT_TRUE(QFileInfo::exists(pageDir.filePath(url.path()))) << link.toStdString();
  }
}

TEST(FaqPageTest, EachSectionNamesTheTextsItDescribes) {
  ASSERT_EQ(page().error.toStdString(), "");
  const std::pair<const char*, QStringList> cases[] = {
      {"main-window", kMainCaptions + kMainOtherTexts},
      {"preferences", kPreferencesTexts},
      {"chooser", kChooserTexts},
      {"files", kOutputFiles + kAppDirFiles},
  };
  for (const auto& [section, texts] : cases) {
    const QString text = page().section(QString::fromLatin1(section));
    ASSERT_FALSE(text.isEmpty()) << section;
    for (const QString& expected : texts) {
      EXPECT_TRUE(names(text, expected)) << section << ": " << expected.toStdString();
    }
  }
}

TEST(FaqPageTest, TheAutostartEntryHasTheNameTheInstallGivesIt) {
  ASSERT_EQ(page().error.toStdString(), "");
  // The install makes the autostart entry from the one desktop template, named after it.
  const QDir linuxData(QFileInfo(kPagePath).dir().filePath(QStringLiteral("linux")));
  const QStringList templates = linuxData.entryList({QStringLiteral("*.desktop.in")}, QDir::Files);
  ASSERT_EQ(templates.size(), 1) << linuxData.path().toStdString();
  const QString entry = templates[0].chopped(3);
  const QString section = page().section(QStringLiteral("autostart"));
  const QString texts[] = {
      QStringLiteral("cmake --install build --component autostart"),
      entry + QStringLiteral(" into ~/.config/autostart/"),
      QStringLiteral("rm ~/.config/autostart/") + entry,
  };
  for (const QString& text : texts) EXPECT_TRUE(names(section, text)) << text.toStdString();
}

TEST(FaqPageTest, TheMainWindowShowsTheTextsThePageNames) {
  TempAppDir app;
  ScriptedMsgBox boxes{vbNo};
  initprogram();
  int ends = 0;
  ui::frmMain window([&] { ++ends; });
  QStringList shown = textsOf(window, {"lblCurrent", "lblNext"});
  shown.removeAll(window.windowTitle());
  window.findChild<QPushButton*>(QStringLiteral("cmdQuit"))->click();
  ASSERT_EQ(boxes.shown().size(), 1u);
  shown << boxes.shown()[0].prompt;
  EXPECT_EQ(listed(shown), listed(kMainCaptions + kMainOtherTexts));
  EXPECT_EQ(ends, 0);
}

TEST(FaqPageTest, PreferencesAndTheChooserShowTheTextsThePageNames) {
  TempAppDir app;
  app.write("zq.ini", "[Settings]\r\nProg_Name=Other Text\r\nStart_Min=0\r\n");
  ModSig.IniPath = app.file("zq.ini");
  ModSig.IntervalCode = "6";
  ScriptedMsgBox boxes{vbOK};
  ui::frmPreferences preferences;
  QStringList shown = textsOf(preferences, {"SliderCaption"});
  for (const Interval& interval : kIntervals) shown << QString::fromLatin1(interval.caption);
  EXPECT_EQ(listed(shown), listed(kPreferencesTexts));

  ui::frmChooseDir chooser(nullptr);
  shown = textsOf(chooser, {"Drive1"});
  chooser.cmdSave->click();  // nothing clicked in the list yet
  ASSERT_EQ(boxes.shown().size(), 1u);
  shown << boxes.shown()[0].prompt;
  EXPECT_EQ(listed(shown), listed(kChooserTexts));
}

TEST(FaqPageTest, TheExampleFilesAreWhatTheProgramWrites) {
  ASSERT_EQ(page().error.toStdString(), "");
  TempAppDir app;
  QTemporaryDir sigDir;
  ASSERT_TRUE(sigDir.isValid());
  app.write("zq.ini", "[Settings]\r\nSigLocation=" + toAnsi(sigDir.path()) + "\r\n");
  ModSig.IniPath = app.file("zq.ini");
  ModSig.WriteType = "Text & HTML";
  ScriptedMsgBox noBoxes;
  OutputSig({toAnsi(kExampleHeader), toAnsi(kExampleSignature), toAnsi(kExampleFooter)});
  EXPECT_EQ(listed(QDir(sigDir.path()).entryList(QDir::Files | QDir::Hidden)),
            listed(kOutputFiles));

  // The page shows line breaks as LF and the text as its characters; the files hold CR LF and
  // Windows-1252 bytes.
  const auto asWritten = [](QString shown) { return toAnsi(shown.replace("\n", "\r\n")); };
  const QByteArray text = asWritten(page().pre("example-txt"));
  EXPECT_EQ(readAll(QDir(sigDir.path()).filePath("ZQ.txt")), text);
  EXPECT_EQ(readAll(QDir(sigDir.path()).filePath("ZQ.rtf")), text);
  EXPECT_EQ(readAll(QDir(sigDir.path()).filePath("ZQ.HTML")),
            asWritten(page().pre("example-html")));
  EXPECT_TRUE(text.contains("Caf\xe9 \x93Quill\x94\r\n"));  // the example does hold 8-bit text
}

TEST(FaqPageTest, TheFirstStartSettingsAreWhatTheProgramWrites) {
  ASSERT_EQ(page().error.toStdString(), "");
  TempAppDir app;
  // The page shows the usual temporary directory.
  const QByteArray savedTmpDir = qgetenv("TMPDIR");
  const bool hadTmpDir = qEnvironmentVariableIsSet("TMPDIR");
  qputenv("TMPDIR", "/tmp");
  initprogram();
  if (hadTmpDir) {
    qputenv("TMPDIR", savedTmpDir);
  } else {
    qunsetenv("TMPDIR");
  }
  QString shown = page().pre("first-ini");
  EXPECT_EQ(app.read("zq.ini"), toAnsi(shown.replace("\n", "\r\n")));
}

TEST(FaqPageTest, TheCopyBesideTheProgramIsThePage) {
  ASSERT_TRUE(QFileInfo::exists(kBuiltPagePath)) << kBuiltPagePath.toStdString();
  EXPECT_EQ(readAll(kBuiltPagePath), readAll(kPagePath));
}

}  // namespace
}  // namespace qm
