// The main window's work on the lists: browsing, deleting, and taking a signature out to edit.
#include <QPushButton>

#include "common/ansi.h"
#include "common/failure.h"
#include "stores/text_store.h"
#include "ui/frmEntry.h"
#include "ui/frmMain.h"
#include "ui/text_boxes.h"

namespace qm::ui {

void frmMain::connectListButtons() {
  const auto on = [this](const char* name, std::function<void()> handler) {
    connect(findChild<QPushButton*>(QString::fromLatin1(name)), &QPushButton::clicked, this,
            std::move(handler));
  };
  // Failure boxes name the button's click handler.
  const auto click = [](const char* name) { return std::string(name) + "_Click"; };
  for (const List& list : lists_) {
    on(list.previous, [this, &list, p = click(list.previous)] { browse(list, -1, p.c_str()); });
    on(list.next, [this, &list, p = click(list.next)] { browse(list, 1, p.c_str()); });
    on(list.remove, [this, &list, p = click(list.remove)] { deleteShown(list, p.c_str()); });
    // The shown entries stay as they are after an add.
    QPushButton* opener = findChild<QPushButton*>(QString::fromLatin1(list.add));
    connect(opener, &QPushButton::clicked, this, [this, opener, kind = list.addKind] {
      frmEntry dialog(*kind, opener, false, this);
      dialog.exec();
    });
    if (list.edit) on(list.edit, [this] { cmdEditSig_Click(); });
  }
}

bool frmMain::mayShowCut(const List& list) const {
  // Then the box is full, but for the place a line break that did not fit leaves free.
  return list.shown->limit() < list.store->length &&
         list.shown->ansiText().size() + 1 >= list.shown->limit();
}

std::optional<int> frmMain::findShown(const List& list) const {
  if (const auto n = FindRecord(*list.store, list.shown->ansiText())) return n;
  if (!mayShowCut(list)) return std::nullopt;
  return FindRecordBeginning(*list.store, list.shown->ansiText());
}

void frmMain::browse(const List& list, int step, const char* procedure) {
  const FailureHandler handler(procedure);
  int count = 0;
  if (!handler.run([&] { count = checkedRecordNumber(CountRecords(*list.store)); })) return;
  if (count < 2) return;
  std::optional<int> shown;
  if (!handler.run([&] { shown = findShown(list); })) return;
  if (!shown || *shown + step < 1 || *shown + step > count) return;
  handler.run([&] { list.shown->setAnsiText(ReadRecord(*list.store, *shown + step)); });
}

void frmMain::deleteShown(const List& list, const char* procedure) {
  const FailureHandler handler(procedure);
  // An overflow ignored leaves the list alone: no record number could name what it removes.
  std::optional<int> before;
  if (!handler.run([&] { before = checkedRecordNumber(CountRecords(*list.store)); }) || !before) {
    return;
  }
  QByteArray text = list.shown->ansiText();
  if (mayShowCut(list) && !handler.run([&] {
        if (const auto shown = findShown(list)) text = ReadRecord(*list.store, *shown);
      })) {
    return;
  }
  Removal removal = Removal::Abandoned;
  if (!handler.run([&] { removal = RemoveRecord(*list.store, text); })) return;
  // A removal given up leaves the box too, so that Delete tries the same entry again.
  if (removal == Removal::Abandoned) return;
  int after = 0;
  if (!handler.run([&] { after = CountRecords(*list.store); })) return;
  showRemaining(list, *before, after, handler);
}

void frmMain::showRemaining(const List& list, int before, int remaining,
                            const FailureHandler& handler) {
  if (remaining == 0) {
    // A list of one entry loses it whatever the box showed; when every one of several entries
    // matched, the box keeps the deleted text.
    if (before <= 1) list.shown->setAnsiText({});
    return;
  }
  handler.run([&] {
    list.shown->setAnsiText(list.store->showsFirst
                                ? ReadRecord(*list.store, 1)
                                : trimOuter(ReadRecord(*list.store, remaining)).toByteArray());
  });
}

void frmMain::cmdEditSig_Click() {
  EditSigText = fittedRecord(txtSig->ansiText(), kSignatures.length);
  const FailureHandler handler("cmdEditSig_Click");
  std::optional<int> before;
  if (!handler.run([&] { before = checkedRecordNumber(CountRecords(kSignatures)); }) || !before) {
    return;
  }
  // The shown signature is not taken out of the store but moved to its end, where the editor
  // holds it until Save replaces it: whatever ends the program meanwhile, the list on disk is
  // the one before the edit or the one after it.
  std::optional<int> held;
  if (!handler.run([&] { held = MoveRecordToEnd(kSignatures, txtSig->ansiText(), EditSigText); })) {
    return;
  }
  if (!held) return;  // the signature is where it was: nothing to edit
  int after = 0;
  if (!handler.run([&] { after = CountRecords(kSignatures); })) return;
  showRemaining(listOf(kSignatures), *before, after - (*held > 0 ? 1 : 0), handler);
  frmEntry editor(kEditSignature, nullptr, *held > 0, this);
  openEditor_ = &editor;
  editor.exec();
  openEditor_ = nullptr;
}

int frmMain::heldRecords(const List& list) const {
  return openEditor_ && openEditor_->store() == list.store ? openEditor_->heldRecords() : 0;
}

}  // namespace qm::ui
