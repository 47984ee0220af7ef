#!/usr/bin/env python3
"""A stand-in for udisks2 on a private bus, for the tests of disk access through it.

Usage: fake_udisks2.py STATE_FOLDER

It connects to DBUS_SYSTEM_BUS_ADDRESS, owns org.freedesktop.UDisks2 and answers
Manager.ResolveDevice and Block.OpenDevice. Files in STATE_FOLDER steer it:
  refuse    OpenDevice answers NotAuthorized, as polkit does for a refused password
  writable  OpenDevice hands over a descriptor open for writing (on STATE_FOLDER/scratch)
It appends every OpenDevice request to STATE_FOLDER/calls, one line of
"mode=... interactive=... no_user_interaction=...", and creates
STATE_FOLDER/ready once it owns its name. It ends by itself after a while, so
a test that dies never leaves it behind.
"""
import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

BUS_NAME = "org.freedesktop.UDisks2"
LIFETIME_SECONDS = 300


class NotAuthorized(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.UDisks2.Error.NotAuthorized"


class Failed(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.UDisks2.Error.Failed"


class Block(dbus.service.Object):
    def __init__(self, bus, path, device, state):
        super().__init__(bus, path)
        self.device = device
        self.state = state

    @dbus.service.method("org.freedesktop.UDisks2.Block", in_signature="sa{sv}", out_signature="h",
                         message_keyword="message")
    def OpenDevice(self, mode, options, message):
        no_interaction = bool(options.get("auth.no_user_interaction", False))
        with open(os.path.join(self.state, "calls"), "a") as calls:
            calls.write("mode=%s interactive=%d no_user_interaction=%d\n"
                        % (mode, int(message.get_allow_interactive_authorization()), int(no_interaction)))
        if os.path.exists(os.path.join(self.state, "refuse")):
            raise NotAuthorized("Not authorized to perform operation")
        if mode != "r":
            raise Failed("this service opens devices for reading only, asked for mode " + mode)
        if os.path.exists(os.path.join(self.state, "writable")):
            fd = os.open(os.path.join(self.state, "scratch"), os.O_RDWR | os.O_CREAT, 0o600)
        else:
            fd = os.open(self.device, os.O_RDONLY)
        try:
            return dbus.types.UnixFd(fd)  # holds its own copy
        finally:
            os.close(fd)


class Manager(dbus.service.Object):
    def __init__(self, bus, state):
        super().__init__(bus, "/org/freedesktop/UDisks2/Manager")
        self.bus = bus
        self.state = state
        self.blocks = {}

    @dbus.service.method("org.freedesktop.UDisks2.Manager", in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, devspec, options):
        path = str(devspec.get("path", ""))
        if not path.startswith("/dev/") or not os.path.exists(path):
            return dbus.Array([], signature="o")
        device = os.path.realpath(path)
        name = "".join(c if c.isalnum() else "_" for c in os.path.basename(device))
        object_path = "/org/freedesktop/UDisks2/block_devices/" + name
        if object_path not in self.blocks:
            self.blocks[object_path] = Block(self.bus, object_path, device, self.state)
        return dbus.Array([dbus.ObjectPath(object_path)], signature="o")


def main():
    state = sys.argv[1]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
    manager = Manager(bus, state)
    name = dbus.service.BusName(BUS_NAME, bus, do_not_queue=True)
    open(os.path.join(state, "ready"), "w").close()
    loop = GLib.MainLoop()
    GLib.timeout_add_seconds(LIFETIME_SECONDS, loop.quit)
    loop.run()
    del manager, name


if __name__ == "__main__":
    main()
