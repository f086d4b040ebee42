#pragma once

#include <QComboBox>
#include <QListWidget>
#include <QString>

// The two lists of the directory chooser: the machine's drives (its mounted volumes) and the
// folders around a current folder.
namespace qm::ui {

// The mounted volumes that are ready, "/" first; each item's data is the volume's root path.
class DriveList : public QComboBox {
  Q_OBJECT
 public:
  explicit DriveList(QWidget* parent = nullptr);

  // The root path of the selected drive.
  QString drive() const;
};

// The current folder's ancestors from "/" down to it, then its sub-folders, hidden ones last.
// Double-click or Enter opens an entry. A single click, like a list box's click event, only
// sends clickedInList(), and so does every move of the selection by the user (arrow keys) and
// Space: the first click of a double-click records the folder current before the open.
class FolderList : public QListWidget {
  Q_OBJECT
 public:
  static constexpr int PathRole = Qt::UserRole;
  static constexpr int DepthRole = Qt::UserRole + 1;

  explicit FolderList(QWidget* parent = nullptr);

  // Throws Failure PathNotFound (not an existing directory) or PermissionDenied (cannot be
  // listed), changing nothing.
  void setPath(const QString& path);
  // The current folder, canonical: "/" for the root, otherwise without a trailing separator.
  QString path() const { return path_; }

  // The open gesture; a failure box names the list's object name and "_Change" ("Dir1_Change"),
  // as failure reports have always named it.
  void open(const QListWidgetItem* entry);

 signals:
  void clickedInList();

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void fill(const QString& canonical);
  void addEntry(const QString& name, const QString& path, int depth, bool onTheWay);

  QString path_;
  bool filling_ = false;  // the list's own moves of the selection are no click
};

}  // namespace qm::ui
