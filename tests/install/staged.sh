#!/usr/bin/env bash
# An installed tree, staged with DESTDIR and then moved elsewhere, works
# where it lands: nothing in it points into the build; vxhost renders
# through the plug-ins beside it, named or by path, to the bytes of the
# build's vxhost; its manual page and bash completion are there; the Debian
# package holds it with its dependencies; and the
# frei0r tests run again on it, with ffmpeg and melt pointed only at its
# lib/frei0r-1 (as their default path would be), GStreamer too, the
# installed vxhost and the installed Kdenlive descriptions.
# Usage: staged.sh BUILD_DIR TEST_FREI0R LIBDIR [sanitized]
set -euo pipefail
build=$(cd "$1" && pwd) test_frei0r=$2 libdir=$3 sanitized=${4:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$work/stage cmake --install "$build" --prefix /usr >/dev/null
mv "$work/stage" "$work/moved"
root=$work/moved/usr
vxhost=$root/bin/vxhost
for f in "$vxhost" "$root/$libdir/vorlux/VorluxMorph.so" "$root/$libdir/frei0r-1/vorlux_morph.so" \
  "$root/share/man/man1/vxhost.1.gz" "$root/share/bash-completion/completions/vxhost"; do
  [ -f "$f" ] || fail "not installed: ${f#"$root"/}"
done

# Run paths relative to each file; no path of the build or the sources in
# the programs' data (a sanitizer build names its sources for its reports).
source=$(cd "$(dirname "$0")/../.." && pwd)
while read -r file; do
  if readelf -h "$file" >/dev/null 2>&1; then
    paths=$(readelf -d "$file" | sed -n 's/.*R\(UN\)\?PATH.*\[\(.*\)\]/\2/p')
    case $paths in *"$build"* | /*) fail "${file#"$root"/} has run path $paths" ;; esac
    data=$(readelf -p .rodata "$file" 2>/dev/null || true)
    [[ -n $sanitized || ($data != *"$build"* && $data != *"$source/"*) ]] ||
      fail "${file#"$root"/} names $build or $source"
  fi
done < <(find "$root" -type f)

# vxhost from the moved tree: the named plug-ins and the files beside it
# render what the build's vxhost renders.
export VXHOME=$work/home
"$build/bin/vxhost" sample-effect s >/dev/null
for plugin in morph:VorluxMorph warp:VorluxWarp op:VorluxOp; do
  name=${plugin%%:*} file=${plugin#*:}
  "$build/bin/vxhost" render "$build/plugins/$file.so" --effect s -q -o "$work/build.y4m"
  "$vxhost" render "$name" --effect s -q -o "$work/named.y4m"
  "$vxhost" render "$root/$libdir/vorlux/$file.so" --effect s -q -o "$work/path.y4m"
  cmp -s "$work/build.y4m" "$work/named.y4m" || fail "vxhost render $name differs from the build's"
  cmp -s "$work/build.y4m" "$work/path.y4m" || fail "vxhost render $file.so differs from the build's"
done

# The completion offers the commands and a command's options.
completions=$(bash -c 'source "$1"; COMP_WORDS=("$2" render --j); COMP_CWORD=2; _vxhost
  echo "${COMPREPLY[*]}"; COMP_WORDS=("$2" sam); COMP_CWORD=1; _vxhost; echo "${COMPREPLY[*]}"' \
  _ "$root/share/bash-completion/completions/vxhost" "$vxhost")
[ "$completions" = $'--jobs\nsample-effect samples' ] || fail "completion gave: $completions"
zgrep -q '^\.SS render' "$root/share/man/man1/vxhost.1.gz" || fail "the manual page lacks render"

# The Debian package holds the same tree under /usr, its dependencies
# found by dpkg-shlibdeps.
if command -v dpkg-shlibdeps >/dev/null; then
  (cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null)
  deb=$(ls "$work"/deb/vorlux_*.deb)
  contents=$(dpkg-deb -c "$deb")
  [[ $contents == *" ./usr/lib/frei0r-1/vorlux_morph.so"* ]] || fail "package lacks lib/frei0r-1"
  depends=$(dpkg-deb -f "$deb" Depends)
  for needed in libavcodec libc6 fonts-dejavu-core; do
    [[ $depends == *"$needed"* ]] || fail "package does not depend on $needed: $depends"
  done
else
  echo "dpkg-shlibdeps is not installed: the Debian package is not built"
fi

# The frei0r plug-ins in the hosts, from the moved tree.
VX_TEST_FREI0R_DIR=$root/$libdir/frei0r-1 VX_TEST_VXHOST=$vxhost \
  VX_TEST_PLUGIN_DIR=$root/$libdir/vorlux VX_TEST_KDENLIVE_DIR=$root/share/kdenlive \
  VXHOME=$work/frei0r-home \
  "$test_frei0r" --gtest_filter='Frei0r.*:Frei0rFiles.*' --gtest_brief=1
