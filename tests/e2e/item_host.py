"""A stand-in for a panel that hosts StatusNotifierItems (as KDE Plasma, GNOME's AppIndicator
extension and waybar do) on the session bus: it owns the watcher's name, says that a host is
there, and keeps the item that registered last. Prints "ready", then "item" at each
registration; answers the commands read from standard input, one a line:
  activate       clicks the item, as a panel does        -> "done"
  menu           the item's Menu path and its entries     -> "menu <path> <label>|<label>|..."
  click <label>  clicks that entry of the item's menu     -> "done"
"""
import sys

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
ITEM = "org.kde.StatusNotifierItem"
MENU = "com.canonical.dbusmenu"
INTERFACE = Gio.DBusNodeInfo.new_for_xml(f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
  <signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
  <signal name="StatusNotifierItemUnregistered"><arg type="s"/></signal>
  <signal name="StatusNotifierHostRegistered"/>
</interface></node>""").interfaces[0]

bus = Gio.bus_get_sync(Gio.BusType.SESSION)
item = None  # (service, path) of the latest registration


def say(line):
    print(line, flush=True)


def on_call(connection, sender, path, interface, method, parameters, invocation):
    global item
    if method == "RegisterStatusNotifierItem":
        # A path alone means the item lives on the caller's own connection.
        name = parameters.unpack()[0]
        item = (sender, name) if name.startswith("/") else (name, "/StatusNotifierItem")
        invocation.return_value(None)
        say("item")
    else:
        invocation.return_value(None)


def on_property(connection, sender, path, interface, name):
    values = {
        "RegisteredStatusNotifierItems": GLib.Variant("as", [item[0]] if item else []),
        "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
        "ProtocolVersion": GLib.Variant("i", 0),
    }
    return values[name]


def call(service, path, interface, method, arguments, reply="()"):
    return bus.call_sync(service, path, interface, method, arguments,
                         GLib.VariantType.new(reply), Gio.DBusCallFlags.NONE, 5000, None)


def menu_entries():
    path = call(item[0], item[1], "org.freedesktop.DBus.Properties", "Get",
                GLib.Variant("(ss)", (ITEM, "Menu")), "(v)").unpack()[0]
    layout = call(item[0], path, MENU, "GetLayout", GLib.Variant("(iias)", (0, -1, [])),
                  "(u(ia{sv}av))").unpack()[1]
    entries = [(child[0], child[1].get("label", "")) for child in layout[2]]
    return path, entries


def on_command(channel, condition):
    line = sys.stdin.readline()
    if not line:
        loop.quit()
        return False
    command, _, argument = line.strip().partition(" ")
    try:
        if command == "activate":
            call(item[0], item[1], ITEM, "Activate", GLib.Variant("(ii)", (0, 0)))
            say("done")
        elif command == "menu":
            path, entries = menu_entries()
            say(f"menu {path} " + "|".join(label for _, label in entries))
        elif command == "click":
            ident = next(i for i, label in menu_entries()[1] if label == argument)
            call(item[0], menu_entries()[0], MENU, "Event",
                 GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("i", 0), 0)))
            say("done")
    except Exception as error:  # the test reads the reason instead of waiting in vain
        say(f"error {error}")
    return True


bus.register_object("/StatusNotifierWatcher", INTERFACE, on_call, on_property, None)
Gio.bus_own_name_on_connection(bus, WATCHER, Gio.BusNameOwnerFlags.NONE,
                               lambda *_: say("ready"), lambda *_: say("error name taken"))
GLib.io_add_watch(GLib.IOChannel.unix_new(sys.stdin.fileno()), GLib.PRIORITY_DEFAULT,
                  GLib.IOCondition.IN | GLib.IOCondition.HUP, on_command)
loop = GLib.MainLoop()
loop.run()
