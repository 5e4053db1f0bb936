#!/usr/bin/python3
"""A desktop-portal backend for tests: answers every screenshot request with a copy of one
picture file, and every access question with yes. Each request is written to a log, one line
of JSON, so that the test can see what the portal was asked.

usage: FakeScreenshotPortal.py PICTURE WRITTEN_FILE LOG [SPOOF]
       FakeScreenshotPortal.py --access-only LOG
The second form stands in for the desktop's access dialogs only, under its own bus name, beside a
real screenshot backend. While the file SPOOF exists, another client of the bus answers each
request first, in the portal's place: once with a Response of the wrong type, once with a success
naming SPOOF as the picture; the portal's own answer follows half a second later.
"""
import json
import os
import shutil
import sys
import time

import dbus
import dbus.bus
import dbus.lowlevel
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.velorixtest"
ACCESS_BUS_NAME = "org.freedesktop.impl.portal.desktop.velorixaccess"
PATH = "/org/freedesktop/portal/desktop"


class Backend(dbus.service.Object):
    def __init__(self, bus, picture, written, log, spoof):
        super().__init__(bus, PATH)
        self.picture, self.written, self.log, self.spoof = picture, written, log, spoof

    def answer_in_the_portals_place(self, handle):
        spoofer = dbus.bus.BusConnection(os.environ["DBUS_SESSION_BUS_ADDRESS"])
        for signature, args in (("s", ["spoofed"]),
                                ("ua{sv}", [dbus.UInt32(0), {"uri": "file://" + self.spoof}])):
            message = dbus.lowlevel.SignalMessage(handle, "org.freedesktop.portal.Request",
                                                  "Response")
            message.append(*args, signature=signature)
            spoofer.send_message(message)
        spoofer.flush()
        time.sleep(0.5)
        spoofer.close()

    def note(self, what, **fields):
        with open(self.log, "a") as out:
            out.write(json.dumps(dict(request=what, **fields)) + "\n")

    @dbus.service.method("org.freedesktop.impl.portal.Screenshot",
                         in_signature="ossa{sv}", out_signature="ua{sv}")
    def Screenshot(self, handle, app_id, parent_window, options):
        self.note("screenshot", parent_window=str(parent_window),
                  options={str(k): bool(v) if isinstance(v, dbus.Boolean) else str(v)
                           for k, v in options.items()})
        if self.spoof and os.path.exists(self.spoof):
            self.answer_in_the_portals_place(handle)
        shutil.copyfile(self.picture, self.written)
        return dbus.UInt32(0), dbus.Dictionary({"uri": "file://" + self.written},
                                               signature="sv")

    @dbus.service.method("org.freedesktop.impl.portal.Access",
                         in_signature="osssssa{sv}", out_signature="ua{sv}")
    def AccessDialog(self, handle, app_id, parent_window, title, subtitle, body, options):
        self.note("access", title=str(title))
        return dbus.UInt32(0), dbus.Dictionary({}, signature="sv")


def main():
    if sys.argv[1] == "--access-only":
        bus_name, (picture, written, log, spoof) = ACCESS_BUS_NAME, (None, None, sys.argv[2], None)
    else:
        bus_name, (picture, written, log, spoof) = BUS_NAME, (sys.argv[1:5] + [None])[:4]
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(bus_name, bus)  # the name is given up when this is collected
    Backend(bus, picture, written, log, spoof)
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
