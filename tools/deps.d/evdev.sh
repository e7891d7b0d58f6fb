# tests/evdev: keyboards under a fake /dev/input (umockdev's preload library and its test bed,
# built into the test).
DUDUD_TEST_PACKAGES+=(umockdev libumockdev-dev)
