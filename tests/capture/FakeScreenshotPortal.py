#!/usr/bin/python3
"""A desktop-portal backend for tests: answers every screenshot request with a copy of one
picture file, and every access question with yes. Each request is written to a log, one line
of JSON, so that the test can see what the portal was asked.

usage: FakeScreenshotPortal.py PICTURE WRITTEN_FILE LOG
       FakeScreenshotPortal.py --access-only LOG
The second form stands in for the desktop's access dialogs only, under its own bus name, beside a
real screenshot backend.
"""
import json
import shutil
import sys

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

BUS_NAME = "org.freedesktop.impl.portal.desktop.velorixtest"
ACCESS_BUS_NAME = "org.freedesktop.impl.portal.desktop.velorixaccess"
PATH = "/org/freedesktop/portal/desktop"


class Backend(dbus.service.Object):
    def __init__(self, bus, picture, written, log):
        super().__init__(bus, PATH)
        self.picture, self.written, self.log = picture, written, log

    def note(self, what, **fields):
        with open(self.log, "a") as out:
            out.write(json.dumps(dict(request=what, **fields)) + "\n")

    @dbus.service.method("org.freedesktop.impl.portal.Screenshot",
                         in_signature="ossa{sv}", out_signature="ua{sv}")
    def Screenshot(self, handle, app_id, parent_window, options):
        self.note("screenshot", parent_window=str(parent_window),
                  options={str(k): bool(v) if isinstance(v, dbus.Boolean) else str(v)
                           for k, v in options.items()})
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
        bus_name, (picture, written, log) = ACCESS_BUS_NAME, (None, None, sys.argv[2])
    else:
        bus_name, (picture, written, log) = BUS_NAME, sys.argv[1:4]
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    name = dbus.service.BusName(bus_name, bus)  # the name is given up when this is collected
    Backend(bus, picture, written, log)
    GLib.MainLoop().run()
    del name


if __name__ == "__main__":
    main()
