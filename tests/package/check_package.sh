#!/usr/bin/env bash
# Usage: check_package.sh <build folder> [--install | --lintian]
# Builds the Debian package from the build folder and checks what it ships: exactly the
# expected files, the command link, the dependencies, no run-time search path, icons of
# the sizes their folders name, a menu entry and AppStream file that validate and agree
# with the package, and a changelog of the package's version. With --lintian it runs
# Debian's package checker instead, which must find no error and no warning in any file
# of the package (a manual page for every command included). With --install (allowed by
# VORNASK_INSTALL_CHECK=1) it also installs the package, starts the installed command in a
# virtual X server and removes the package again, leaving none of its files behind.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
if [ "${2:-}" = --install ] && [ "${VORNASK_INSTALL_CHECK:-}" != 1 ]; then
  echo "skipped: set VORNASK_INSTALL_CHECK=1 to install the package and start the installed program"
  exit 77
fi
if [ "${2:-}" = --lintian ] && ! command -v lintian >/dev/null; then
  echo "skipped: lintian is not installed (scripts/setup.sh installs it)"
  exit 77
fi
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack failed"; }
deb=$(ls "$work"/out/vornask_*.deb)
id=org.vornask.Vornask
version=$(dpkg-deb -f "$deb" Version)
lib=usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/vornask
echo "package: $(basename "$deb")"

if [ "${2:-}" = --lintian ]; then
  # No overrides: the package ships none (see the file list), and none are given here.
  lintian --version
  status=0
  lintian --fail-on error,warning --no-override --display-level ">=warning" "$deb" >"$work/lintian.log" 2>&1 || status=$?
  grep -v '^running with root privileges' "$work/lintian.log" >"$work/findings" || true
  cat "$work/findings"
  [ "$status" = 0 ] && [ ! -s "$work/findings" ] || fail "lintian reports errors or warnings (exit status $status)"
  echo "lintian: no errors, no warnings"
  exit 0
fi

expected=("./usr/bin/vornask -> ../${lib#usr/}/vornask" "./$lib/libtessaplex.so" "./$lib/vornask"
          "./usr/bin/vornask-convert -> ../${lib#usr/}/vornask-convert" "./$lib/vornask-convert"
          "./usr/share/man/man1/vornask-convert.1.gz"
          "./usr/share/applications/$id.desktop" "./usr/share/metainfo/$id.metainfo.xml"
          "./usr/share/icons/hicolor/scalable/apps/$id.svg" "./usr/share/doc/vornask/copyright"
          "./usr/share/doc/vornask/changelog.gz" "./usr/share/man/man1/vornask.1.gz")
sizes=(16 24 32 48 64 128 256)
for s in "${sizes[@]}"; do expected+=("./usr/share/icons/hicolor/${s}x$s/apps/$id.png"); done
dpkg-deb -c "$deb" | grep -v '^d' | sed -E 's/^([^ ]+ +){5}//' | sort >"$work/files"
printf '%s\n' "${expected[@]}" | sort | diff - "$work/files" >&2 || fail "the package's files differ from the list above (< expected, > shipped)"

! dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E '/(pre|post)(inst|rm)$' || fail "the package runs maintainer scripts"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for pkg in libqt6widgets6 libqt6gui6 libqt6core6 libjpeg62-turbo libpng16-16 libgif7 zlib1g libdeflate0 libstdc++6; do
  sed 's/([^)]*)//g; s/ //g' <<<"$depends" | tr ',|' '\n\n' | grep -qxF "$pkg" || fail "Depends does not name $pkg"
done

root=$work/root
dpkg-deb -x "$deb" "$root"
for elf in "$lib/vornask" "$lib/vornask-convert" "$lib/libtessaplex.so"; do
  ! readelf -d "$root/$elf" | grep -E 'RPATH|RUNPATH' || fail "$elf carries a run-time search path"
done
[ -x "$root/usr/bin/vornask" ] || fail "usr/bin/vornask does not lead to the executable"
[ -x "$root/usr/bin/vornask-convert" ] || fail "usr/bin/vornask-convert does not lead to the executable"
! readelf -d "$root/$lib/vornask-convert" | grep -E 'NEEDED.*libQt6(Gui|Widgets)' || fail "vornask-convert needs a display library"
man1=$root/usr/share/man/man1/vornask-convert.1.gz
[ "$(od -An -tx1 -j4 -N4 "$man1" | tr -d ' ')" = 00000000 ] || fail "the manual page carries a time stamp (gzip -n)"
[ -z "$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$man1" 2>&1 >/dev/null)" ] || fail "man warns about vornask-convert.1"
for s in "${sizes[@]}"; do
  file -b "$root/usr/share/icons/hicolor/${s}x$s/apps/$id.png" | grep -q "^PNG image data, $s x $s," ||
    fail "the ${s}x$s icon is not a $s x $s PNG"
done

desktop=$root/usr/share/applications/$id.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $id.desktop"
grep -qx "Exec=vornask %F" "$desktop" || fail "the menu entry does not hand its files to the vornask command"
grep -qx "MimeType=image/bmp;image/png;image/jpeg;image/gif;" "$desktop" ||
  fail "the menu entry does not offer Vornask for exactly the four image types it reads"
grep -qx "Icon=$id" "$desktop" || fail "the menu entry names another icon than $id"
metainfo=$root/usr/share/metainfo/$id.metainfo.xml
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $id.metainfo.xml"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" || fail "metainfo launches another menu entry"
grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version, the package's version"
grep -q "<project_license>MIT</project_license>" "$metainfo" || fail "metainfo does not name the MIT licence"
zcat "$root/usr/share/doc/vornask/changelog.gz" | head -n 1 | grep -q "^vornask ($version) " ||
  fail "the changelog's latest entry is not for version $version"
[ "${2:-}" = --install ] || { echo "package contents, dependencies, menu entry, metainfo and changelog: ok"; exit 0; }

# Installs the package like a user would, and removes it again whatever happens.
trap 'apt-get -o DPkg::Lock::Timeout=600 remove -y -qq vornask >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 install -y -qq "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get install"; }
! ldd "/$lib/libtessaplex.so" | grep 'not found' || fail "the installed library misses a dependency"
[ "$(command -v vornask)" = /usr/bin/vornask ] || fail "vornask is not the installed command"
bash "$here/../e2e/window_under_xvfb.sh" /usr/bin/vornask "$work/installed.png" || fail "the installed program did not start"
# File managers find the program for images through the desktop database, which dpkg's trigger
# has just rebuilt; "Open with" then starts it with the image, which leads to the single-file dialog.
for type in image/bmp image/png image/jpeg image/gif; do
  grep -q "^$type=.*$id.desktop" /usr/share/applications/mimeinfo.cache || fail "the desktop database does not offer Vornask for $type"
done
icon=/usr/share/icons/hicolor/48x48/apps/$id.png
bash "$here/../e2e/window_under_xvfb.sh" /usr/bin/vornask "$work/open-with.png" "Convert single file" "$icon" ||
  fail "the installed program did not open an image given to it"
[ "$(command -v vornask-convert)" = /usr/bin/vornask-convert ] || fail "vornask-convert is not the installed command"
env -u DISPLAY -u WAYLAND_DISPLAY vornask-convert -t bmp -o "$work" "$icon" >"$work/cli.log" 2>&1 ||
  { cat "$work/cli.log"; fail "the installed vornask-convert did not convert without a display"; }
file -b "$work/${id,,}.bmp" | grep -q "^PC bitmap" || fail "the installed vornask-convert wrote no BMP"
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 remove -y -qq vornask >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get remove"; }
for f in "${expected[@]}"; do
  f=${f%% -> *}
  [ ! -e "${f#.}" ] && [ ! -L "${f#.}" ] || fail "${f#.} is left after removing the package"
done
! dpkg-query -W vornask 2>/dev/null || fail "dpkg still keeps a record of vornask"
[ ! -e "/$lib" ] || fail "/$lib is left after removing the package"
echo "installed, offered for images, started from /usr/bin/vornask with and without an image, vornask-convert run, and removed: ok"
