# shellcheck shell=bash
# The Debian 12 packages, in one place for .ci/run (everything) and tools/demo (what it needs
# to build the meter and show it). Source it.

# Building the meter and showing it under Wine: CMake, the cross compiler and the
# configure-time needs of its build (GoogleTest's sources, zip), Wine, and the X pieces.
# Wine stays 64-bit: no i386 architecture, no wine32 (either would break the wine command).
VANTOREL_DEMO_PACKAGES=(
    cmake make
    mingw-w64 googletest zip
    wine wine64 fonts-wine
    xvfb imagemagick x11-utils xdotool
)

# Everything the build, the tests and the checks need.
VANTOREL_PACKAGES=(
    "${VANTOREL_DEMO_PACKAGES[@]}"
    g++ git
    libgtest-dev libgmock-dev libbenchmark-dev
    xauth unzip zlib1g-dev
    fuse3 python3-fusepy python3-yaml
    icoutils
    clang libclang-rt-14-dev clang-tidy clang-format cppcheck valgrind
)

# Installs the packages, as root or through sudo.
vantorel_install() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    # Through env: sudo would drop the variable.
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "$@"
}
