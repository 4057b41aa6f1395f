#!/usr/bin/env bash
# The Debian package that scripts/package.sh builds. One step per CTest test:
#   build     run scripts/package.sh (the other steps use its package)
#   contents  the control fields and exactly the files the package should hold
#   lintian   no errors
#   install   unpacked into a temporary root, the programs run from there
#   metadata  the desktop entry and the AppStream metadata validate; versions agree
# Usage: deb.sh STEP SOURCE-DIR VERSION
set -euo pipefail
step=$1 top=$2 version=$3
deb=$top/build/package/quorlink_${version}_$(dpkg --print-architecture).deb
fail() { echo "$*" >&2; exit 1; }
[ "$step" = build ] || [ -f "$deb" ] || fail "$deb is missing: the package_build test makes it"
tmp=$(mktemp -d) && trap 'rm -rf "$tmp"' EXIT

case $step in
build)
    "$top/scripts/package.sh" </dev/null
    [ -f "$deb" ] || fail "scripts/package.sh did not write $deb"
    ;;
contents)
    info=$(dpkg-deb --info "$deb")
    echo "$info"
    for field in "Package: quorlink" "Version: $version" "Recommends: libftdi1-2" \
                 "Section: hamradio"; do
        grep -qx " $field" <<<"$info" || fail "control lacks \"$field\""
    done
    depends=$(dpkg-deb --field "$deb" Depends)
    for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6serialport6; do
        tr ',' '\n' <<<"$depends" | awk '{ print $1 }' | grep -qxF "$lib" || fail "Depends lacks $lib: $depends"
    done
    # A sanitizer build or the FTDI library would show here; libftdi1 is loaded at run time.
    if grep -qE "libasan|libubsan|libftdi" <<<"$depends"; then fail "Depends: $depends"; fi
    dpkg-deb --contents "$deb" | awk '!/^d/ { print $6 }' | sort >"$tmp/files"
    sort >"$tmp/expected" <<'FILES'
./usr/bin/quorlink
./usr/bin/quorlink-radio
./usr/lib/udev/rules.d/60-quorlink-ftdi.rules
./usr/share/applications/quorlink.desktop
./usr/share/bash-completion/completions/quorlink
./usr/share/doc/quorlink/changelog.gz
./usr/share/doc/quorlink/copyright
./usr/share/icons/hicolor/256x256/apps/quorlink.png
./usr/share/icons/hicolor/scalable/apps/quorlink.svg
./usr/share/man/man1/quorlink-radio.1.gz
./usr/share/man/man1/quorlink.1.gz
./usr/share/metainfo/io.github.quorlink.Quorlink.metainfo.xml
FILES
    diff -u "$tmp/expected" "$tmp/files" || fail "the package holds other files than these"
    ;;
lintian)
    # Every finding is shown; only errors fail. As root lintian says that it is not
    # recommended: that line is no finding.
    status=0
    found=$(lintian --fail-on error --display-info --pedantic "$deb" 2>&1) || status=$?
    grep -v "root privileges" <<<"$found" || true
    [ $status -eq 0 ] || fail "lintian reports errors (exit status $status)"
    ;;
install)
    dpkg-deb -x "$deb" "$tmp"
    got=$(env -u LD_LIBRARY_PATH "$tmp/usr/bin/quorlink" --version)
    [ "$got" = "Quorlink $version" ] || fail "quorlink --version says \"$got\""
    env -u LD_LIBRARY_PATH "$tmp/usr/bin/quorlink-radio" --help >/dev/null ||
        fail "quorlink-radio --help failed"
    for program in quorlink quorlink-radio; do
        if readelf -S --wide "$tmp/usr/bin/$program" | grep -qF .symtab; then
            fail "$program is not stripped"
        fi
    done
    ;;
metadata)
    dpkg-deb -x "$deb" "$tmp"
    desktop-file-validate "$tmp/usr/share/applications/quorlink.desktop"
    metainfo=$tmp/usr/share/metainfo/io.github.quorlink.Quorlink.metainfo.xml
    appstreamcli validate --no-net "$metainfo"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "metainfo has no release $version"
    for page in quorlink quorlink-radio; do
        zcat "$tmp/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH .*\"Quorlink $version\"" ||
            fail "$page.1 does not name version $version in .TH"
    done
    ;;
*)
    fail "unknown step $step"
    ;;
esac
