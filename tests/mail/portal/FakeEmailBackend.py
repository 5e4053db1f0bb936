#!/usr/bin/env python3
"""A stand-in desktop backend for the mail portal: answers
org.freedesktop.impl.portal.Email.ComposeEmail on the session bus, writes one JSON line per call
into $VELORIX_PORTAL_RECORD (options, and the bytes of every attachment it was given, read as
the mail client would) and answers with the number held in $VELORIX_PORTAL_RESPONSE_FILE
(0 when that file is missing)."""
import json
import os

import dbus
import dbus.mainloop.glib
import dbus.service
from gi.repository import GLib

NAME = "org.freedesktop.impl.portal.desktop.velorixtest"


class Email(dbus.service.Object):
    @dbus.service.method("org.freedesktop.impl.portal.Email", in_signature="ossa{sv}",
                         out_signature="ua{sv}")
    def ComposeEmail(self, handle, app_id, parent_window, options):
        entry = {"app_id": str(app_id), "files": []}
        for key, value in options.items():
            if key == "attachments":
                for path in value:
                    with open(str(path), "rb") as f:
                        entry["files"].append({"path": str(path), "bytes": f.read().hex()})
            elif isinstance(value, dbus.Array):
                entry[str(key)] = [str(v) for v in value]
            else:
                entry[str(key)] = str(value)
        with open(os.environ["VELORIX_PORTAL_RECORD"], "a", encoding="utf-8") as out:
            out.write(json.dumps(entry, ensure_ascii=False) + "\n")
        response = 0
        try:
            with open(os.environ["VELORIX_PORTAL_RESPONSE_FILE"], encoding="ascii") as f:
                response = int(f.read().strip() or "0")
        except FileNotFoundError:
            pass
        return dbus.UInt32(response), dbus.Dictionary({}, signature="sv")


def main():
    dbus.mainloop.glib.DBusGMainLoop(set_as_default=True)
    bus = dbus.SessionBus()
    Email(bus, "/org/freedesktop/portal/desktop")
    name = dbus.service.BusName(NAME, bus)  # noqa: F841 (kept for the life of the loop)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
