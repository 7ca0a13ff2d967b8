#!/usr/bin/env bash
# What a user installs: `cmake --install` into a temporary prefix, the menu entry and the
# AppStream metainfo through their validators, the icons at their sizes, the launcher's
# choice of folder, then the Debian package built by CPack, checked with dpkg-deb and lintian.
# Usage: tst_packaging.sh BUILD_DIR VERSION
set -euo pipefail

build=$1
version=$2
work=$(mktemp -d)
trap 'rm -rf -- "$work"' EXIT
prefix=$work/prefix
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A PNG's width and height, from its header.
png_size() {
    od -An -tu1 -j16 -N8 -- "$1" | awk '{ printf "%dx%d\n", $3 * 256 + $4, $7 * 256 + $8 }'
}

cmake --install "$build" --prefix "$prefix" >/dev/null

app_id=io.github.bootvane.bootvane
desktop=$prefix/share/applications/$app_id.desktop
metainfo=$prefix/share/metainfo/$app_id.metainfo.xml
for file in bin/bootvane bin/bootvane-launcher; do
    [[ -x $prefix/$file ]] || fail "$file is not installed as a program"
done
for file in "$desktop" "$metainfo" "$prefix"/share/man/man1/{bootvane,bootvane-launcher}.1.gz \
    "$prefix"/share/doc/bootvane/{copyright,changelog.gz}; do
    [[ -f $file ]] || fail "${file#"$prefix"/} is not installed"
done

for size in 16 32 48 64 128 256; do
    icon=$prefix/share/icons/hicolor/${size}x$size/apps/bootvane.png
    if [[ ! -f $icon ]]; then
        fail "no ${size}x$size icon"
    elif [[ $(png_size "$icon") != "${size}x$size" ]]; then
        fail "the ${size}x$size icon is $(png_size "$icon") pixels"
    fi
done

# Both validators print nothing but their verdict when a file is clean.
report=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate refused the menu entry"
[[ -z $report ]] || fail "desktop-file-validate: $report"
report=$(appstreamcli validate --no-net --pedantic "$metainfo" 2>&1) ||
    fail "appstreamcli refused the metainfo"
if grep -E '^[EWIP]: ' <<<"$report"; then fail "appstreamcli found issues in the metainfo"; fi
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo has no release $version"
zcat "$prefix/share/doc/bootvane/changelog.gz" | head -n 1 | grep -q "^bootvane ($version)" ||
    fail "the changelog does not begin with version $version"

# Help, the version and a wrong option are answered with no display and no folder touched.
(
    cd "$work"
    help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$prefix/bin/bootvane" --help)
    for option in --drive --sets; do
        grep -q -- "$option" <<<"$help" || fail "bootvane --help does not tell of $option"
    done
    [[ $(env -u DISPLAY "$prefix/bin/bootvane" --version) == "Bootvane $version" ]] ||
        fail "bootvane --version does not print the version"
    status=0
    env -u DISPLAY "$prefix/bin/bootvane" --no-such-option 2>"$work/said" || status=$?
    ((status == 2)) && grep -q 'no-such-option' "$work/said" ||
        fail "an unknown option is not refused on standard error"
    [[ $(find . -maxdepth 1 -name 'Originals*' | wc -l) == 0 ]] || fail "--help touched the folder"
)

# The launcher, with a stand-in program that tells where it was started and with what.
mv "$prefix/bin/bootvane" "$work/bootvane.real"
# shellcheck disable=SC2016 # expanded by the stand-in, not here
printf '#!/bin/sh\npwd > "$HOME/started-in"\nprintf "%%s\\n" "$@" > "$HOME/arguments"\n' \
    >"$prefix/bin/bootvane"
chmod +x "$prefix/bin/bootvane"
launch() {
    rm -f -- "$home/started-in"
    (cd / && env -u XDG_CONFIG_HOME HOME="$home" "$prefix/bin/bootvane-launcher") ||
        fail "the launcher failed"
    cat -- "$home/started-in" 2>/dev/null || true
}
home=$work/home
mkdir -p "$home"
started=$(launch)
[[ $started == "$home/Bootvane" ]] ||
    fail "without a documents folder the launcher should start in ~/Bootvane, not $started"
mkdir -p "$home/.config"
# shellcheck disable=SC2016 # the settings file holds $HOME unexpanded
printf 'XDG_DOCUMENTS_DIR="$HOME/My Documents"\n' >"$home/.config/user-dirs.dirs"
started=$(launch)
[[ $started == "$home/My Documents/Bootvane" ]] ||
    fail "the launcher should start in the documents folder's Bootvane, not $started"
# A file manager's "Open With" names the image; the menu entry gives --drive alone.
(cd "$work" && HOME="$home" "$prefix/bin/bootvane-launcher" --drive win95.img) ||
    fail "the launcher failed with --drive"
[[ $(cat "$home/arguments") == $'--drive\n'"$work/win95.img" ]] ||
    fail "the launcher passed $(cat "$home/arguments") for --drive win95.img"
HOME="$home" "$prefix/bin/bootvane-launcher" --drive || fail "the launcher failed with --drive alone"
[[ -z $(cat "$home/arguments") ]] || fail "the launcher passed a lone --drive on"
mv "$work/bootvane.real" "$prefix/bin/bootvane"

# The package holds exactly what is installed, under /usr.
cpack -G DEB -B "$work/package" --config "$build/CPackConfig.cmake" >/dev/null
deb=$work/package/bootvane_${version}_$(dpkg --print-architecture).deb
if [[ ! -f $deb ]]; then
    fail "CPack made no $(basename -- "$deb"): $(ls "$work/package")"
else
    depends=$(dpkg-deb --field "$deb" Depends)
    [[ $depends == *libqt6widgets6* ]] || fail "shlibdeps found no Qt library: $depends"
    [[ $depends == *qt6-qpa-plugins* ]] || fail "the package does not need a platform plugin"
    [[ $depends == *mtools* ]] || fail "the package does not need mtools for disk images"
    [[ $depends == *libzip4* ]] || fail "the package does not need libzip, which Bootvane loads for zips"
    [[ $(dpkg-deb --field "$deb" Recommends) == *qemu-system-common*fuse3* ]] ||
        fail "the package does not recommend QEMU's storage daemon and FUSE for containers"
    diff <(dpkg-deb --contents "$deb" | awk '!/\/$/ { print $6 }' | sed 's|^\./usr/||' | sort) \
        <(cd "$prefix" && find . ! -type d | sed 's|^\./||' | sort) ||
        fail "the package holds other files than the installation"
    if dpkg-deb --contents "$deb" | awk '$2 != "root/root"' | grep .; then
        fail "files in the package not owned by root"
    fi
    lintian_status=0
    report=$(lintian --fail-on error,warning "$deb" 2>&1) || lintian_status=$?
    grep -v 'running with root privileges' <<<"$report" || true
    ((lintian_status == 0)) || fail "lintian reports errors or warnings"
fi

if ((failures > 0)); then
    echo "$failures packaging checks failed" >&2
    exit 1
fi
echo "Installation and package checked: $(basename -- "$deb")"
