"""A stand-in for a panel that hosts StatusNotifierItems on the session bus: it owns the
watcher's name and keeps the item that registered last. Prints "ready", then "item" at each
registration; answers commands on standard input, one a line:
  activate       clicks the item, as a panel does  -> "done"
  menu           the labels of the item's menu     -> "menu <label>|<label>|..."
  click <label>  clicks that entry of the menu     -> "done"
"""
import sys

from gi.repository import Gio, GLib

WATCHER, ITEM, MENU = "org.kde.StatusNotifierWatcher", "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
INTERFACE = Gio.DBusNodeInfo.new_for_xml(f"""<node><interface name="{WATCHER}">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <method name="RegisterStatusNotifierHost"><arg type="s" direction="in"/></method>
  <property name="RegisteredStatusNotifierItems" type="as" access="read"/>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
  <property name="ProtocolVersion" type="i" access="read"/>
</interface></node>""").interfaces[0]
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
item = None  # (service, path) of the latest registration


def say(line):
    print(line, flush=True)


def on_call(connection, sender, path, interface, method, parameters, invocation):
    global item
    invocation.return_value(None)
    if method == "RegisterStatusNotifierItem":
        # A path alone means the item lives on the caller's own connection.
        name = parameters.unpack()[0]
        item = (sender, name) if name.startswith("/") else (name, "/StatusNotifierItem")
        say("item")


def on_property(connection, sender, path, interface, name):
    return {"RegisteredStatusNotifierItems": GLib.Variant("as", [item[0]] if item else []),
            "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
            "ProtocolVersion": GLib.Variant("i", 0)}[name]


def call(path, interface, method, arguments, reply="()"):
    return bus.call_sync(item[0], path, interface, method, arguments, GLib.VariantType.new(reply),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()


def menu():
    path = call(item[1], "org.freedesktop.DBus.Properties", "Get",
                GLib.Variant("(ss)", (ITEM, "Menu")), "(v)")[0]
    layout = call(path, MENU, "GetLayout", GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")
    return path, [(child[0], child[1].get("label", "")) for child in layout[1][2]]


def on_command(channel, condition):
    command, _, argument = sys.stdin.readline().strip().partition(" ")
    try:
        if command == "activate":
            call(item[1], ITEM, "Activate", GLib.Variant("(ii)", (0, 0)))
        elif command == "menu":
            say("menu " + "|".join(label for _, label in menu()[1]))
            return True
        elif command == "click":
            path, entries = menu()
            ident = next(i for i, label in entries if label == argument)
            call(path, MENU, "Event", GLib.Variant("(isvu)", (ident, "clicked", GLib.Variant("i", 0), 0)))
        else:
            loop.quit()
            return False
        say("done")
    except Exception as error:  # the test reads the reason instead of waiting in vain
        say(f"error {error}")
    return True


bus.register_object("/StatusNotifierWatcher", INTERFACE, on_call, on_property, None)
Gio.bus_own_name_on_connection(bus, WATCHER, Gio.BusNameOwnerFlags.NONE,
                               lambda *_: say("ready"), lambda *_: say("error name taken"))
GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT,
                  GLib.IOCondition.IN | GLib.IOCondition.HUP, on_command)
loop = GLib.MainLoop()
loop.run()
