#include "ui/activation.h"

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <QRegularExpression>
#include <QWidget>
#include <algorithm>
#include <array>
#include <cstring>

namespace qm::ui {
namespace {

// WM_HINTS: flags, input, initial state, and six more fields.
constexpr uint32_t kHintFields = 9;
constexpr uint32_t kStateHint = 1U << 1;
constexpr uint32_t kNormalState = 1;

// The launcher's time in an X11 startup id ("..._TIME1234"), or 0.
xcb_timestamp_t launchTime(const QByteArray& startupId) {
  static const QRegularExpression time(QStringLiteral("_TIME([0-9]+)$"));
  return time.match(QString::fromLatin1(startupId)).captured(1).toUInt();
}

// The window manager's activation request (_NET_ACTIVE_WINDOW), stamped with the launcher's time
// instead of the time of this program's last event.
void requestActivation(xcb_connection_t* connection, xcb_window_t window, xcb_timestamp_t time) {
  const char name[] = "_NET_ACTIVE_WINDOW";
  xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
      connection, xcb_intern_atom(connection, 0, std::strlen(name), name), nullptr);
  if (!atom) return;
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = window;
  event.type = atom->atom;
  event.data.data32[0] = 1;  // from an application
  event.data.data32[1] = time;
  std::free(atom);
  const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
  xcb_send_event(connection, 0, root,
                 XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                 reinterpret_cast<const char*>(&event));
  xcb_flush(connection);
}

}  // namespace

void showNextNormal(QWidget* window) {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (!x11 || !window->windowHandle()) return;
  xcb_connection_t* connection = x11->connection();
  const auto id = static_cast<xcb_window_t>(window->winId());
  xcb_get_property_reply_t* reply = xcb_get_property_reply(
      connection,
      xcb_get_property(connection, 0, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 0, kHintFields),
      nullptr);
  if (reply && reply->format == 32) {
    std::array<uint32_t, kHintFields> hints{};
    const auto size = std::min<std::size_t>(xcb_get_property_value_length(reply), sizeof hints);
    std::memcpy(hints.data(), xcb_get_property_value(reply), size);
    hints[0] |= kStateHint;
    hints[2] = kNormalState;
    xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS,
                        32, kHintFields, hints.data());
    xcb_flush(connection);
  }
  std::free(reply);
}

void bringForward(QWidget* window, const QByteArray& token) {
  // Qt's Wayland adapter sends this token with the window's next activation request, once.
  if (!token.isEmpty() && QGuiApplication::platformName() == QLatin1String("wayland")) {
    qputenv("XDG_ACTIVATION_TOKEN", token);
  }
  window->raise();
  window->activateWindow();
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (const xcb_timestamp_t time = launchTime(token); x11 && time != 0) {
    requestActivation(x11->connection(), static_cast<xcb_window_t>(window->winId()), time);
  }
}

}  // namespace qm::ui
