#include "ui/frmMain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "common/ansi.h"
#include "common/convert.h"
#include "common/failure.h"
#include "common/msgbox.h"
#include "platform/files.h"
#include "platform/platform.h"
#include "startup/settings.h"
#include "startup/utility.h"
#include "stores/text_store.h"
#include "ui/activation.h"
#include "ui/app_icon.h"
#include "ui/forms.h"
#include "ui/frmPreferences.h"
#include "ui/text_boxes.h"
#include "ui/tray_watch.h"

namespace qm::ui {
namespace {

// "<", ">" and "?": as narrow as the caption.
QPushButton* compactButton(QWidget* parent, const char* name, const char* caption,
                           const char* tip) {
  auto* widget = named(new CompactButton(QString::fromLatin1(caption), parent), name);
  widget->setToolTip(QString::fromLatin1(tip));
  return widget;
}

QCheckBox* checkBox(QWidget* parent, const char* name, const char* caption) {
  return named(new QCheckBox(QString::fromLatin1(caption), parent), name);
}

QFrame* line(QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::HLine);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

// One list's area: label and box on the left with the browse buttons and the randomize box
// under them, the list's buttons in a column on the right.
QGridLayout* area(QLabel* caption, QWidget* box, QPushButton* prev, QPushButton* next,
                  QCheckBox* randomize, std::initializer_list<QPushButton*> column) {
  auto* grid = new QGridLayout;
  grid->addWidget(caption, 0, 0);
  grid->addWidget(box, 1, 0);
  auto* under = new QHBoxLayout;
  under->addWidget(prev);
  under->addWidget(next);
  under->addSpacing(12);
  under->addWidget(randomize);
  under->addStretch();
  grid->addLayout(under, 2, 0);
  auto* buttons = new QVBoxLayout;
  for (QPushButton* b : column) buttons->addWidget(b);
  buttons->addStretch();
  grid->addLayout(buttons, 0, 1, 3, 1);
  grid->setColumnStretch(0, 1);
  return grid;
}

}  // namespace

frmMain::frmMain(std::function<void()> endProgram)
    : txtHeader(named(new LineBox(kHeaders.shownBytes, this), "txtHeader")),
      txtSig(named(new MultiLineBox(kSignatures.shownBytes, this), "txtSig")),
      txtFooter(named(new LineBox(kFooters.shownBytes, this), "txtFooter")),
      Check1(checkBox(this, "Check1", "&Randomize Headers")),
      Check2(checkBox(this, "Check2", "Randomize Sig&natures")),
      Check3(checkBox(this, "Check3", "Randomize F&ooters")),
      lblCurrent(label(this, "lblCurrent")),
      lblNext(label(this, "lblNext")),
      Timer1(new QTimer(this)),
      endProgram_(std::move(endProgram)),
      tray_(new TrayWatch(this)),
      switchDue_(new QTimer(this)) {
  exposeRoles("qm::ui::frmMain");
  setObjectName(QStringLiteral("frmMain"));
  Timer1->setObjectName(QStringLiteral("Timer1"));
  setWindowTitle(QStringLiteral("ZQ Quillmate"));
  setWindowIcon(appIcon());
  Timer1->setInterval(500);
  connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
  switchDue_->setSingleShot(true);
  switchDue_->setTimerType(Qt::PreciseTimer);
  connect(switchDue_, &QTimer::timeout, this, &frmMain::switchWhenDue);
  monotonic_.start();
  monotonicMs = [this] { return monotonic_.elapsed(); };
  // A tray that comes after the start, goes or comes back takes or gives back a window put away.
  connect(tray_, &TrayWatch::changed, this, [this] {
    if (putAway_) putAway();
  });
  const std::pair<QCheckBox*, const char*> flags[] = {
      {Check1, "HeadRandom"}, {Check2, "SigRandom"}, {Check3, "FootRandom"}};
  for (const auto& [box, key] : flags) {
    // A ticked or cleared box is stored at once, not on Quit.
    connect(box, &QCheckBox::toggled, this, [key = key](bool ticked) {
      writeINI(ModSig.IniPath, "Settings", key, ticked ? "1" : "0");
    });
  }
  setLayout(buildLayout());
  connectListButtons();
  describeControls();
  setMinimumWidth(sizeHint().width() + 60);
  Form_Load();
  // The timer runs from the load on, however the load ended; the window is not shown yet.
  sleep();
}

QLayout* frmMain::buildLayout() {
  const std::initializer_list<QPushButton*> headerButtons = {
      button(this, "cmdNewHead", "Create &Header"),
      button(this, "cmdDeleteHeader", "&Delete Header")};
  const std::initializer_list<QPushButton*> sigButtons = {
      button(this, "cmdNewSig", "Create &Signature"), button(this, "cmdEditSig", "&Edit Sig"),
      button(this, "cmdDeleteSig", "Delete Si&g")};
  const std::initializer_list<QPushButton*> footerButtons = {
      button(this, "cmdNewFoot", "Create &Footer"),
      button(this, "cmdDeleteFooter", "Delete Foo&ter")};
  // One width for the three button columns, so the areas line up.
  int columnWidth = 0;
  for (const auto& column : {headerButtons, sigButtons, footerButtons}) {
    for (QPushButton* b : column) columnWidth = std::max(columnWidth, b->sizeHint().width());
  }
  for (const auto& column : {headerButtons, sigButtons, footerButtons}) {
    for (QPushButton* b : column) b->setFixedWidth(columnWidth);
  }

  auto* layout = new QVBoxLayout;
  layout->addLayout(area(label(this, "lblHead", "Header"), txtHeader,
                         compactButton(this, "cmdPrevH", "<", "Prev"),
                         compactButton(this, "cmdNextH", ">", "Next"), Check1, headerButtons));
  layout->addWidget(line(this));
  layout->addLayout(
      area(label(this, "Label2", "Signature"), txtSig, compactButton(this, "cmdPrev", "<", "Prev"),
           compactButton(this, "cmdNext", ">", "Next"), Check2, sigButtons),
      1);
  layout->addWidget(line(this));
  layout->addLayout(area(label(this, "Label3", "Footer"), txtFooter,
                         compactButton(this, "cmdPrevF", "<", "Prev"),
                         compactButton(this, "cmdNextF", ">", "Next"), Check3, footerButtons));

  auto* help = compactButton(this, "cmdInternet", "?", "Help");
  auto* preferences = button(this, "cmdPref", "&Preferences");
  auto* writeNow = button(this, "Command1", "&Write Sig Now");
  auto* minimize = button(this, "cmdMin", "&Minimize");
  auto* quit = button(this, "cmdQuit", "&Quit");
  connect(help, &QPushButton::clicked, this, &frmMain::cmdInternet_Click);
  connect(writeNow, &QPushButton::clicked, this, &frmMain::Command1_Click);
  connect(preferences, &QPushButton::clicked, this, &frmMain::cmdPref_Click);
  connect(minimize, &QPushButton::clicked, this, &frmMain::cmdMin_Click);
  connect(quit, &QPushButton::clicked, this, &frmMain::cmdQuit_Click);
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(help);
  bottom->addStretch();
  for (QPushButton* b : {preferences, writeNow, minimize, quit}) {
    bottom->addWidget(b);
  }
  layout->addSpacing(6);
  layout->addLayout(bottom);

  auto* times = new QGridLayout;
  times->addWidget(label(this, "Label1", "Current Time"), 0, 0);
  times->addWidget(lblCurrent, 0, 1);
  times->addWidget(label(this, "Label4", "Next Switch"), 1, 0);
  times->addWidget(lblNext, 1, 1);
  times->setColumnStretch(1, 1);
  layout->addLayout(times);
  return layout;
}

// What a screen reader says of each control, and where Tab goes: area by area, the box, its
// browse buttons and randomize box, then its column; the bottom row last.
void frmMain::describeControls() {
  describe(this, "Rotates the header, signature and footer of your e-mail",
           {
               {"txtHeader", {}, "Current header", "lblHead"},
               {"cmdPrevH", "Previous header", "Show the previous header"},
               {"cmdNextH", "Next header", "Show the next header"},
               {"Check1", {}, "Pick a header at random at each switch"},
               {"cmdNewHead", {}, "Add a new header"},
               {"cmdDeleteHeader", {}, "Delete the shown header"},
               {"txtSig", {}, "Current signature", "Label2"},
               {"cmdPrev", "Previous signature", "Show the previous signature"},
               {"cmdNext", "Next signature", "Show the next signature"},
               {"Check2", {}, "Pick a signature at random at each switch"},
               {"cmdNewSig", {}, "Add a new signature"},
               {"cmdEditSig", {}, "Edit the shown signature"},
               {"cmdDeleteSig", {}, "Delete the shown signature"},
               {"txtFooter", {}, "Current footer", "Label3"},
               {"cmdPrevF", "Previous footer", "Show the previous footer"},
               {"cmdNextF", "Next footer", "Show the next footer"},
               {"Check3", {}, "Pick a footer at random at each switch"},
               {"cmdNewFoot", {}, "Add a new footer"},
               {"cmdDeleteFooter", {}, "Delete the shown footer"},
               {"cmdInternet", "Help", "Open the help page"},
               {"cmdPref", {}, "Change where and how often the signature is written"},
               {"Command1", {}, "Write the signature files now"},
               {"cmdMin", {}, "Hide the window in the notification area"},
               {"cmdQuit", {}, "End Quillmate"},
               {"lblCurrent", {}, "Current time"},
               {"lblNext", {}, "Time of the next switch"},
           });
  // clang-format off
  chainTabOrder(this, {
      "txtHeader", "cmdPrevH", "cmdNextH", "Check1", "cmdNewHead", "cmdDeleteHeader",
      "txtSig", "cmdPrev", "cmdNext", "Check2", "cmdNewSig", "cmdEditSig", "cmdDeleteSig",
      "txtFooter", "cmdPrevF", "cmdNextF", "Check3", "cmdNewFoot", "cmdDeleteFooter",
      "cmdInternet", "cmdPref", "Command1", "cmdMin", "cmdQuit"});
  // clang-format on
}

void frmMain::Form_Load() {
  const FailureHandler handler("Form_Load");
  setWindowTitle(windowTitle() + QLatin1Char(' ') + QStringLiteral(QUILLMATE_VERSION));
  const std::pair<QCheckBox*, const QByteArray&> flags[] = {{Check1, ModSig.HeadRandomFlag},
                                                            {Check2, ModSig.SigRandomFlag},
                                                            {Check3, ModSig.FootRandomFlag}};
  for (const auto& [box, flag] : flags) {
    if (!handler.run([&] { box->setChecked(toTicked(flag)); })) return;
  }
  TickCount = 0;
  // The last header and footer, trimmed; the first signature as stored.
  const auto show = [&](const TextStore& store, auto* box, QByteArray& rec, bool last,
                        std::source_location where = std::source_location::current()) {
    return handler.run(
        [&] {
          RecCount = CountRecords(store);
          if (RecCount == 0) return;
          rec = ReadRecord(store, last ? RecCount : 1);
          box->setAnsiText(last ? trimOuter(rec) : QByteArrayView(rec));
        },
        where);
  };
  if (!show(kHeaders, txtHeader, HeadRec, true)) return;
  if (!show(kFooters, txtFooter, FootRec, true)) return;
  if (!show(kSignatures, txtSig, SigRec, false)) return;
  Randomizer();
  lblCurrent->setText(longTimeText(clock()));
  QCoreApplication::processEvents();
}

void frmMain::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange) Form_Resize();
}

void frmMain::Form_Resize() {
  // Hidden in the tray, the window hears the window manager's own steps (xfwm4 withdraws it,
  // then reports it no longer minimised); they are not the user's.
  if (isHidden()) return;
  // Wayland compositors never report a window minimised, so there only a return from the tray
  // or a wake ends its being put away.
  if (isMinimized()) {
    putAway_ = true;
  } else if (QGuiApplication::platformName() != QLatin1String("wayland")) {
    putAway_ = false;
  }
  // Hiding inside the state change confuses some window managers: do it right after.
  if (putAway_ && tray_->available()) {
    QMetaObject::invokeMethod(
        this,
        [this] {
          if (isMinimized()) putAway();
        },
        Qt::QueuedConnection);
  }
}

QSystemTrayIcon* frmMain::trayIcon() {
  if (TrayIcon1) return TrayIcon1;
  TrayIcon1 = new QSystemTrayIcon(trayItemIcon(), this);
  TrayIcon1->setObjectName(QStringLiteral("TrayIcon1"));
  TrayIcon1->setToolTip(QStringLiteral("ZQ Quillmate"));
  connect(TrayIcon1, &QSystemTrayIcon::activated, this, [this](auto reason) {
    // A panel that draws the item itself (a StatusNotifierItem host: KDE, GNOME's extension,
    // waybar) reports one click; an icon of the program's own in an XEmbed tray has a place on
    // screen and comes back on a double-click.
    const bool ownIcon = TrayIcon1->geometry().isValid();
    if (reason == QSystemTrayIcon::DoubleClick ||
        (reason == QSystemTrayIcon::Trigger && !ownIcon)) {
      TrayIcon1_DblClick();
    }
  });
  auto* trayMenu = new QMenu(this);
  trayMenu->addAction(QStringLiteral("Restore"), this, &frmMain::TrayIcon1_DblClick);
  trayMenu->addAction(QStringLiteral("Write Sig Now"), this, &frmMain::Command1_Click);
  trayMenu->addAction(QStringLiteral("Quit"), this, &frmMain::cmdQuit_Click);
  TrayIcon1->setContextMenu(trayMenu);
  return TrayIcon1;
}

void frmMain::putAway() {
  putAway_ = true;
  if (tray_->available()) {
    // Shown anew, so that a tray that came back hears of it.
    trayIcon()->hide();
    TrayIcon1->show();
    hide();
    return;
  }
  // Without a notification area a minimised window stays on the task bar.
  if (TrayIcon1) TrayIcon1->hide();
  // A window never shown gets its size first: a resize while mapping it would map it normal.
  if (!windowHandle()) adjustSize();
  showMinimized();
}

void frmMain::cmdMin_Click() {
  putAway();
}

void frmMain::TrayIcon1_DblClick() {
  comeBack({});
}

void frmMain::comeBack(const QByteArray& token) {
  putAway_ = false;
  setWindowState(windowState() & ~Qt::WindowMinimized);
  if (isHidden()) showNextNormal(this);
  show();
  if (TrayIcon1) TrayIcon1->hide();
  bringForward(this, token);
}

void frmMain::cmdQuit_Click() {
  MsgBox(MsgKind::Question, QStringLiteral("Do you wish to end this session?"),
         QStringLiteral("Really Quit?"));
  if (MsgAnswer == vbYes) close();
}

void frmMain::closeEvent(QCloseEvent* event) {
  event->accept();
  Form_Unload();
}

void frmMain::Form_Unload() {
  endProgram_();
}

void frmMain::cmdPref_Click() {
  // The timer keeps ticking while the dialog is open.
  frmPreferences dialog([this] { Randomizer(); }, this);
  dialog.exec();
}

void frmMain::cmdInternet_Click() {
  const FailureHandler handler("cmdInternet_Click");
  const QString faq = QDir(platform::applicationDir()).filePath(QStringLiteral("FAQ.html"));
  const QByteArray shortcut = "[InternetShortcut]\r\nURL=" + toAnsi(faq) + "\r\n";
  const QString shortcutPath = platform::resolveFileName(platform::applicationDir(), "FAQ.URL");
  if (!handler.run([&] { platform::replaceFile(shortcutPath, shortcut); })) return;
  handler.run([&] {
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(faq))) throw Failure(Err::FileNotFound);
  });
}

}  // namespace qm::ui
