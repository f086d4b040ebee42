"""A panel hosting StatusNotifierItems. Prints "ready", then "item" at each registration; answers
"activate" (clicks the item) with "done", "quit" (clicks Quit in its menu) with "menu <labels>"."""
import sys
from gi.repository import Gio, GLib

bus, item = Gio.bus_get_sync(Gio.BusType.SESSION), None  # python3 -u prints each line at once
ITEM, MENU = "org.kde.StatusNotifierItem", "com.canonical.dbusmenu"

def register(_connection, sender, _path, _interface, _method, parameters, invocation):
    global item
    name = parameters.unpack()[0]  # a path alone: the item is on the caller's connection
    item = (sender, name) if name.startswith("/") else (name, "/StatusNotifierItem")
    invocation.return_value(None)
    print("item")

def call(path, interface, method, signature, *arguments, reply="()"):
    return bus.call_sync(item[0], path, interface, method, GLib.Variant(signature, arguments),
                         GLib.VariantType(reply), Gio.DBusCallFlags.NONE, 5000, None).unpack()

def command(*_):  # a failed call ends the watch: the test gets no answer
    if sys.stdin.readline().strip() == "activate":
        call(item[1], ITEM, "Activate", "(ii)", 0, 0)
        return print("done") or True
    menu = call(item[1], "org.freedesktop.DBus.Properties", "Get", "(ss)", ITEM, "Menu", reply="(v)")[0]
    layout = call(menu, MENU, "GetLayout", "(iias)", 0, -1, [], reply="(u(ia{sv}av))")[1]
    entries = {child[1].get("label", ""): child[0] for child in layout[2]}
    call(menu, MENU, "Event", "(isvu)", entries["Quit"], "clicked", GLib.Variant("i", 0), 0)
    return print("menu " + "|".join(entries)) or True

bus.register_object("/StatusNotifierWatcher", Gio.DBusNodeInfo.new_for_xml(
    """<node><interface name="org.kde.StatusNotifierWatcher"><method name="RegisterStatusNotifierItem">
    <arg type="s"/></method><property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
    </interface></node>""").interfaces[0], register, lambda *_: GLib.Variant("b", True), None)
Gio.bus_own_name_on_connection(bus, "org.kde.StatusNotifierWatcher", 0, lambda *_: print("ready"), None)
GLib.io_add_watch(GLib.IOChannel.unix_new(0), GLib.PRIORITY_DEFAULT, GLib.IOCondition.IN, command)
GLib.MainLoop().run()
