#pragma once

#include <QObject>

namespace qm::ui {

// Whether a notification area is there, and word whenever one comes or goes: a panel that hosts
// status notifier items on the session bus (any desktop, Wayland too), or an XEmbed tray on X11.
// Autostart may start the program before the panel, and a panel may restart.
class TrayWatch : public QObject {
  Q_OBJECT
 public:
  explicit TrayWatch(QObject* parent);
  bool available() const;

 signals:
  void changed();
};

}  // namespace qm::ui
