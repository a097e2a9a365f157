# Shared by the scripts: the Debian packages the project needs and how to install them.
# xfsprogs, dosfstools, bindfs (a FUSE file system) and strace serve the tests of copies on those
# devices.
BUILD_PACKAGES=(cmake g++ make qt6-base-dev libgtest-dev libgmock-dev tzdata e2fsprogs xfsprogs dosfstools bindfs strace)
# The Windows cross build, and Wine to run its tests.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64 wine64 googletest)
# Building Qt for Windows from its Debian source package, packing the Windows program, and
# starting it under Wine on a virtual screen (xdotool presses its keys, xwd takes its picture).
QT_WINDOWS_PACKAGES=(dpkg-dev ninja-build qt6-base-dev-tools nsis unzip xvfb xauth xdotool x11-apps netpbm locales)

# build_in DIR [CMAKE_ARGUMENTS...] [--target TARGET...]: configures the build folder DIR from
# this tree with the arguments and builds the targets named there, or all of them.
build_in() {
    local dir=$1 configure=() targets=()
    shift
    while (($#)); do
        if [[ $1 == --target ]]; then
            targets+=(--target "$2")
            shift
        else
            configure+=("$1")
        fi
        shift
    done
    cmake -S . -B "$dir" "${configure[@]}"
    cmake --build "$dir" -j "$(nproc)" "${targets[@]}"
}

# install_packages PKG...: installs those of the packages that are missing.
install_packages() {
    local missing=()
    for pkg in "$@"; do
        dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
    done
    [[ ${#missing[@]} -eq 0 ]] && return 0
    local sudo=()
    [[ $(id -u) -ne 0 ]] && sudo=(sudo)
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}
