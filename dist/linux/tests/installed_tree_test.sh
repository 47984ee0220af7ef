#!/usr/bin/env bash
# cmake --install puts a tree that works where it was installed and after it
# was moved: the programs find their installation folder from their own
# location, the settings name it, devquery runs through its link, and the
# demo image scans and saves.
# Usage: installed_tree_test.sh BUILD_DIR MAKE_DEMO_IMAGE
set -euo pipefail
build=$1
make_demo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$work/first" >"$work/install.log" || { cat "$work/install.log"; fail "cmake --install"; }
tree=$work/first
for f in bin/pictora-cli libexec/zentrix-pictora/devquery "share/zentrix-pictora/Zentrix HELP.html" \
         share/man/man1/pictora-cli.1.gz share/man/man1/pictora.1.gz \
         share/bash-completion/completions/pictora-cli; do
  [ -e "$tree/$f" ] || fail "the installed tree lacks $f"
done
[ -x "$tree/share/zentrix-pictora/devquery" ] || fail "share/zentrix-pictora/devquery does not lead to the tool"
[ "$(readlink "$tree/share/zentrix-pictora/devquery")" = ../../libexec/zentrix-pictora/devquery ] ||
  fail "the devquery link is not relative"
if [ -e "$tree/bin/pictora" ]; then
  for f in share/applications/com.zentrix.Pictora.desktop share/metainfo/com.zentrix.Pictora.metainfo.xml \
           share/icons/hicolor/48x48/apps/com.zentrix.Pictora.png share/icons/hicolor/256x256/apps/com.zentrix.Pictora.png \
           share/icons/hicolor/scalable/apps/com.zentrix.Pictora.svg share/zentrix-pictora/skin/FrontV.bmp; do
    [ -e "$tree/$f" ] || fail "the installed tree lacks $f"
  done
fi
bash -n "$tree/share/bash-completion/completions/pictora-cli" || fail "the completion script does not parse"

"$make_demo" "$work/demo.dd" 2>/dev/null
export ZT_REGISTRY_DIR=$work/settings XDG_STATE_HOME=$work/state
# Runs the installed pictora-cli on the demo image; checks what it saved and
# where the settings say the installation is.
check_tree() {
  local tree=$1 out=$work/saved-$2
  mkdir -p "$out"
  timeout 120 "$tree/bin/pictora-cli" scan "$work/demo.dd" --save "$out" </dev/null >"$work/scan.log" 2>&1 ||
    { cat "$work/scan.log"; fail "the installed pictora-cli did not scan and save the demo image"; }
  [ "$(find "$out" -type f | wc -l)" -ge 20 ] || fail "too few files saved from the demo image"
  grep -qxF "FilePath=$tree/share/zentrix-pictora" "$ZT_REGISTRY_DIR/registry.ini" ||
    fail "FilePath does not name $tree/share/zentrix-pictora: $(grep FilePath "$ZT_REGISTRY_DIR/registry.ini")"
  # devquery is started from the folder FilePath names.
  timeout 60 "$tree/bin/pictora-cli" devices </dev/null >"$work/devices.log" 2>&1 ||
    { cat "$work/devices.log"; fail "pictora-cli devices failed in the installed tree"; }
}
check_tree "$work/first" first
# A tree moved elsewhere (or unpacked anywhere) still finds its files, and the
# settings follow it once the old folder is gone.
mv "$work/first" "$work/moved"
check_tree "$work/moved" moved
echo "installed tree: passed"
