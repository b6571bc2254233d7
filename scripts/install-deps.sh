#!/usr/bin/env bash
# Installs the Debian 12 packages Kelmora needs to build, run and test, and the
# locales the tests pin. Installs only what is missing, so it is safe to rerun.
set -euo pipefail

packages=(
    # toolchain
    build-essential cmake ninja-build g++ clang clang-format libclang-rt-14-dev git
    # test and benchmark frameworks
    libgtest-dev libgmock-dev libbenchmark-dev
    # time zones and locales the program and its tests rely on
    tzdata locales
    # Qt 6 (Core, Gui, Widgets, Network, DBus, Test); Qt6Gui's CMake package needs the OpenGL headers; Qt's
    # Wayland platform plugin, without which the program cannot start on a Wayland-only desktop
    qt6-base-dev libgl-dev qt6-wayland
    # end-to-end tests: virtual X server, tray host, input driving, window inspection, screenshots
    xvfb xauth trayer xdotool x11-utils imagemagick fonts-dejavu-core openbox
    # command-line parsing for kelmora-cli (header-only)
    libcli11-dev
    # idle time and global shortcuts on X11; private session buses for the D-Bus backends' tests
    libxcb1-dev libxcb-screensaver0-dev libxcb-keysyms1-dev dbus dbus-x11 pkg-config
    # idle time on Wayland: the client library, wayland-scanner and the protocol files (ext-idle-notify-v1,
    # KDE's org_kde_kwin_idle); libwayland-server for the tests' fake compositor (the same -dev package)
    libwayland-dev wayland-protocols plasma-wayland-protocols
    # end-to-end tests on Wayland: headless sway with swaybar's tray, input, screenshots; setpriv (util-linux)
    # runs sway as an unprivileged user when the tests run as root
    sway grim wtype util-linux
    # installation and packaging checks
    desktop-file-utils appstream man-db lintian dpkg-dev file fakeroot
    # two machines sharing a data folder: real Syncthing instances, driven through their REST API
    syncthing curl jq
)
locales_needed=(en_US.UTF-8 en_GB.UTF-8 de_DE.UTF-8)

if [ "$(id -u)" -eq 0 ]; then
    sudo=()
else
    sudo=(sudo)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# locale -a prints names like en_US.utf8
have_locales=$(locale -a 2>/dev/null | tr '[:upper:]' '[:lower:]' | sed 's/-//g')
generate=0
for l in "${locales_needed[@]}"; do
    key=$(echo "$l" | tr '[:upper:]' '[:lower:]' | sed 's/-//g')
    if ! grep -qx "$key" <<<"$have_locales"; then
        entry="$l UTF-8"
        if ! grep -qx "$entry" /etc/locale.gen 2>/dev/null; then
            echo "$entry" | "${sudo[@]}" tee -a /etc/locale.gen >/dev/null
        fi
        generate=1
    fi
done
if [ "$generate" -eq 1 ]; then
    "${sudo[@]}" locale-gen
fi
