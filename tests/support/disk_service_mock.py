#!/usr/bin/python3
"""A stand-in for the system's disk service on a private bus, for tests.

Serves one block object whose Device is DEVICE; its OpenDevice hands over IMAGE opened
read-only ("grant"), opened for reading and writing ("writable"), or refuses ("refuse").
Each OpenDevice call appends its mode argument to LOG. Prints "ready" once it owns the name.
"""

import os
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

SERVICE = "org.freedesktop.UDisks2"
MANAGER = "org.freedesktop.UDisks2.Manager"
BLOCK = "org.freedesktop.UDisks2.Block"
BLOCK_PATH = "/org/freedesktop/UDisks2/block_devices/test0"


class NotAuthorized(dbus.DBusException):
    _dbus_error_name = "org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain"


class Manager(dbus.service.Object):
    def __init__(self, bus, device):
        super().__init__(bus, "/org/freedesktop/UDisks2/Manager")
        self.device = device

    @dbus.service.method(MANAGER, in_signature="a{sv}a{sv}", out_signature="ao")
    def ResolveDevice(self, wanted, options):
        if str(wanted.get("path", "")) == self.device:
            return dbus.Array([dbus.ObjectPath(BLOCK_PATH)], signature="o")
        return dbus.Array([], signature="o")


class Block(dbus.service.Object):
    def __init__(self, bus, device, image, behaviour, log):
        super().__init__(bus, BLOCK_PATH)
        self.device, self.image, self.behaviour, self.log = device, image, behaviour, log

    @dbus.service.method(BLOCK, in_signature="sa{sv}", out_signature="h")
    def OpenDevice(self, mode, options):
        with open(self.log, "a") as log:
            log.write(str(mode) + "\n")
        if self.behaviour == "refuse":
            raise NotAuthorized("Not authorized to perform operation")
        flags = os.O_RDWR if self.behaviour == "writable" else os.O_RDONLY
        descriptor = os.open(self.image, flags)
        handed = dbus.types.UnixFd(descriptor)
        os.close(descriptor)
        return handed

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        return self.GetAll(interface)[name]

    @dbus.service.method(dbus.PROPERTIES_IFACE, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        if interface != BLOCK:
            return {}
        device = dbus.Array([dbus.Byte(b) for b in self.device.encode() + b"\0"], signature="y")
        return {"Device": device}


def main():
    address, device, image, behaviour, log = sys.argv[1:6]
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(address)
    keep = [Manager(bus, device), Block(bus, device, image, behaviour, log)]
    bus.request_name(SERVICE)
    print("ready", flush=True)
    GLib.MainLoop().run()
    del keep


if __name__ == "__main__":
    main()
