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
#include <algorithm>
#include <vector>

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
#include "ui/frmEntry.h"
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

QFrame* line(QWidget* parent) {
  auto* frame = new QFrame(parent);
  frame->setFrameShape(QFrame::HLine);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

// The main window's lists, top to bottom, with the names their controls are known by.
std::array<frmMain::List, kStores.size()> listTable() {
  return {{
      {.store = &kHeaders,
       .noun = "header",
       .label = "lblHead",
       .labelCaption = "Header",
       .box = "txtHeader",
       .randomize = "Check1",
       .randomizeCaption = "&Randomize Headers",
       .startFlag = &SettingsInMemory::HeadRandomFlag,
       .previous = "cmdPrevH",
       .next = "cmdNextH",
       .add = "cmdNewHead",
       .addCaption = "Create &Header",
       .addKind = &kAddHeader,
       .edit = nullptr,
       .editCaption = nullptr,
       .remove = "cmdDeleteHeader",
       .removeCaption = "&Delete Header"},
      {.store = &kSignatures,
       .noun = "signature",
       .label = "Label2",
       .labelCaption = "Signature",
       .box = "txtSig",
       .randomize = "Check2",
       .randomizeCaption = "Randomize Sig&natures",
       .startFlag = &SettingsInMemory::SigRandomFlag,
       .previous = "cmdPrev",
       .next = "cmdNext",
       .add = "cmdNewSig",
       .addCaption = "Create &Signature",
       .addKind = &kAddSignature,
       .edit = "cmdEditSig",
       .editCaption = "&Edit Sig",
       .remove = "cmdDeleteSig",
       .removeCaption = "Delete Si&g"},
      {.store = &kFooters,
       .noun = "footer",
       .label = "Label3",
       .labelCaption = "Footer",
       .box = "txtFooter",
       .randomize = "Check3",
       .randomizeCaption = "Randomize F&ooters",
       .startFlag = &SettingsInMemory::FootRandomFlag,
       .previous = "cmdPrevF",
       .next = "cmdNextF",
       .add = "cmdNewFoot",
       .addCaption = "Create &Footer",
       .addKind = &kAddFooter,
       .edit = nullptr,
       .editCaption = nullptr,
       .remove = "cmdDeleteFooter",
       .removeCaption = "Delete Foo&ter"},
  }};
}

// The list's buttons in their column: add, edit, delete.
std::vector<QPushButton*> columnButtons(QWidget* parent, const frmMain::List& list) {
  std::vector<QPushButton*> column{button(parent, list.add, list.addCaption)};
  if (list.edit) column.push_back(button(parent, list.edit, list.editCaption));
  column.push_back(button(parent, list.remove, list.removeCaption));
  return column;
}

// One list's area: label and box on the left with the browse buttons and the randomize box
// under them, the list's buttons in a column on the right.
QGridLayout* area(QWidget* parent, const frmMain::List& list,
                  const std::vector<QPushButton*>& column) {
  auto* grid = new QGridLayout;
  grid->addWidget(label(parent, list.label, list.labelCaption), 0, 0);
  grid->addWidget(dynamic_cast<QWidget*>(list.shown), 1, 0);
  auto* under = new QHBoxLayout;
  under->addWidget(compactButton(parent, list.previous, "<", "Prev"));
  under->addWidget(compactButton(parent, list.next, ">", "Next"));
  under->addSpacing(12);
  under->addWidget(list.ticked);
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
    : lblCurrent(label(this, "lblCurrent")),
      lblNext(label(this, "lblNext")),
      Timer1(schedule.ticker),
      lists_(listTable()),
      endProgram_(std::move(endProgram)),
      tray_(new TrayWatch(this)) {
  exposeRoles("qm::ui::frmMain");
  setObjectName(QStringLiteral("frmMain"));
  Timer1->setObjectName(QStringLiteral("Timer1"));
  setWindowTitle(QStringLiteral("ZQ Quillmate"));
  setWindowIcon(appIcon());
  connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
  connect(&schedule, &SwitchSchedule::due, this, &frmMain::Randomizer);
  // A tray that comes after the start, goes or comes back takes or gives back a window put away.
  connect(tray_, &TrayWatch::changed, this, [this] {
    if (putAway_) putAway();
  });
  for (List& list : lists_) {
    list.shown = &dynamic_cast<AnsiTextBox&>(*entryBox(*list.store, list.box, this));
    list.ticked =
        named(new QCheckBox(QString::fromLatin1(list.randomizeCaption), this), list.randomize);
    // A ticked or cleared box is stored at once, not on Quit.
    connect(list.ticked, &QCheckBox::toggled, this, [key = list.store->randomKey](bool ticked) {
      writeINI(ModSig.IniPath, "Settings", key, ticked ? "1" : "0");
    });
  }
  txtHeader = findChild<LineBox*>(QStringLiteral("txtHeader"));
  txtSig = findChild<MultiLineBox*>(QStringLiteral("txtSig"));
  txtFooter = findChild<LineBox*>(QStringLiteral("txtFooter"));
  Check1 = findChild<QCheckBox*>(QStringLiteral("Check1"));
  Check2 = findChild<QCheckBox*>(QStringLiteral("Check2"));
  Check3 = findChild<QCheckBox*>(QStringLiteral("Check3"));
  setLayout(buildLayout());
  connectListButtons();
  describeControls();
  setMinimumWidth(sizeHint().width() + 60);
  Form_Load();
  // The timer runs from the load on, however the load ended; the window is not shown yet.
  schedule.sleep();
}

const frmMain::List& frmMain::listOf(const TextStore& store) const {
  return *std::find_if(lists_.begin(), lists_.end(),
                       [&](const List& list) { return list.store == &store; });
}

QLayout* frmMain::buildLayout() {
  std::array<std::vector<QPushButton*>, kStores.size()> columns;
  for (std::size_t i = 0; i < lists_.size(); ++i) columns[i] = columnButtons(this, lists_[i]);
  // One width for the button columns, so the areas line up.
  int columnWidth = 0;
  for (const auto& column : columns) {
    for (QPushButton* b : column) columnWidth = std::max(columnWidth, b->sizeHint().width());
  }
  for (const auto& column : columns) {
    for (QPushButton* b : column) b->setFixedWidth(columnWidth);
  }

  auto* layout = new QVBoxLayout;
  for (std::size_t i = 0; i < lists_.size(); ++i) {
    if (i > 0) layout->addWidget(line(this));
    // The boxes of several lines take the height the window gains.
    layout->addLayout(area(this, lists_[i], columns[i]), lists_[i].store->multiLine ? 1 : 0);
  }

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
  std::vector<Described> controls;
  std::vector<const char*> order;
  for (const List& list : lists_) {
    const QString noun = QString::fromLatin1(list.noun);
    const auto add = [&](const char* object, QString name, QString description,
                         const char* label = nullptr) {
      controls.push_back({object, std::move(name), std::move(description), label});
      order.push_back(object);
    };
    add(list.box, {}, "Current " + noun, list.label);
    add(list.previous, "Previous " + noun, "Show the previous " + noun);
    add(list.next, "Next " + noun, "Show the next " + noun);
    add(list.randomize, {}, "Pick a " + noun + " at random at each switch");
    add(list.add, {}, "Add a new " + noun);
    if (list.edit) add(list.edit, {}, "Edit the shown " + noun);
    add(list.remove, {}, "Delete the shown " + noun);
  }
  controls.insert(controls.end(),
                  {
                      {"cmdInternet", "Help", "Open the help page"},
                      {"cmdPref", {}, "Change where and how often the signature is written"},
                      {"Command1", {}, "Write the signature files now"},
                      {"cmdMin", {}, "Hide the window in the notification area"},
                      {"cmdQuit", {}, "End Quillmate"},
                      {"lblCurrent", {}, "Current time"},
                      {"lblNext", {}, "Time of the next switch"},
                  });
  describe(this, "Rotates the header, signature and footer of your e-mail", controls);
  // Tab goes area by area: the box, its browse buttons and randomize box, then its column; the
  // bottom row last.
  order.insert(order.end(), {"cmdInternet", "cmdPref", "Command1", "cmdMin", "cmdQuit"});
  chainTabOrder(this, order);
}

void frmMain::Form_Load() {
  const FailureHandler handler("Form_Load");
  setWindowTitle(windowTitle() + QLatin1Char(' ') + QStringLiteral(QUILLMATE_VERSION));
  for (const List& list : lists_) {
    if (!handler.run([&] { list.ticked->setChecked(toTicked(ModSig.*list.startFlag)); })) return;
  }
  schedule.TickCount = 0;
  for (const TextStore* store : kLoadOrder) {
    const List& list = listOf(*store);
    if (!handler.run([&] {
          const int count = CountRecords(*store);
          if (count == 0) return;
          const QByteArray record = ReadRecord(*store, store->showsFirst ? 1 : count);
          list.shown->setAnsiText(store->showsFirst ? QByteArrayView(record) : trimOuter(record));
        })) {
      return;
    }
  }
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
