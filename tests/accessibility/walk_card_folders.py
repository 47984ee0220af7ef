#!/usr/bin/python3
# Drives the desktop program through the accessibility bus as walk.py does, to
# the type page of an image set; then, with the card's file system read,
# through the scan to the card's folders in the results and a save of the
# file found there, by its name.
# Run by scripts/accessibility-walk with ZT_WALK=card-folders, which prepares
# the display, the bus, the disk (a FAT volume where the copy starts) and the
# folders.
import sys

from walk import act, answer_box, checked, find, log, press, select_cell, set_text, showing, to_type_page, wait_for, walk

if __name__ == "__main__":
    dest, size_line, saved = sys.argv[1:4]
    to_type_page(dest, size_line)
    log("type page reached")
    box = find(None, "check box", "Use the card's file system (names, folders, dates)")
    act(box, "Toggle")
    wait_for("the file-system box ticked", lambda: checked(box))
    select_all = find(None, "check box", "Select All")
    act(select_all, "Toggle")
    wait_for("every type ticked", lambda: checked(select_all))
    press(find(None, "push button", "Next"))
    found = find(None, "tree", "Found file types", timeout=120)
    select_cell(found, "DCIM", timeout=120)
    files = find(None, "table", "Found files")
    photo = find(files, "table cell", "photo.jpg")
    log("the card's folder lists", photo.name)
    act(photo, "Toggle")
    wait_for("photo.jpg ticked", lambda: checked(find(files, "table cell", "photo.jpg")))
    press(find(None, "push button", "Save"))
    browser = find(None, "dialog", "Select Folder of Image File")
    edits = [n for n in walk(browser) if n.getRoleName() == "text" and showing(n)]
    set_text(edits[-1], saved)
    press(find(browser, "push button", "Choose"))
    answer_box("File Saved Successfully.")
    log("saved by name")
