# The GNOME test (tests/wayland/tst_gnomeprogram): a headless GNOME Shell with its portal
# backend, from GNOME 48 (Debian 13) on; older releases offer no global shortcuts there.
# About 250 packages with their dependencies.
if [ "$(. /etc/os-release 2> /dev/null && echo "${VERSION_ID%%.*}")" -ge 13 ] 2> /dev/null; then
    DUDUD_TEST_PACKAGES+=(
        gnome-shell mutter xdg-desktop-portal-gnome gnome-settings-daemon
        gsettings-desktop-schemas libglib2.0-bin
    )
fi
