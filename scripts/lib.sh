# shellcheck shell=bash disable=SC2034  # the variables are used by the scripts that source this
# Shared by scripts/run and scripts/test: the repository's root, the packages a fresh
# Debian 12 or Ubuntu machine lacks, and the steps both scripts take.

ROOT=$(cd -- "$(dirname -- "${BASH_SOURCE[0]}")/.." && pwd)

# To build and run. Liberation has the metrics of Times New Roman and Arial, which the
# windows were laid out with; DejaVu is the fallback for everything else. mtools reads and
# writes disk images; sfdisk (fdisk) and mkfs.fat (dosfstools) make the demo's and the tests'.
# qemu-storage-daemon (qemu-system-common) exports the disk of a qcow2, VDI, VMDK or dynamic VHD
# as a raw file over FUSE (fuse3), for mtools to work on.
BUILD_PACKAGES=(cmake ninja-build g++ pkg-config qt6-base-dev libgl-dev libimagequant-dev libzip-dev fonts-liberation fonts-dejavu-core mtools dosfstools fdisk qemu-system-common fuse3)
# Only the tests need these: one of them injects faults into the program through strace;
# the packaging test validates the menu entry and the metainfo, and builds the Debian
# package (dpkg-shlibdeps finds its dependencies) for lintian to check; qemu-img (qemu-utils)
# makes and checks the images in other formats.
TEST_PACKAGES=(strace desktop-file-utils appstream dpkg-dev lintian qemu-utils)
# Only scripts/fuzz needs these: clang with its libFuzzer and sanitizer runtimes, and
# llvm-symbolizer for the sanitizers' stack traces.
FUZZ_PACKAGES=(clang libclang-rt-dev llvm)

step() { printf '\n==> %s\n' "$*"; }

# Installs whichever of the given packages are missing, as root or through sudo.
ensure_packages() {
    if ! command -v dpkg-query >/dev/null || ! command -v apt-get >/dev/null; then
        echo "This is not a Debian or Ubuntu system; make sure these are installed: $*" >&2
        return 0
    fi
    local missing=() package
    for package in "$@"; do
        [[ $(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null) == installed ]] ||
            missing+=("$package")
    done
    ((${#missing[@]} > 0)) || return 0

    local as_root=()
    if ((EUID != 0)); then
        if ! command -v sudo >/dev/null; then
            echo "These packages are missing: ${missing[*]}" >&2
            echo "There is no sudo here: install them as root, then run this again:" >&2
            echo "  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
            exit 1
        fi
        as_root=(sudo)
    fi
    step "Installing ${missing[*]}"
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
    "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
        apt-get install -y --no-install-recommends "${missing[@]}"
}

# Configures and builds one of the presets in CMakePresets.json (build/<preset>); further
# arguments go to the build, e.g. --target NAME to build only what is needed.
build_preset() {
    local preset=$1
    shift
    step "Building with preset $preset"
    cmake --preset "$preset"
    cmake --build --preset "$preset" "$@"
}
