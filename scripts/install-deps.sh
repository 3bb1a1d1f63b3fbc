#!/bin/sh
# Installs what building, testing and the demo need, from Debian's packages,
# on Debian 12 or 13. Quick when everything is already there. Needs root or
# sudo. Recommends are left out, so what they would bring is named: twm exits
# at once without the fonts of xfonts-base. Where a name has a version in it,
# the release's default is named instead (libclang-rt-dev: the runtime of
# the release's clang, 14 or 19). Debian 13's kwin-wayland no longer depends
# on kwin-common, whose runner the tests read KWin's windows from.
# locales: the tests make the locales that give Wine other code pages.
set -eu

packages="cmake make git g++ python3 python3-pytest python3-xlib libgtest-dev valgrind
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
wine wine64 wine32:i386 xvfb xauth xdotool x11-utils x11-apps xterm icoutils
openbox icewm twm xfonts-base i3 metacity dbus-x11 zenity
pkg-config libxcb1-dev libjson-c-dev libsystemd-dev libglib2.0-dev
sway kwin-wayland kwin-common gnome-shell dbus-daemon xwayland grim python3-gi gir1.2-gtk-3.0
clang libclang-rt-dev imagemagick locales
lintian mandoc dpkg-dev file strace devilspie2
libwayland-dev libwayland-bin plasma-wayland-protocols"
# KWin's shield for Enable is a QtQuick window, of the Qt KWin runs on: Qt 5
# (KWin 5) on Debian 12, Qt 6 (KWin 6) after it. labwc, and wlrctl (the
# benchmark's peer on the wlroots window list), come with Debian 13; foot,
# the terminal a labwc session opens, is there to try windows by hand.
case "$(. /etc/os-release && echo "${VERSION_ID:-}")" in
12*) packages="$packages qml-module-qtquick-window2" ;;
*) packages="$packages qml6-module-qtquick-window labwc foot wlrctl" ;;
esac

missing=""
for p in $packages; do
	dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' ||
		missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
	$sudo dpkg --add-architecture i386
fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
