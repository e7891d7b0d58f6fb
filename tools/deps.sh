# Installs the Debian packages the build, the program and the tests need, when missing.
# Sourced by ./run and ./test; a second run only asks dpkg and is quick.

DUDUD_PACKAGES=(
    # build
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    libx11-dev libxi-dev libxtst-dev libxkbcommon-dev
    # running on a desktop, and the virtual one ./run starts without a display
    libqt6widgets6 qt6-qpa-plugins fonts-dejavu-core xdg-utils
    xvfb xauth openbox trayer dbus dbus-x11
    # end-to-end tests: real X input, window queries, screenshots
    xdotool x11-utils x11-xserver-utils imagemagick
    # installation and package checks
    desktop-file-utils appstream lintian dpkg-dev file man-db
)

dudud_missing_packages() {
    local missing=() p
    for p in "$@"; do
        if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
            missing+=("$p")
        fi
    done
    echo "${missing[@]}"
}

dudud_ensure_packages() {
    local missing
    missing=$(dudud_missing_packages "${DUDUD_PACKAGES[@]}" "$@")
    [ -z "$missing" ] && return 0
    echo "Installing missing packages: $missing"
    local sudo=
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    if ! $sudo apt-get install -y -q --no-install-recommends $missing; then
        $sudo apt-get update -q
        $sudo apt-get install -y -q --no-install-recommends $missing
    fi
}

dudud_build() {
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.log 2>&1 ||
        { cat build.log; return 1; }
    cmake --build build -- -j"$(nproc)" >> build.log 2>&1 || { tail -60 build.log; return 1; }
}

dudud_build_sanitized() {
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUDUD_SANITIZE=ON \
        > build-sanitize.log 2>&1 || { cat build-sanitize.log; return 1; }
    cmake --build build-sanitize --target unit_tests -- -j"$(nproc)" >> build-sanitize.log 2>&1 ||
        { tail -60 build-sanitize.log; return 1; }
}
