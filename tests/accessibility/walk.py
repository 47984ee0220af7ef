#!/usr/bin/python3
# Drives the desktop program through the accessibility bus, by the names a
# screen reader sees, as assistive technology does: from the main page to the
# imaging page, a copy of a range of a disk into an image set, back to the
# main page, that set under "Select Image" and on to the type page, where
# types are ticked by the bus's Toggle actions alone; then the scan of that
# set, the results ticked through the bus (a whole type by its node, files in
# the list and in the thumbnail grid), a save into a folder and its end
# message. The files ticked are written, one path a line, for the caller to
# check against the saved tree.
# Run by scripts/accessibility-walk, which prepares the display, the bus,
# the disk and the folders.
import os
import sys
import time

import pyatspi

def log(*a):
    print(*a, flush=True)

def find_app(name, timeout=60):
    end = time.time() + timeout
    while time.time() < end:
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name == name:
                return app
        time.sleep(0.3)
    raise SystemExit("no application " + name)

def walk(node, depth=0):
    yield node
    if depth > 12:
        return
    try:
        children = list(node)
    except Exception:
        return
    for child in children:
        if child is not None:
            yield from walk(child, depth + 1)

def showing(node):
    try:
        return node.getState().contains(pyatspi.STATE_SHOWING)
    except Exception:
        return False

def find(root, role=None, name=None, timeout=45, pred=None):
    end = time.time() + timeout
    fresh = root is None
    while time.time() < end:
        if fresh:
            root = find_app("pictora")
        for node in walk(root):
            try:
                if role is not None and node.getRoleName() != role:
                    continue
                if name is not None and node.name != name:
                    continue
                if not showing(node):
                    continue
                if pred is not None and not pred(node):
                    continue
                return node
            except Exception:
                continue
        time.sleep(0.3)
    for node in walk(root):
        try:
            if node.getRoleName() in ("push button", "dialog", "alert"):
                log("seen", node.getRoleName(), repr(node.name), showing(node))
        except Exception:
            pass
    raise SystemExit(f"not found: role={role} name={name}")

def wait_gone(role, name, timeout=45):
    end = time.time() + timeout
    while time.time() < end:
        still = False
        for node in walk(find_app("pictora")):
            try:
                if node.name == name and node.getRoleName() == role and showing(node):
                    still = True
                    break
            except Exception:
                continue
        if not still:
            return
        time.sleep(0.3)
    raise SystemExit(f"still showing: role={role} name={name}")

def dump(node, depth=0):
    try:
        log("  " * depth + f"[{node.getRoleName()}] '{node.name}' showing={showing(node)}")
    except Exception:
        return
    if depth < 10:
        for child in node:
            if child is not None:
                dump(child, depth + 1)

def press(node):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    index = names.index("Press") if "Press" in names else 0
    action.doAction(index)

def select_cell(tree, label, timeout=45):
    cell = find(tree, "table cell", label, timeout=timeout)
    table = tree.queryTable()
    row = table.getRowAtIndex(cell.getIndexInParent())
    try:
        table.addRowSelection(row)
    except Exception as error:
        # A selection that opens a modal browser replies only once it closes.
        if "reply" not in str(error):
            raise
    return cell

def act(node, name):
    action = node.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if name not in names:
        raise SystemExit(f"{node.name!r} offers no {name} action, only {names}")
    action.doAction(names.index(name))

def checked(node):
    return node.getState().contains(pyatspi.STATE_CHECKED)

def wait_for(what, test, timeout=30):
    end = time.time() + timeout
    while time.time() < end:
        if test():
            return
        time.sleep(0.3)
    raise SystemExit("never came: " + what)

def set_text(node, text):
    node.queryEditableText().setTextContents(text)

def answer_box(text, button="OK", timeout=90):
    box = find(None, None, None, timeout=timeout,
               pred=lambda n: n.getRoleName() in ("alert", "dialog") and any(
                   c is not None and c.name == text for c in walk(n)))
    press(find(box, "push button", button))

def info_lines():
    info = find(None, "tree", "Device Information")
    return [c.name for c in walk(info) if c.getRoleName() == "table cell"]

def to_type_page(dest, size_line):
    """From the main page: images sectors 100 to 5100 of the disk whose
    information shows size_line into dest, chooses that set under "Select
    Image" and goes on to the type page, whose tree it returns."""
    press(find(None, "push button", "Image Creation"))
    tree = find(None, "tree", "Sources")
    find(tree, "table cell", "Select Disk")
    # The disk whose lines show the image's size.
    chosen = None
    for _ in range(40):
        labels = [c.name for c in walk(tree) if c.getRoleName() == "table cell" and c.name.startswith("Disk")]
        for label in labels:
            select_cell(tree, label)
            time.sleep(0.3)
            if size_line in info_lines():
                chosen = label
                break
        if chosen:
            break
        time.sleep(0.5)
    if not chosen:
        dump(find_app("pictora"))
        raise SystemExit("no disk of the image's size")
    log("disk", chosen)
    press(find(None, "check box", "Select Range"))
    set_text(find(None, "text", "Starting Range"), "100")
    set_text(find(None, "text", "Ending Range"), "5100")
    press(find(None, "push button", "Next"))
    set_text(find(None, "text", "Destination Image"), dest)
    press(find(None, "push button", "Start"))
    answer_box("Image creation completed successfully.")
    log("imaged")
    # Each Back is pressed only once the page before has gone: pressed at
    # once, the second would reach the imaging page again.
    press(find(None, "push button", "Back"))
    wait_gone("text", "Destination Image")
    find(None, "tree", "Sources")
    press(find(None, "push button", "Back"))
    wait_gone("tree", "Sources")
    press(find(None, "push button", "Pictora"))
    tree = find(None, "tree", "Sources")
    find(tree, "table cell", "Select Disk")
    time.sleep(1)
    select_cell(tree, "Select Image")
    browser = find(None, "dialog", "Select Folder of Image File")
    edits = [n for n in walk(browser) if n.getRoleName() == "text" and showing(n)]
    set_text(edits[-1], dest)
    press(find(browser, "push button", "Choose"))
    find(tree, "table cell", os.path.join(dest, "Image0.img"))
    time.sleep(0.5)
    log("image set lines", info_lines())
    press(find(None, "push button", "Next"))
    types = find(None, "tree", "File types")
    return types

if __name__ == "__main__":
    dest, size_line, saved, ticked_list = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4]
    types = to_type_page(dest, size_line)
    log("type page reached")
    # The types as a screen reader reaches them: the first cell of each row.
    def type_cells():
        return [c for c in walk(types) if c.getRoleName() == "table cell" and c.name in ("JPEG", "PNG", "CR2", "WAV")]
    select_all = find(None, "check box", "Select All")
    act(select_all, "Toggle")
    wait_for("every type ticked",
             lambda: len(type_cells()) == 4 and all(checked(c) for c in type_cells()) and checked(select_all))
    act(select_all, "Toggle")
    wait_for("every type unticked", lambda: len(type_cells()) == 4 and not any(checked(c) for c in type_cells()))
    # A row in view (the first), ticked by its own Toggle action.
    act(find(types, "table cell", "CR2"), "Toggle")
    wait_for("CR2 ticked", lambda: checked(find(types, "table cell", "CR2")))
    log("types ticked through the bus")

    # Every type for the scan, as a click on "Select All" would.
    act(select_all, "Toggle")
    wait_for("every type ticked again", lambda: all(checked(c) for c in type_cells()) and checked(select_all))
    press(find(None, "push button", "Next"))
    found = find(None, "tree", "Found file types", timeout=90)
    # The page's Back button shows once the scan has ended.
    find(None, "push button", "Back", timeout=180)
    log("scan ended")

    def node(prefix):
        return next((c for c in walk(found) if c.getRoleName() == "table cell" and c.name.startswith(prefix)), None)

    wait_for("the found types", lambda: node("JPEG (") is not None and node("PNG (") is not None, timeout=60)
    # A whole type ticked by its node's Toggle action.
    jpegs = int(node("JPEG (").name[len("JPEG ("):-1])
    act(node("JPEG ("), "Toggle")
    wait_for("JPEG ticked", lambda: checked(node("JPEG (")))
    # Another type picked through the bus: the file list follows it.
    select_cell(found, node("PNG (").name)
    files = find(None, "table", "Found files")

    def file_cell(view, name):
        return next((c for c in walk(view) if c.getRoleName() in ("table cell", "list item") and c.name == name), None)

    wait_for("the PNG files listed", lambda: file_cell(files, "File1.PNG") is not None, timeout=60)
    act(file_cell(files, "File1.PNG"), "Toggle")
    wait_for("File1.PNG ticked", lambda: checked(file_cell(files, "File1.PNG")))
    # The same files as thumbnails: a file ticked there is ticked in the list.
    act(find(None, "check box", "Show thumbnails"), "Toggle")
    grid = find(None, "list", "Found files as thumbnails")
    wait_for("the PNG thumbnails", lambda: file_cell(grid, "File3.PNG") is not None)
    act(file_cell(grid, "File3.PNG"), "Toggle")
    wait_for("File3.PNG ticked in the grid", lambda: checked(file_cell(grid, "File3.PNG")))
    act(find(None, "check box", "Show thumbnails"), "Toggle")
    files = find(None, "table", "Found files")
    wait_for("File3.PNG ticked in the list", lambda: checked(file_cell(files, "File3.PNG")))
    wait_for("File2.PNG still not ticked", lambda: not checked(file_cell(files, "File2.PNG")))
    log("files ticked through the bus")

    press(find(None, "push button", "Save"))
    browser = find(None, "dialog", "Select Folder of Image File")
    edits = [n for n in walk(browser) if n.getRoleName() == "text" and showing(n)]
    set_text(edits[-1], saved)
    press(find(browser, "push button", "Choose"))
    answer_box("File Saved Successfully.", timeout=120)
    log("saved")
    with open(ticked_list, "w") as out:
        for path in [f"JPEG/File{n}.JPEG" for n in range(1, jpegs + 1)] + ["PNG/File1.PNG", "PNG/File3.PNG"]:
            out.write(path + "\n")
