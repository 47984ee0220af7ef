#!/usr/bin/env bash
# The Debian package: built by cpack from the finished build, named
# zentrix-pictora_<version>_amd64.deb, its dependencies found by
# dpkg-shlibdeps; what it holds validates, lies under /usr only (so removing
# it leaves only the user's settings and logs), and its pictora-cli, unpacked
# anywhere, scans and saves the demo image.
# Usage: package_test.sh BUILD_DIR VERSION MAKE_DEMO_IMAGE
set -euo pipefail
build=$1
version=$2
make_demo=$3
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh test installs it)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && timeout 300 cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$work/out/zentrix-pictora_${version}_amd64.deb
[ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"

dpkg-deb -I "$deb" >"$work/info"
cat "$work/info"
depends=$(sed -n 's/^ Depends: //p' "$work/info")
for lib in libc6 libstdc++6 libblkid1 libsystemd0; do
  [[ $depends == *"$lib "* ]] || fail "Depends lacks $lib: $depends"
done
recommends=$(sed -n 's/^ Recommends: //p' "$work/info")
for p in udisks2 qt6-image-formats-plugins libqt6multimedia6; do
  [[ $recommends == *"$p"* ]] || fail "Recommends lacks $p: $recommends"
done
# No maintainer scripts and nothing outside /usr.
if dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/'; then fail "files outside /usr"; fi
dpkg-deb --ctrl-tarfile "$deb" | tar -t | grep -E 'preinst|postinst|prerm|postrm' && fail "maintainer scripts"

root=$work/root
dpkg-deb -x "$deb" "$root"
if [ -e "$root/usr/bin/pictora" ]; then
  [[ $depends == *libqt6widgets6* ]] || fail "the desktop program is packed but Depends lacks libqt6widgets6"
  desktop-file-validate "$root/usr/share/applications/com.zentrix.Pictora.desktop" || fail "desktop-file-validate"
  appstreamcli validate --no-net "$root/usr/share/metainfo/com.zentrix.Pictora.metainfo.xml" || fail "appstreamcli validate"
  grep -qx 'Exec=pictora' "$root/usr/share/applications/com.zentrix.Pictora.desktop" || fail "the menu entry does not start pictora"
fi

"$make_demo" "$work/demo.dd" 2>/dev/null
mkdir -p "$work/saved"
ZT_REGISTRY_DIR=$work/settings XDG_STATE_HOME=$work/state timeout 120 \
  "$root/usr/bin/pictora-cli" scan "$work/demo.dd" --save "$work/saved" </dev/null >"$work/scan.log" 2>&1 ||
  { cat "$work/scan.log"; fail "the unpacked pictora-cli did not scan and save the demo image"; }
[ "$(find "$work/saved" -type f | wc -l)" -ge 20 ] || fail "too few files saved from the demo image"
grep -qxF "FilePath=$root/usr/share/zentrix-pictora" "$work/settings/registry.ini" || fail "FilePath is not the unpacked tree's"
echo "package: passed"
