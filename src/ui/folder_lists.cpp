#include "ui/folder_lists.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <algorithm>

#include "common/failure.h"

namespace qm::ui {

namespace {

constexpr int kIndent = 12;  // pixels per level of the folder tree

// Shifts each entry right by its depth, so the names stay plain texts.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.adjust(indent(index), 0, 0, 0);
    QStyledItemDelegate::paint(painter, shifted, index);
  }
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    return QStyledItemDelegate::sizeHint(option, index) + QSize(indent(index), 0);
  }

 private:
  static int indent(const QModelIndex& index) {
    return index.data(FolderList::DepthRole).toInt() * kIndent;
  }
};

QString volumeText(const QStorageInfo& volume) {
  return volume.name().isEmpty() ? volume.rootPath()
                                 : QStringLiteral("%1 [%2]").arg(volume.rootPath(), volume.name());
}

}  // namespace

DriveList::DriveList(QWidget* parent) : QComboBox(parent) {
  QList<QStorageInfo> volumes = QStorageInfo::mountedVolumes();
  std::sort(volumes.begin(), volumes.end(), [](const QStorageInfo& a, const QStorageInfo& b) {
    return a.rootPath() < b.rootPath();
  });
  const QIcon icon = style()->standardIcon(QStyle::SP_DriveHDIcon);
  // The root is always there, even where the volume list leaves it out.
  addItem(icon, QStringLiteral("/"), QStringLiteral("/"));
  for (const QStorageInfo& volume : volumes) {
    if (!volume.isValid() || !volume.isReady()) continue;
    if (findData(volume.rootPath()) >= 0) continue;  // one entry per mount point
    addItem(icon, volumeText(volume), volume.rootPath());
  }
}

QString DriveList::drive() const {
  return currentData().toString();
}

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemClicked, this, &FolderList::clickedInList);
  connect(this, &QListWidget::currentItemChanged, this, [this] {
    if (!filling_) emit clickedInList();
  });
  fill(QStringLiteral("/"));  // never empty, even before a folder is set
}

void FolderList::setPath(const QString& path) {
  const QFileInfo info(path);
  if (path.isEmpty() || !info.isDir()) throw Failure(Err::PathNotFound);
  const QString canonical = info.canonicalFilePath();
  if (canonical.isEmpty()) throw Failure(Err::PathNotFound);
  if (!QDir(canonical).isReadable()) throw Failure(Err::PermissionDenied);
  fill(canonical);
}

void FolderList::open(const QListWidgetItem* entry) {
  if (entry == nullptr) return;
  const QString target = entry->data(PathRole).toString();
  const QByteArray procedure = objectName().toUtf8() + "_Change";
  const FailureHandler handler(std::string_view(procedure.constData(), procedure.size()));
  handler.run([&] { setPath(target); });
}

void FolderList::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QListWidget::mouseDoubleClickEvent(event);
    return;
  }
  open(itemAt(event->position().toPoint()));
  event->accept();
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Space) {
    emit clickedInList();
  } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    open(currentItem());
  } else {
    QListWidget::keyPressEvent(event);
    return;
  }
  event->accept();  // not on to the dialog's default button
}

void FolderList::fill(const QString& canonical) {
  filling_ = true;
  clear();
  path_ = canonical;
  addEntry(QStringLiteral("/"), QStringLiteral("/"), 0, true);
  const QStringList names = canonical.split(QLatin1Char('/'), Qt::SkipEmptyParts);
  QString ancestor;
  for (qsizetype i = 0; i < names.size(); ++i) {
    ancestor += QLatin1Char('/') + names[i];
    addEntry(names[i], ancestor, static_cast<int>(i) + 1, true);
  }
  setCurrentRow(count() - 1);
  const QDir dir(canonical);
  constexpr auto kFolders = QDir::Dirs | QDir::NoDotAndDotDot;
  constexpr auto kByName = QDir::Name | QDir::IgnoreCase;
  const QStringList shown = dir.entryList(kFolders, kByName);
  // Hidden folders (where mail setups usually live) come after the others.
  QStringList subFolders = shown;
  for (const QString& name : dir.entryList(kFolders | QDir::Hidden, kByName)) {
    if (!shown.contains(name)) subFolders << name;
  }
  for (const QString& name : subFolders) {
    addEntry(name, dir.filePath(name), static_cast<int>(names.size()) + 1, false);
  }
  filling_ = false;
}

void FolderList::addEntry(const QString& name, const QString& path, int depth, bool onTheWay) {
  const auto icon = onTheWay ? QStyle::SP_DirOpenIcon : QStyle::SP_DirClosedIcon;
  auto* entry = new QListWidgetItem(style()->standardIcon(icon), name, this);
  entry->setData(PathRole, path);
  entry->setData(DepthRole, depth);
}

}  // namespace qm::ui
