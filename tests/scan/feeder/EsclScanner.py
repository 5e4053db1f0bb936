#!/usr/bin/env python3
"""A network scanner of our own that speaks eSCL on the loopback address, for the tests.

It has a platen and a feeder that reads one side or both. Each side is a white page with its
number drawn large ("3R" the front of sheet 3, "3V" its back, "0" the platen) and, in a row of
eight boxes near the top, its code in binary, most significant box first, a dark box a 1:
sheet * 2 for a front, sheet * 2 + 1 for a back, 255 for the platen. Sheets are numbered from 1
for the life of the server. Pages go out as PNG.

Every scan job finds the feeder loaded with --sheets sheets; NextDocument gives the next side,
and 404 once the feeder is empty. With --jam-at K the feeder jams as sheet K of a job is fed
(409, and ScannerStatus says ScannerAdfJam); with --empty a job on the feeder is refused (409,
ScannerAdfEmpty). --port-file receives the port chosen; the server runs until killed. Each
request is logged to standard error ("POST /eSCL/ScanJobs Feeder duplex=true"), so that tests
can see what the client asked.
"""

import argparse
import http.server
import re
import struct
import sys
import threading
import uuid
import xml.etree.ElementTree as ET
import zlib

PWG = "http://www.pwg.org/schemas/2010/12/sm"
SCAN = "http://schemas.hp.com/imaging/escl/2011/05/03"

# 3 x 5 glyphs, rows top-down, three bits a row, the leftmost the highest.
GLYPHS = {
    "0": (7, 5, 5, 5, 7), "1": (2, 6, 2, 2, 7), "2": (7, 1, 7, 4, 7), "3": (7, 1, 7, 1, 7),
    "4": (5, 5, 7, 1, 1), "5": (7, 4, 7, 1, 7), "6": (7, 4, 7, 5, 7), "7": (7, 1, 1, 1, 1),
    "8": (7, 5, 7, 5, 7), "9": (7, 5, 7, 1, 7), "R": (6, 5, 6, 5, 5), "V": (5, 5, 5, 5, 2),
}

RESOLUTIONS = (75, 100, 150, 200, 300, 600)


def caps_block(max_height):
    modes = "".join(f"<scan:ColorMode>{m}</scan:ColorMode>" for m in ("Grayscale8", "RGB24"))
    res = "".join(
        "<scan:DiscreteResolution>"
        f"<scan:XResolution>{r}</scan:XResolution><scan:YResolution>{r}</scan:YResolution>"
        "</scan:DiscreteResolution>" for r in RESOLUTIONS)
    return (
        "<scan:MinWidth>16</scan:MinWidth><scan:MaxWidth>2550</scan:MaxWidth>"
        f"<scan:MinHeight>16</scan:MinHeight><scan:MaxHeight>{max_height}</scan:MaxHeight>"
        "<scan:MaxScanRegions>1</scan:MaxScanRegions>"
        "<scan:SettingProfiles><scan:SettingProfile>"
        f"<scan:ColorModes>{modes}</scan:ColorModes>"
        "<scan:DocumentFormats><pwg:DocumentFormat>image/png</pwg:DocumentFormat>"
        "<scan:DocumentFormatExt>image/png</scan:DocumentFormatExt></scan:DocumentFormats>"
        f"<scan:SupportedResolutions><scan:DiscreteResolutions>{res}"
        "</scan:DiscreteResolutions></scan:SupportedResolutions>"
        "</scan:SettingProfile></scan:SettingProfiles>"
        "<scan:SupportedIntents><scan:Intent>Document</scan:Intent>"
        "<scan:Intent>Photo</scan:Intent></scan:SupportedIntents>"
        "<scan:MaxOpticalXResolution>600</scan:MaxOpticalXResolution>"
        "<scan:MaxOpticalYResolution>600</scan:MaxOpticalYResolution>")


CAPABILITIES = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    f'<scan:ScannerCapabilities xmlns:pwg="{PWG}" xmlns:scan="{SCAN}">'
    "<pwg:Version>2.63</pwg:Version><pwg:MakeAndModel>Velorix Network Scanner</pwg:MakeAndModel>"
    "<pwg:SerialNumber>VLX0001</pwg:SerialNumber>"
    f"<scan:Platen><scan:PlatenInputCaps>{caps_block(3508)}</scan:PlatenInputCaps></scan:Platen>"
    f"<scan:Adf><scan:AdfSimplexInputCaps>{caps_block(4200)}</scan:AdfSimplexInputCaps>"
    f"<scan:AdfDuplexInputCaps>{caps_block(4200)}</scan:AdfDuplexInputCaps>"
    "<scan:FeederCapacity>50</scan:FeederCapacity>"
    "<scan:AdfOptions><scan:AdfOption>DetectPaperLoaded</scan:AdfOption>"
    "<scan:AdfOption>Duplex</scan:AdfOption></scan:AdfOptions></scan:Adf>"
    "</scan:ScannerCapabilities>").encode()


def png(width, height, colour, rows):
    """A PNG of 8-bit grey or RGB rows (bytes each)."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", width, height, 8, 2 if colour else 0, 0, 0, 0)
    raw = b"".join(b"\0" + r for r in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 1)) + chunk(b"IEND", b""))


def page(width, height, colour, label, code, back):
    """The picture of one side: few distinct rows, each made once."""
    ink = (0, 0, 140) if back else (0, 0, 0)
    if not colour:
        grey = (ink[0] * 299 + ink[1] * 587 + ink[2] * 114) // 1000
    def row(dark):
        if colour:
            return b"".join(bytes(ink) if d else b"\xff\xff\xff" for d in dark)
        return bytes(grey if d else 255 for d in dark)
    blank = row([False] * width)
    tenth = max(width // 10, 1)
    code_row = row([
        tenth <= x < 9 * tenth and (x - tenth) // tenth < 8 and (x - tenth) % tenth < tenth * 8 // 10
        and bool((code >> (7 - (x - tenth) // tenth)) & 1) for x in range(width)])
    s = max(width // 20, 1)
    y0 = height * 30 // 100
    glyph_rows = []
    for r in range(5):
        dark = []
        for x in range(width):
            if x < tenth:
                dark.append(False)
                continue
            col = (x - tenth) // s
            ch, bit = divmod(col, 4)
            dark.append(bit != 3 and ch < len(label) and
                        bool((GLYPHS[label[ch]][r] >> (2 - bit)) & 1))
        glyph_rows.append(row(dark))
    rows = []
    for y in range(height):
        if height * 4 // 100 <= y < height * 10 // 100:
            rows.append(code_row)
        elif y0 <= y < y0 + 5 * s:
            rows.append(glyph_rows[(y - y0) // s])
        else:
            rows.append(blank)
    return png(width, height, colour, rows)


def text(element, name):
    for e in element.iter():
        if e.tag.split("}")[-1] == name:
            return (e.text or "").strip()
    return ""


class Scanner:
    def __init__(self, sheets, jam_at, empty):
        self.sheets, self.jam_at, self.empty = sheets, jam_at, empty
        self.lock = threading.Lock()
        self.jobs = {}
        self.sheet = 0  # the last sheet fed, for the life of the server
        self.adf_state = "ScannerAdfEmpty" if empty else "ScannerAdfLoaded"
        self.busy = False

    def status(self):
        with self.lock:
            state = "Processing" if self.busy else "Idle"
            return ('<?xml version="1.0" encoding="UTF-8"?>'
                    f'<scan:ScannerStatus xmlns:pwg="{PWG}" xmlns:scan="{SCAN}">'
                    f"<pwg:Version>2.63</pwg:Version><pwg:State>{state}</pwg:State>"
                    f"<scan:AdfState>{self.adf_state}</scan:AdfState>"
                    "</scan:ScannerStatus>").encode()

    def new_job(self, settings):
        root = ET.fromstring(settings)
        source = text(root, "InputSource") or "Platen"
        job = {
            "feeder": source == "Feeder",
            "duplex": text(root, "Duplex").lower() == "true",
            "colour": text(root, "ColorMode") != "Grayscale8",
            "res": int(text(root, "XResolution") or 300),
            "width": int(text(root, "Width") or 2550),
            "height": int(text(root, "Height") or 3508),
            "left": self.sheets,  # sheets still in the feeder for this job
            "fed": 0,
            "back_next": False,
            "platen_done": False,
        }
        with self.lock:
            if job["feeder"] and self.empty:
                self.adf_state = "ScannerAdfEmpty"
                return None, job
            self.adf_state = "ScannerAdfLoaded"
            self.busy = True
            name = str(uuid.uuid4())
            self.jobs[name] = job
            return name, job

    def next_document(self, name):
        """(status, body)."""
        with self.lock:
            job = self.jobs.get(name)
            if job is None:
                return 404, b""
            if not job["feeder"]:
                if job["platen_done"]:
                    self.busy = False
                    return 404, b""
                job["platen_done"] = True
                label, code, back = "0", 255, False
            elif job["back_next"]:
                job["back_next"] = False
                label, code, back = f"{self.sheet}V", (self.sheet * 2 + 1) & 0xFF, True
            else:
                if job["left"] == 0:
                    self.busy = False
                    return 404, b""
                job["fed"] += 1
                if self.jam_at and job["fed"] == self.jam_at:
                    self.adf_state = "ScannerAdfJam"
                    self.busy = False
                    return 409, b""
                job["left"] -= 1
                self.sheet += 1
                job["back_next"] = job["duplex"]
                label, code, back = f"{self.sheet}R", (self.sheet * 2) & 0xFF, False
            width = max(job["width"] * job["res"] // 300, 1)
            height = max(job["height"] * job["res"] // 300, 1)
            colour = job["colour"]
        return 200, page(width, height, colour, label, code, back)

    def delete(self, name):
        with self.lock:
            self.busy = False
            return self.jobs.pop(name, None) is not None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    scanner = None

    def log_message(self, fmt, *args):
        pass

    def note(self, extra=""):
        sys.stderr.write(f"{self.command} {self.path}{extra}\n")
        sys.stderr.flush()

    def reply(self, status, body=b"", kind="text/xml", headers=()):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        for k, v in headers:
            self.send_header(k, v)
        self.end_headers()
        if body and self.command != "HEAD":
            self.wfile.write(body)

    def do_GET(self):
        self.note()
        if self.path == "/eSCL/ScannerCapabilities":
            return self.reply(200, CAPABILITIES)
        if self.path == "/eSCL/ScannerStatus":
            return self.reply(200, self.scanner.status())
        m = re.fullmatch(r"/eSCL/ScanJobs/([0-9a-f-]+)/NextDocument", self.path)
        if m:
            status, body = self.scanner.next_document(m.group(1))
            if status == 200:
                return self.reply(200, body, "image/png")
            return self.reply(status)
        self.reply(404)

    def do_POST(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        if self.path != "/eSCL/ScanJobs":
            self.note()
            return self.reply(404)
        try:
            name, job = self.scanner.new_job(body)
        except (ET.ParseError, ValueError):
            self.note(" (invalid)")
            return self.reply(400)
        self.note(f" {'Feeder' if job['feeder'] else 'Platen'} duplex="
                  f"{'true' if job['duplex'] else 'false'} res={job['res']}"
                  f" size={job['width']}x{job['height']}")
        if name is None:
            return self.reply(409)
        self.reply(201, headers=[("Location", f"/eSCL/ScanJobs/{name}")])

    def do_DELETE(self):
        self.note()
        m = re.fullmatch(r"/eSCL/ScanJobs/([0-9a-f-]+)", self.path)
        self.reply(200 if m and self.scanner.delete(m.group(1)) else 404)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--sheets", type=int, default=3)
    parser.add_argument("--jam-at", type=int, default=0)
    parser.add_argument("--empty", action="store_true")
    args = parser.parse_args()
    Handler.scanner = Scanner(args.sheets, args.jam_at, args.empty)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file + ".tmp", "w") as f:
            f.write(f"{port}\n")
        import os
        os.replace(args.port_file + ".tmp", args.port_file)
    server.serve_forever()


if __name__ == "__main__":
    main()
