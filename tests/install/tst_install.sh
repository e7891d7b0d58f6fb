#!/usr/bin/env bash
# Installs the built program into a temporary prefix as `cmake --install` does, checks what
# the desktop reads (desktop entry, AppStream metainfo, icons, manual page), runs the
# installed link as an unprivileged user, and builds the Debian package and checks it with
# lintian.
#   tst_install.sh BUILD_DIR
set -euo pipefail
# No "grep -q" after a pipe: it may end before the writer, which then fails with SIGPIPE.
build=$1
work=$(mktemp -d)
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" > "$work/install.log" || fail "cmake --install"
for f in bin/dudud-adadadiz lib/dudud-adadadiz/dudud-adadadiz lib/dudud-adadadiz/lhelp.hlp \
    share/icons/hicolor/scalable/apps/dudud-adadadiz.svg share/man/man1/dudud-adadadiz.1.gz \
    share/doc/dudud-adadadiz/copyright; do
    [ -e "$prefix/$f" ] || fail "not installed: $f"
done
for s in 16 22 24 32 48 64 128 256; do
    [ -e "$prefix/share/icons/hicolor/${s}x${s}/apps/dudud-adadadiz.png" ] || fail "icon $s"
done
[ -L "$prefix/bin/dudud-adadadiz" ] || fail "bin/dudud-adadadiz is no link"
desktop-file-validate "$prefix"/share/applications/*.desktop || fail "desktop entry"
appstreamcli validate --no-net "$prefix"/share/metainfo/*.metainfo.xml || fail "metainfo"
man -l "$prefix/share/man/man1/dudud-adadadiz.1.gz" > /dev/null 2>&1 || fail "manual page"

# The installed link, as a user who may not write the program's folder: no display needed,
# and the entries go to that user's configuration folder.
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME="$work" \
    XDG_CONFIG_HOME="$work/config" "$@"; }
[ "$(as_nobody "$prefix/bin/dudud-adadadiz" --version)" = "Dudud Adadadiz 1.00" ] ||
    fail "--version"
as_nobody "$prefix/bin/dudud-adadadiz" --help | grep -x > /dev/null \
    "Entry file:      $work/config/dudud-adadadiz/DAzad.ini" || fail "--help: entry file"
# Whoever runs it, even one who may write the program's folder: the configuration folder.
env HOME="$work" XDG_CONFIG_HOME="$work/own" "$prefix/bin/dudud-adadadiz" --help |
    grep -x > /dev/null "Entry file:      $work/own/dudud-adadadiz/DAzad.ini" ||
    fail "--help: entry file of the installation's owner"
env -u HOME -u XDG_CONFIG_HOME "$prefix/bin/dudud-adadadiz" --help |
    grep -x > /dev/null "Entry file:      none: HOME is not set" || fail "--help without HOME"
chmod 777 "$work"
as_nobody "$prefix/bin/dudud-adadadiz" --autostart on > /dev/null || fail "--autostart on"
autostart=$work/config/autostart/dudud-adadadiz.desktop
desktop-file-validate "$autostart" || fail "autostart entry"
# By its command name, so that the entry neither names a folder a removal takes away nor
# starts anything once the program is gone.
grep -x "Exec=dudud-adadadiz" "$autostart" > /dev/null || fail "autostart Exec"
grep -x "TryExec=dudud-adadadiz" "$autostart" > /dev/null || fail "autostart TryExec"
as_nobody "$prefix/bin/dudud-adadadiz" --autostart off > /dev/null || fail "--autostart off"
[ ! -e "$work/config/autostart/dudud-adadadiz.desktop" ] || fail "autostart entry left"
set +e
as_nobody "$prefix/bin/dudud-adadadiz" --no-such-option > /dev/null 2>&1
status=$?
set -e
[ $status -eq 2 ] || fail "unknown option: status $status"

# The Debian package.
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" > cpack.log 2>&1) ||
    { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/*.deb)
dpkg-deb -I "$deb" | grep "Depends:.*libqt6widgets6" > /dev/null || fail "package dependencies"
lintian --fail-on error "$deb" > "$work/lintian.log" 2>&1 || { cat "$work/lintian.log"; fail "lintian"; }
grep -v "running with root privileges" "$work/lintian.log" || true
echo "install, desktop files, command line and package: all checks passed"
