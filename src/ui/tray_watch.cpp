#include "ui/tray_watch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QSystemTrayIcon>

namespace qm::ui {
namespace {

const QString kWatcher = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");

bool itemHostRegistered() {
  const QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kWatcher)) return false;
  const QDBusInterface watcher(kWatcher, kWatcherPath, kWatcher, bus);
  return watcher.property("IsStatusNotifierHostRegistered").toBool();
}

bool onX11() {
  return QGuiApplication::platformName() == QLatin1String("xcb");
}

}  // namespace

TrayWatch::TrayWatch(QObject* parent) : QObject(parent) {
  QDBusConnection bus = QDBusConnection::sessionBus();
  auto* names = new QDBusServiceWatcher(
      kWatcher, bus,
      QDBusServiceWatcher::WatchForRegistration | QDBusServiceWatcher::WatchForUnregistration,
      this);
  connect(names, &QDBusServiceWatcher::serviceRegistered, this, &TrayWatch::changed);
  connect(names, &QDBusServiceWatcher::serviceUnregistered, this, &TrayWatch::changed);
  // A panel takes the watcher's name first and registers as its host a moment later.
  bus.connect(kWatcher, kWatcherPath, kWatcher, QStringLiteral("StatusNotifierHostRegistered"),
              this, SIGNAL(changed()));
  if (onX11()) {
    // Qt's X11 adapter says when an XEmbed tray comes or goes; it is a QObject, declared only
    // in Qt's private headers.
    auto* native = reinterpret_cast<QObject*>(QGuiApplication::platformNativeInterface());
    connect(native, SIGNAL(systemTrayWindowChanged(QScreen*)), this, SIGNAL(changed()));
  }
}

bool TrayWatch::available() const {
  if (itemHostRegistered()) return true;
  // Qt settles at its first look, for the whole process, whether its tray icons are items on the
  // bus. So it is asked only on X11, where an XEmbed tray serves as well; on Wayland an icon is
  // made only once a host is there, and Qt then finds it.
  return onX11() && QSystemTrayIcon::isSystemTrayAvailable();
}

}  // namespace qm::ui
