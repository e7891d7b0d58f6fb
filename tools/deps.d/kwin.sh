# The Wayland tests (tests/wayland): KWin on a virtual output with Xwayland, the desktop portal
# and its KDE backend, Qt's Wayland plugin, and what the fake-input key tool is built with.
# About 180 packages with their dependencies, 40 MB to download, 210 MB installed, under a
# minute on a fresh system.
DUDUD_TEST_PACKAGES+=(
    kwin-wayland xdg-desktop-portal xdg-desktop-portal-kde qt6-wayland
    libwayland-dev plasma-wayland-protocols
)
