#!/usr/bin/env bash
# Installs the Debian packages Pagewarden needs to build, run and test. Safe to run again.
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ pkg-config git     # the build
  qt6-base-dev libglib2.0-dev              # the window; the desktop's file associations
  fonts-dejavu-core fonts-dejavu-extra     # the window's font (DejaVu Sans Condensed)
  libcurl4-openssl-dev                     # HTTP and HTTPS transfers
  libsdl2-dev                              # the alarm sound
  libgtest-dev libgmock-dev                # unit tests
  libcpp-httplib-dev libssl-dev openssl    # update signatures and digests; the tests' web server
  tinyproxy                                # the tests' proxy
  libbenchmark-dev curl                    # benchmarks (curl is the baseline)
  xvfb xauth                               # a display for the window where there is none
  xdg-utils shared-mime-info               # opening pages and documents
  groff                                    # the user guide (man page to PDF)
  librsvg2-bin                             # the icon's PNG sizes, rendered from its SVG
  desktop-file-utils appstream             # validating the desktop entry and AppStream metadata
  dpkg-dev file                            # the Debian package's library dependencies (cpack)
  nginx                                    # the pass benchmark's web server
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "== packages: all ${#PACKAGES[@]} already installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
echo "== packages: installing ${missing[*]}"
$SUDO apt-get update -q
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
