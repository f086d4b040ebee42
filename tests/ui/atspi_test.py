#!/usr/bin/python3
"""Uses a copy of the real program through its accessible tree alone, as a screen reader user
would: finds every main-window control by its description, adds, browses, deletes and edits
signatures, opens Preferences, quits, and then checks the bytes of the record files.

Run by atspi_test.sh, which gives it a private X server and a private session bus.
Usage: atspi_test.py PROGRAM WORKDIR
"""

import ctypes
import os
import shutil
import signal
import subprocess
import sys
import time

import gi

gi.require_version("Atspi", "2.0")
from gi.repository import Atspi, Gio, GLib  # noqa: E402
import pyatspi  # noqa: E402

DEADLINE = 20.0  # seconds to wait for anything to appear
TITLE = "ZQ Quillmate 1.0.0"
SIG_RECORD = 255  # bytes of a signature record
SIG_BOX = 253  # characters the signature boxes hold

# The main window as a screen reader finds it: description, role, name, label of a text box.
MAIN_WINDOW = [
    ("Current header", "text", "Header", "Header"),
    ("Show the previous header", "push button", "Previous header", None),
    ("Show the next header", "push button", "Next header", None),
    ("Pick a header at random at each switch", "check box", "Randomize Headers", None),
    ("Add a new header", "push button", "Create Header", None),
    ("Delete the shown header", "push button", "Delete Header", None),
    ("Current signature", "text", "Signature", "Signature"),
    ("Show the previous signature", "push button", "Previous signature", None),
    ("Show the next signature", "push button", "Next signature", None),
    ("Pick a signature at random at each switch", "check box", "Randomize Signatures", None),
    ("Add a new signature", "push button", "Create Signature", None),
    ("Edit the shown signature", "push button", "Edit Sig", None),
    ("Delete the shown signature", "push button", "Delete Sig", None),
    ("Current footer", "text", "Footer", "Footer"),
    ("Show the previous footer", "push button", "Previous footer", None),
    ("Show the next footer", "push button", "Next footer", None),
    ("Pick a footer at random at each switch", "check box", "Randomize Footers", None),
    ("Add a new footer", "push button", "Create Footer", None),
    ("Delete the shown footer", "push button", "Delete Footer", None),
    ("Open the help page", "push button", "Help", None),
    ("Change where and how often the signature is written", "push button", "Preferences", None),
    ("Write the signature files now", "push button", "Write Sig Now", None),
    ("Hide the window in the notification area", "push button", "Minimize", None),
    ("End Quillmate", "push button", "Quit", None),
]

PREFERENCES = [
    ("Mail program, which decides the kind of file", "combo box", None, "Mail Program"),
    ("Folder the signature files are written to", "text", "Location of Signature File",
     "Location of Signature File"),
    ("Pick the folder from a list of folders", "push button", "Choose directory", None),
    ("Time between two switches", "slider", "Random Interval", "Random Interval"),
    ("Start with only the tray icon showing", "check box", "Start Minimized in Tray", None),
    ("Save these preferences and switch at once", "push button", "Save", None),
    ("Close the preferences", "push button", "Done", None),
]


class Failed(Exception):
    pass


def check(condition, what):
    if not condition:
        raise Failed(what)


def equal(actual, expected, what):
    if actual != expected:
        raise Failed(f"{what}: got {actual!r}, expected {expected!r}")


def pump():
    context = GLib.MainContext.default()
    while context.pending():
        context.iteration(False)


def wait_for(what, probe, deadline=DEADLINE):
    """Polls probe until it gives something other than None or False."""
    end = time.monotonic() + deadline
    while True:
        pump()
        try:
            found = probe()
        except GLib.Error:
            found = None  # an object that went away while we looked
        if found is not None and found is not False:
            return found
        if time.monotonic() > end:
            raise Failed(f"waited {deadline:.0f} s for {what}")
        time.sleep(0.05)


def accessibility_bus_up():
    """Asks the session bus for the accessibility bus, which starts it."""
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def address():
        reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress",
                                  None, GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, 5000,
                                  None)
        return reply.unpack()[0] or None

    wait_for("the accessibility bus", address)


# --- the tree ------------------------------------------------------------------------------


def children(node):
    return [node.getChildAtIndex(i) for i in range(node.childCount)]


def descendants(node):
    for child in children(node):
        if child is None:
            continue
        yield child
        yield from descendants(child)


def states(node):
    return node.getState()


def showing(node):
    return states(node).contains(pyatspi.STATE_SHOWING)


def labelled_by(node):
    labels = []
    for relation in node.getRelationSet():
        if relation.getRelationType() == pyatspi.RELATION_LABELLED_BY:
            labels += [relation.getTarget(i) for i in range(relation.getNTargets())]
    return labels


def dump(node, depth=0, out=sys.stdout):
    try:
        line = f"{'  ' * depth}{node.getRoleName()} name={node.name!r}"
        line += f" description={node.description!r}"
        labels = [label.name for label in labelled_by(node)]
        if labels:
            line += f" labelled-by={labels!r}"
        try:
            line += f" text={node.queryText().getText(0, -1)!r}"
        except NotImplementedError:
            pass
        print(line, file=out)
        for child in children(node):
            if child is not None:
                dump(child, depth + 1, out)
    except GLib.Error as error:
        print(f"{'  ' * depth}<gone: {error}>", file=out)


def application(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def window(app, role, name):
    """The shown top-level window of this role and name."""
    return wait_for(
        f"the {role} {name!r}", lambda: next(
            (w for w in children(app)
             if w is not None and w.getRoleName() == role and w.name == name and showing(w)),
            None))


def gone(app, role, name):
    wait_for(
        f"the {role} {name!r} to close", lambda: not any(
            w is not None and w.getRoleName() == role and w.name == name and showing(w)
            for w in children(app)))


def by_description(win, description):
    found = [n for n in descendants(win) if n.description == description]
    check(len(found) == 1, f"{len(found)} controls described {description!r}")
    return found[0]


def by_role_and_name(win, role, name):
    found = [n for n in descendants(win) if n.getRoleName() == role and n.name == name]
    check(len(found) == 1, f"{len(found)} {role}s named {name!r}")
    return found[0]


def act(node, action):
    """Runs one named action (Press, Toggle) of the control."""
    actions = node.queryAction()
    names = [actions.getName(i) for i in range(actions.nActions)]
    check(action in names, f"{node.name!r} offers {names!r}, not {action!r}")
    actions.doAction(names.index(action))


def text(node):
    return node.queryText().getText(0, -1)


def set_text(node, value):
    node.queryEditableText().setTextContents(value)
    wait_for(f"{value!r} in {node.name!r}", lambda: text(node) == value)


def check_controls(win, table):
    for description, role, name, label in table:
        node = by_description(win, description)
        equal(node.getRoleName(), role, f"role of {description!r}")
        if name is not None:
            equal(node.name, name, f"name of {description!r}")
        if label is not None:
            labels = labelled_by(node)
            equal([(x.getRoleName(), x.name) for x in labels], [("label", label)],
                  f"labels of {description!r}")


def says(node):
    try:
        return text(node)
    except NotImplementedError:
        return node.name


def answer(app, title, prompt, button, ends=False):
    """Answers the message box with this title and prompt; unless the answer ends the program,
    waits for the box to close."""
    box = window(app, "alert", title)
    check(any(says(n) == prompt for n in descendants(box)),
          f"the box {title!r} does not say {prompt!r}")
    act(by_role_and_name(box, "push button", button), "Press")
    if not ends:
        gone(app, "alert", title)


# --- the session ---------------------------------------------------------------------------


def shown(record_text):
    """A signature record as its box shows it: the first 253 characters, line breaks as LF."""
    record = record_text.replace("\n", "\r\n").ljust(SIG_RECORD)
    return record[:SIG_BOX].replace("\r\n", "\n")


def record(record_text):
    return record_text.replace("\n", "\r\n").encode("cp1252").ljust(SIG_RECORD, b" ")


def add_signature(app, frame, signature):
    act(by_description(frame, "Add a new signature"), "Press")
    dialog = window(app, "dialog", "Add New Signature")
    equal(dialog.description, "Type a new signature", "the add dialog's description")
    check_controls(dialog, [
        ("Text of the new signature", "text", "New Signature", "New Signature"),
        ("Add the signature to the list", "push button", "Save", None),
        ("Close without adding", "push button", "Cancel", None),
    ])
    box = by_description(dialog, "Text of the new signature")
    equal(text(box), "", "the new dialog's box")
    set_text(box, signature)
    act(by_description(dialog, "Add the signature to the list"), "Press")
    answer(app, "Continue....", "Do you wish to add another?", "No")
    gone(app, "dialog", "Add New Signature")


def show_in_sig_box(frame, button, expected):
    act(by_description(frame, button), "Press")
    box = by_description(frame, "Current signature")
    wait_for(f"{expected.strip()!r} in the signature box", lambda: text(box) == expected)


def session(pid):
    # Nothing cached: every look at the tree asks the program afresh.
    pyatspi.Registry.getDesktop(0).set_cache_mask(Atspi.Cache.NONE)
    app = wait_for("the program in the accessible tree", lambda: application(pid))
    try:
        run_session(app)
    except Exception:
        print("The program's accessible tree:")
        dump(app)
        raise


def run_session(app):
    frame = window(app, "frame", TITLE)
    equal(frame.description, "Rotates the header, signature and footer of your e-mail",
          "the main window's description")

    # Every control is found by its description, and nothing that takes the focus is left out.
    check_controls(frame, MAIN_WINDOW)
    focusable = [n for n in descendants(frame) if states(n).contains(pyatspi.STATE_FOCUSABLE)]
    equal(sorted(n.description for n in focusable), sorted(row[0] for row in MAIN_WINDOW),
          "the main window's focusable controls")
    names = [n.name for n in focusable]
    equal(len(set(names)), len(names), "distinct names")

    sig_box = by_description(frame, "Current signature")
    equal(text(sig_box), shown(SEED), "the signature shown at start")

    add_signature(app, frame, FIRST)
    add_signature(app, frame, SECOND)
    # The main window is not refreshed by adding.
    equal(text(sig_box), shown(SEED), "the signature box after adding")

    show_in_sig_box(frame, "Show the next signature", shown(FIRST))
    show_in_sig_box(frame, "Show the next signature", shown(SECOND))
    # At the last one Next stays; Previous then goes back one.
    act(by_description(frame, "Show the next signature"), "Press")
    show_in_sig_box(frame, "Show the previous signature", shown(FIRST))

    # Deleting asks nothing and shows the first remaining signature.
    show_in_sig_box(frame, "Delete the shown signature", shown(SEED))

    # Editing takes the shown signature out and appends the edited text.
    act(by_description(frame, "Edit the shown signature"), "Press")
    editor = window(app, "dialog", "Edit Sig")
    equal(editor.description, "Change the shown signature", "the editor's description")
    close = "Close the editor; unless saved, the signature goes back as it was"
    check_controls(editor, [
        ("Text of the signature being edited", "text", "Signature", None),
        ("Store the edited signature", "push button", "Save", None),
        (close, "push button", "Cancel", None),
    ])
    edit_box = by_description(editor, "Text of the signature being edited")
    equal(text(edit_box), SEED.strip(), "the editor's box")
    equal(text(sig_box), shown(SECOND), "the signature box while editing")
    set_text(edit_box, EDITED)
    save = by_description(editor, "Store the edited signature")
    act(save, "Press")
    done = by_description(editor, close)
    wait_for("the Done button", lambda: done.name == "Done")
    check(not states(save).contains(pyatspi.STATE_ENABLED), "Save is still enabled")
    act(done, "Press")
    gone(app, "dialog", "Edit Sig")
    equal(text(sig_box), shown(SECOND), "the signature box after editing")

    randomize = by_description(frame, "Pick a footer at random at each switch")
    act(randomize, "Toggle")
    wait_for("the footer box ticked", lambda: states(randomize).contains(pyatspi.STATE_CHECKED))

    act(by_description(frame, "Change where and how often the signature is written"), "Press")
    preferences = window(app, "dialog", "Preferences")
    equal(preferences.description,
          "Where and how the signature is written, and how often it switches",
          "the Preferences description")
    check_controls(preferences, PREFERENCES)
    act(by_description(preferences, "Close the preferences"), "Press")
    gone(app, "dialog", "Preferences")

    act(by_description(frame, "End Quillmate"), "Press")
    answer(app, "Really Quit?", "Do you wish to end this session?", "Yes", ends=True)


SEED = "Kind regards"
FIRST = "Best regards,\nAnn"
SECOND = "Grüße, Chloé"
EDITED = "Kind regards,\nZoë"


def die_with_parent():
    ctypes.CDLL("libc.so.6", use_errno=True).prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


def main():
    program, work = sys.argv[1], sys.argv[2]
    app_dir = os.path.join(work, "app")
    os.makedirs(app_dir)
    copy = os.path.join(app_dir, "quillmate")
    shutil.copy2(program, copy)
    with open(os.path.join(app_dir, "Sig.qmd"), "wb") as seed:
        seed.write(record(SEED))

    accessibility_bus_up()
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    env.pop("QT_QPA_PLATFORM", None)
    log_path = os.path.join(work, "quillmate.log")
    with open(log_path, "wb") as log:
        child = subprocess.Popen([copy], cwd=work, env=env, stdout=log, stderr=subprocess.STDOUT,
                                 preexec_fn=die_with_parent)
    try:
        session(child.pid)
        try:
            equal(child.wait(timeout=DEADLINE), 0, "the program's exit code")
        except subprocess.TimeoutExpired:
            raise Failed("the program did not end after Quit")

        with open(os.path.join(app_dir, "Sig.qmd"), "rb") as store:
            equal(store.read(), record(SECOND) + record(EDITED), "Sig.qmd")
        with open(os.path.join(app_dir, "zq.ini"), "rb") as ini:
            check(b"FootRandom=1\r\n" in ini.read(), "zq.ini does not hold FootRandom=1")
    except Exception:
        with open(log_path, "rb") as log:
            said = log.read().decode("utf-8", "replace")
        if said:
            print("The program said:\n" + said)
        raise
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    print("The session through the accessible tree went as expected.")


if __name__ == "__main__":
    # The wrapper keeps the buses' chatter out of the report, which goes to descriptor 3.
    try:
        os.dup2(3, 1)
        os.dup2(3, 2)
        os.close(3)
    except OSError:
        pass  # run by hand: the report goes where it always goes
    try:
        main()
    except Failed as failure:
        print(f"FAILED: {failure}")
        sys.exit(1)
