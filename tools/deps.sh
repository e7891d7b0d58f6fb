# Installs the Debian packages the build, the program and the tests need, when missing.
# Sourced by ./run and ./test; a second run only asks dpkg and is quick.

# What building and running need, with the virtual desktop ./run starts without a display.
DUDUD_PACKAGES=(
    cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
    libx11-dev libxi-dev libxtst-dev libxkbcommon-dev libxcb1-dev libxcb-xinput-dev libxcb-xkb-dev
    libqt6widgets6 qt6-qpa-plugins fonts-dejavu-core xdg-utils
    xvfb xauth openbox trayer dbus dbus-x11 x11-utils imagemagick
)
# What the tests need besides: real X input, window queries, installation and package checks.
DUDUD_TEST_PACKAGES=(
    xdotool x11-xserver-utils desktop-file-utils appstream lintian dpkg-dev file man-db
)
# Each test suite with needs of its own lists them in tools/deps.d/NAME.sh, adding to
# DUDUD_TEST_PACKAGES.
for _dudud_deps in "$(dirname "${BASH_SOURCE[0]}")"/deps.d/*.sh; do
    [ -e "$_dudud_deps" ] && . "$_dudud_deps"
done
unset _dudud_deps

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
    # Another install (unattended upgrades, say) may hold the package manager: wait for it.
    local apt=($sudo apt-get -o DPkg::Lock::Timeout=600 -y -q --no-install-recommends)
    if ! "${apt[@]}" install $missing; then
        $sudo apt-get -o DPkg::Lock::Timeout=600 update -q
        "${apt[@]}" install $missing
    fi
}

# dudud_build [TARGET...]: configures and builds everything, or only the targets named.
dudud_build() {
    echo "Configuring (build/, log in build.log)..."
    cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo > build.log 2>&1 ||
        { cat build.log; return 1; }
    local targets=() steps
    [ $# -gt 0 ] && targets=(--target "$@")
    steps=$(cmake --build build "${targets[@]}" -- -n 2>/dev/null | grep -c '^\[' || true)
    echo "Building ${*:-everything}: $steps steps..."
    cmake --build build "${targets[@]}" -- -j"$(nproc)" >> build.log 2>&1 ||
        { tail -60 build.log; return 1; }
    echo "Built $steps of $steps steps."
}

dudud_build_sanitized() {
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDUDUD_SANITIZE=ON \
        > build-sanitize.log 2>&1 || { cat build-sanitize.log; return 1; }
    cmake --build build-sanitize --target unit_tests -- -j"$(nproc)" >> build-sanitize.log 2>&1 ||
        { tail -60 build-sanitize.log; return 1; }
}
