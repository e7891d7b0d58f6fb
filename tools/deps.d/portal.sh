# The global-shortcuts portal tests run the real portal frontend on a private session bus.
DUDUD_TEST_PACKAGES+=(xdg-desktop-portal)
