#!/usr/bin/env bash
# The installation as a desktop expects it: cmake --install into a temporary prefix puts the two
# programs, the desktop entry, the AppStream file, the icon in every size and the manual pages in
# place; desktop-file-validate and appstreamcli accept them; the installed program answers --help,
# --version and a wrong option without a display. Then cpack makes the .deb, which must hold the same
# files, depend on Debian's Qt 6 libraries, and pass lintian without an error.
#
#   check_install.sh BUILD-FOLDER
# Exit status 77 (skipped) when desktop-file-validate or appstreamcli is missing.
set -euo pipefail

build=$1
for tool in desktop-file-validate appstreamcli; do
  command -v "$tool" >/dev/null || { echo "install: $tool is missing (Debian: desktop-file-utils, appstream)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "install: $*" >&2; exit 1; }

prefix=$work/usr
cmake --install "$build" --prefix "$prefix" >/dev/null
expected=(
  bin/quorvex-history bin/qv-dump
  share/applications/quorvex-history.desktop
  share/metainfo/example.quorvex.history.metainfo.xml
  share/icons/hicolor/scalable/apps/quorvex-history.svg
  share/man/man1/quorvex-history.1.gz share/man/man1/qv-dump.1.gz
  share/doc/quorvex-history/copyright share/doc/quorvex-history/changelog.gz
)
for size in 16 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/quorvex-history.png")
  # The PNG header holds the width and height at bytes 16 to 23.
  dims=$(od -An -tx1 -j16 -N8 "$prefix/share/icons/hicolor/${size}x${size}/apps/quorvex-history.png" | tr -d ' \n')
  [ "$dims" = "$(printf '%08x%08x' "$size" "$size")" ] || fail "the ${size}x${size} icon is not $size pixels square: $dims"
done
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
installed=$(cd "$prefix" && find . -type f | sed 's|^\./||' | sort)
[ "$installed" = "$(printf '%s\n' "${expected[@]}" | sort)" ] || fail "installed files differ: $installed"

desktop-file-validate "$prefix/share/applications/quorvex-history.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=quorvex-history --no-folder %F' "$prefix/share/applications/quorvex-history.desktop" || fail "Exec line"
appstreamcli validate --no-net "$prefix/share/metainfo/example.quorvex.history.metainfo.xml" ||
  fail "appstreamcli validate"

# --help and --version need no display; a wrong option is exit status 2.
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quorvex-history" --help)
[[ $out == "usage: quorvex-history [--no-folder] [FILE...]"* ]] || fail "--help printed: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quorvex-history" --version)
[[ $out =~ ^quorvex-history\ [0-9]+\.[0-9]+ ]] || fail "--version printed: $out"
[[ $out == *"License GPL-3.0-or-later"* ]] || fail "--version names no licence: $out"
status=0
err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/quorvex-history" --frobnicate 2>&1 >/dev/null) ||
  status=$?
[ "$status" -eq 2 ] || fail "a wrong option ended with $status"
[[ $err == *"unknown option: --frobnicate"* ]] || fail "a wrong option said: $err"
[ "$(printf '%s\n' "$err" | wc -l)" -eq 1 ] || fail "a wrong option said more than one line: $err"
grep -q '<project_license>GPL-3.0-or-later</project_license>' \
  "$prefix/share/metainfo/example.quorvex.history.metainfo.xml" || fail "the AppStream file names no licence"
grep -q '^License: GPL-3+$' "$prefix/share/doc/quorvex-history/copyright" || fail "the copyright file names no licence"
[[ "$("$prefix/bin/qv-dump" --version)" == *GPL-3.0-or-later* ]] || fail "qv-dump --version names the licence"

if ! command -v cpack >/dev/null || ! command -v dpkg-deb >/dev/null; then
  echo "install: cpack or dpkg-deb missing, the package is not checked"
  exit 0
fi
cpack -G DEB -B "$work/deb" --config "$build/CPackConfig.cmake" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/deb/*.deb)
packed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | sed 's|^\./usr/||' | sort)
[ "$packed" = "$installed" ] || fail "the package holds other files than the installation: $packed"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6charts6; do
  [[ $depends == *"$lib ("* ]] || fail "the package does not depend on $lib: $depends"
done
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" ||
    fail "lintian reports errors"
fi
echo "install: ${#expected[@]} files installed and packed in $(basename "$deb"); depends: $depends"
