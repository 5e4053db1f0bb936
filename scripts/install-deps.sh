#!/usr/bin/env bash
# Installs every Debian package that building, running and testing Velorix! 2 needs.
# Quiet and quick when everything is already there; uses sudo when not run as root.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev zlib1g-dev
  libsane-dev libmagick++-6.q16-dev libtesseract-dev libpoppler-qt6-dev libtiff-dev
  libgtest-dev libbenchmark-dev
  # the small PDFs: JPEG (libjpeg-turbo) and CCITT Group 4 (libtiff's encoder)
  libjpeg62-turbo-dev libtiff-dev
  # run time: scanner backends (the test backend is our demo scanner), image codecs, mail, fonts,
  # the language data of text recognition
  libsane1 sane-utils qt6-translations-l10n libmagickcore-6.q16-6-extra xdg-utils fonts-dejavu-core
  tesseract-ocr-fra tesseract-ocr-eng
  # network scanners without drivers (eSCL; USB ones over IPP); the tests reach a scanner of
  # their own through sane-airscan
  sane-airscan ipp-usb
  # tests: independent PDF checkers, reference image tools, a display, a printer that writes PDF
  qpdf poppler-utils mupdf-tools imagemagick xvfb xauth cups cups-bsd printer-driver-cups-pdf
  # screen capture tests: a window manager, synthetic mouse input, X tools, the desktop portal
  # on a private session bus with our fake backend (Python D-Bus)
  openbox xdotool x11-utils xdg-desktop-portal dbus dbus-daemon dbus-bin python3-dbus
  python3-gi libqt6dbus6
  # Wayland: Qt's Wayland platform, and a real compositor for the capture tests (sway headless
  # with Xwayland and backgrounds, its desktop portal with the PipeWire it needs, grim for
  # reference pictures and the program's captures there, FUSE for the document portal's folder)
  qt6-wayland sway swaybg xwayland xdg-desktop-portal-wlr pipewire grim fuse3
  # mail: the Windows hand-over built with mingw-w64 and run under Wine (the portal, the bus and
  # the Python D-Bus backend above serve the mail tests too)
  g++-mingw-w64-x86-64-posix wine64
  # mail: Debian's Thunderbird as a real mailto handler, its compose window checked end to end
  thunderbird
  # fuzzing: clang's libFuzzer and sanitizer runtimes
  clang libclang-rt-14-dev
  # the AFM metrics our standard-font width tables are generated from
  fonts-urw-base35
  # installation: the Debian package, and the validators of the desktop entry, the AppStream
  # metadata, the icon and the manual page
  dpkg-dev file desktop-file-utils appstream libxml2-utils groff-base
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
