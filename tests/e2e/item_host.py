"""A panel hosting StatusNotifierItems. Prints "ready", then "item" at each registration; answers
"activate" (clicks the item) with "done", "quit" (clicks Quit in its menu) with "menu <labels>"."""
import sys

from gi.repository import Gio, GLib

ITEM, MENU = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"
WATCHER = Gio.DBusNodeInfo.new_for_xml("""<node><interface name="org.kde.StatusNotifierWatcher">
  <method name="RegisterStatusNotifierItem"><arg type="s" direction="in"/></method>
  <property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
</interface></node>""").interfaces[0]
bus = Gio.bus_get_sync(Gio.BusType.SESSION)
item = None  # (service, path) of the latest registration; python3 -u prints each line at once

def register(connection, sender, path, interface, method, parameters, invocation):
    global item
    name = parameters.unpack()[0]  # a path alone: the item is on the caller's connection
    item = (sender, name) if name.startswith("/") else (name, "/StatusNotifierItem")
    invocation.return_value(None)
    print("item")

def call(path, interface, method, arguments, reply="()"):
    return bus.call_sync(item[0], path, interface, method, arguments, GLib.VariantType.new(reply),
                         Gio.DBusCallFlags.NONE, 5000, None).unpack()

def command(channel, condition):
    verb = sys.stdin.readline().strip()
    try:
        if verb == "activate":
            call(item[1], ITEM, "Activate", GLib.Variant("(ii)", (0, 0)))
            print("done")
        elif verb == "quit":  # reads the item's menu, then clicks its Quit
            path = call(item[1], "org.freedesktop.DBus.Properties", "Get", GLib.Variant("(ss)", (ITEM, "Menu")), "(v)")[0]
            layout = call(path, MENU, "GetLayout", GLib.Variant("(iias)", (0, -1, [])), "(u(ia{sv}av))")[1]
            entries = {child[1].get("label", ""): child[0] for child in layout[2]}
            call(path, MENU, "Event", GLib.Variant("(isvu)", (entries["Quit"], "clicked", GLib.Variant("i", 0), 0)))
            print("menu " + "|".join(entries))
    except Exception as error:  # the test reads the reason instead of waiting in vain
        print(f"error {error!r}")
    return True

bus.register_object("/StatusNotifierWatcher", WATCHER, register, lambda *_: GLib.Variant("b", True), None)
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", Gio.BusNameOwnerFlags.NONE,
                               lambda *_: print("ready"), lambda *_: print("error name taken"))
GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IOCondition.IN, command)
GLib.MainLoop().run()
