# The global-shortcuts portal tests run the real portal frontend on a private session bus.
DUDUD_TEST_PACKAGES+=(xdg-desktop-portal)
# tools/in-debian makes the Debian 13 root that CI (.ci/run) runs the suite in a second time.
DUDUD_TEST_PACKAGES+=(debootstrap)
