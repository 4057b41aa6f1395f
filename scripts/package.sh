#!/usr/bin/env bash
# Builds the Debian package build/package/quorlink_<version>_<arch>.deb from this checkout:
# the programs built in Release (Debian's hardening flags, no sanitizers, stripped) in their
# own tree build/package-build, installed with CMake under /usr, plus the Debian files.
# Install it with: sudo apt install ./build/package/quorlink_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
scripts/deps.sh

# Debian's compiler and linker flags, without debug information (it is stripped anyway).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
cxxflags=$(sed -e 's/\(^\| \)-g\( \|$\)/ /; s/-O2//' <<<"$cxxflags")
build=build/package-build
CXXFLAGS="$cxxflags" LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" -DQUORLINK_TESTS=OFF >/dev/null
cmake --build "$build"

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
arch=$(dpkg --print-architecture)
changelog_version=$(dpkg-parsechangelog -l packaging/changelog -S Version)
if [ "$changelog_version" != "$version" ]; then
    echo "package.sh: packaging/changelog starts with $changelog_version, the project is" \
         "$version: add an entry for $version" >&2
    exit 1
fi

# dpkg-shlibdeps looks for debian/control and the files under debian/<package>.
out=build/package
work=$out/work
root=$work/debian/quorlink
rm -rf "$work" "$out"/quorlink_*.deb
mkdir -p "$root/DEBIAN" "$root/usr/share/doc/quorlink"
touch "$work/debian/control"
DESTDIR="$top/$root" cmake --install "$build" --prefix /usr >/dev/null
# As dh_strip does: no symbols, no compiler notes.
strip --remove-section=.comment --remove-section=.note "$root"/usr/bin/*
gzip -9n "$root"/usr/share/man/man1/*.1
cp packaging/copyright "$root/usr/share/doc/quorlink/copyright"
gzip -9n <packaging/changelog >"$root/usr/share/doc/quorlink/changelog.gz"
chmod -R u=rwX,go=rX "$root"

depends=$(cd "$work" && dpkg-shlibdeps -O debian/quorlink/usr/bin/* | sed -n 's/^shlibs:Depends=//p')
size=$(du -sk --exclude=DEBIAN "$root" | cut -f1)
cat >"$root/DEBIAN/control" <<EOF
Package: quorlink
Version: $version
Architecture: $arch
Maintainer: Quorlink developers <packages@quorlink.org>
Installed-Size: $size
Depends: $depends
Recommends: libftdi1-2
Section: hamradio
Priority: optional
Homepage: https://quorlink.org/
Description: read and write the clone memory of VX-8 and VX-8D radios
 Quorlink reads the whole clone memory of a Yaesu VX-8 or VX-8D handheld
 radio over its programming cable, keeps it in image files, lists the
 memory channels, compares two images and writes an image back into a
 radio. Cables appear as numbered COM ports; FTDI cables can also be
 driven directly through libftdi1.
 .
 The package holds the desktop application and its command line
 (quorlink read, write, info, compare, channels, ports), a simulated
 radio on a pseudo-terminal (quorlink-radio) and a udev rule that lets
 members of the plugdev group open FTDI cables.
EOF
(cd "$root" && find usr -type f -print0 | sort -z | xargs -0 md5sum >DEBIAN/md5sums)
chmod 644 "$root/DEBIAN/control" "$root/DEBIAN/md5sums"

deb=$out/quorlink_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$root" "$deb" >/dev/null
echo "$deb"
