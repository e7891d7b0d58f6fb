# The Wayland tests (tests/wayland): KWin on a virtual output with Xwayland, the desktop portal
# and its KDE backend, Qt's Wayland plugin, and what the fake-input key tool is built with.
# About 170 packages, 35 MB to download, 210 MB installed.
DUDUD_TEST_PACKAGES+=(
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qt6-wayland
    libwayland-dev plasma-wayland-protocols
)
