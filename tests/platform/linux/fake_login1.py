#!/usr/bin/env python3
"""A stand-in login manager for the adapter tests: the few objects, properties and methods of
org.freedesktop.login1 that the agent uses, on the bus whose address is given. Every method call
is appended to the record file as one line ("PowerOff False", "TerminateSession 7").

usage: fake_login1.py ADDRESS RECORD_FILE [USER UID LEADER TYPE]
Without USER the seat has no active session."""
import sys

import dbus
import dbus.service
from dbus.mainloop.glib import DBusGMainLoop
from gi.repository import GLib

MANAGER = "org.freedesktop.login1.Manager"
SEAT = "org.freedesktop.login1.Seat"
SESSION = "org.freedesktop.login1.Session"
PROPS = "org.freedesktop.DBus.Properties"
ROOT = "/org/freedesktop/login1"
SEAT_PATH = ROOT + "/seat/seat0"
SESSION_ID = "7"
SESSION_PATH = ROOT + "/session/_37"


def record(line):
    with open(sys.argv[2], "a") as f:
        f.write(line + "\n")


class Manager(dbus.service.Object):
    @dbus.service.method(MANAGER, in_signature="s", out_signature="o")
    def GetSeat(self, name):
        if name != "seat0":
            raise dbus.exceptions.DBusException("no such seat",
                                                name="org.freedesktop.login1.NoSuchSeat")
        return dbus.ObjectPath(SEAT_PATH)

    @dbus.service.method(MANAGER, in_signature="b")
    def PowerOff(self, interactive):
        record("PowerOff %s" % bool(interactive))

    @dbus.service.method(MANAGER, in_signature="b")
    def Reboot(self, interactive):
        record("Reboot %s" % bool(interactive))

    @dbus.service.method(MANAGER, in_signature="s")
    def TerminateSession(self, session):
        record("TerminateSession %s" % session)


class Properties(dbus.service.Object):
    def __init__(self, bus, path, interface, values):
        super().__init__(bus, path)
        self.interface = interface
        self.values = values

    @dbus.service.method(PROPS, in_signature="ss", out_signature="v")
    def Get(self, interface, name):
        if interface != self.interface or name not in self.values:
            raise dbus.exceptions.DBusException(
                "unknown property", name="org.freedesktop.DBus.Error.UnknownProperty")
        return self.values[name]

    @dbus.service.method(PROPS, in_signature="s", out_signature="a{sv}")
    def GetAll(self, interface):
        return self.values if interface == self.interface else {}


def main():
    DBusGMainLoop(set_as_default=True)
    bus = dbus.bus.BusConnection(sys.argv[1])
    user = sys.argv[3] if len(sys.argv) > 3 else None
    keep = [Manager(bus, ROOT)]
    if user:
        uid, leader, kind = int(sys.argv[4]), int(sys.argv[5]), sys.argv[6]
        active = dbus.Struct((SESSION_ID, dbus.ObjectPath(SESSION_PATH)), signature="so")
        keep.append(Properties(bus, SESSION_PATH, SESSION, {
            "Id": SESSION_ID,
            "Name": user,
            "Type": kind,
            "User": dbus.Struct((dbus.UInt32(uid), dbus.ObjectPath(ROOT + "/user/_%d" % uid)),
                                signature="uo"),
            "Leader": dbus.UInt32(leader),
        }))
    else:
        active = dbus.Struct(("", dbus.ObjectPath("/")), signature="so")
    keep.append(Properties(bus, SEAT_PATH, SEAT, {"ActiveSession": active}))
    # The name comes last: once it is owned, every object answers.
    bus.request_name("org.freedesktop.login1")
    print("ready", flush=True)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
