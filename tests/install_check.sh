#!/usr/bin/env bash
# What an installed Marlo brings, checked with the tools a Debian desktop and its packagers use.
#   install_check.sh desktop SOURCE_DIR               desktop-file-validate on marlo.desktop
#   install_check.sh metainfo SOURCE_DIR              appstreamcli validate --no-net
#   install_check.sh man BUILD_DIR                    both pages render without a warning and
#                                                     name every option of the program's --help
#   install_check.sh package BUILD_DIR VERSION        cpack -G DEB; the package's files; lintian
# Exits 77 (ctest: skipped) with a message when a tool is missing.
set -euo pipefail
mode=$1
dir=$2

need() {
  command -v "$1" >/dev/null || { echo "SKIPPED: $1 is missing (apt-get install $2)"; exit 77; }
}
fail() {
  echo "FAILED: $*"
  exit 1
}

case $mode in
desktop)
  need desktop-file-validate desktop-file-utils
  out=$(desktop-file-validate "$dir/data/marlo.desktop" 2>&1) || fail "$out"
  [ -z "$out" ] || fail "$out"
  ;;
metainfo)
  need appstreamcli appstream
  appstreamcli validate --no-net "$dir/data/org.tarnwick.Marlo.metainfo.xml" ||
    fail "appstreamcli validate"
  ;;
man)
  need man man-db
  for program in marlo tarnwick-host; do
    page=$dir/data/man/$program.1
    warnings=$(MANWIDTH=80 LC_ALL=C.UTF-8 man --warnings -l -E UTF-8 "$page" 2>&1 >/dev/null) ||
      fail "man -l $page"
    [ -z "$warnings" ] || fail "$program.1: $warnings"
    text=$(MANWIDTH=80 LC_ALL=C.UTF-8 man -l -E UTF-8 "$page" 2>/dev/null)
    # The page describes the program as it is: every option its --help lists.
    options=$(QT_QPA_PLATFORM=offscreen "$dir/src/$program" --help | grep -oE -- '--[a-z][a-z-]*' |
      sort -u)
    [ -n "$options" ] || fail "$program --help lists no option"
    for option in $options; do
      grep -qF -- "$option" <<<"$text" || fail "$program.1 does not describe $option"
    done
  done
  ;;
package)
  need dpkg-deb dpkg
  need dpkg-shlibdeps dpkg-dev
  need lintian lintian
  out=$dir/package-check
  rm -rf "$out"
  (cd "$dir" && cpack -G DEB -B "$out" >"$out.log" 2>&1) || { cat "$out.log"; fail "cpack -G DEB"; }
  version=$3
  deb=$out/marlo_${version}_$(dpkg --print-architecture).deb
  [ -f "$deb" ] || fail "no $deb (made: $(ls "$out"))"
  listing=$(dpkg-deb -c "$deb")
  files=$(awk '{print $6}' <<<"$listing")
  for wanted in ./usr/bin/marlo ./usr/bin/tarnwick-host \
    ./usr/share/applications/marlo.desktop \
    ./usr/share/icons/hicolor/scalable/apps/marlo.svg \
    ./usr/share/icons/hicolor/16x16/apps/marlo.png \
    ./usr/share/icons/hicolor/256x256/apps/marlo.png \
    ./usr/share/man/man1/marlo.1.gz ./usr/share/man/man1/tarnwick-host.1.gz \
    ./usr/share/metainfo/org.tarnwick.Marlo.metainfo.xml \
    ./usr/share/doc/marlo/copyright; do
    grep -qxF "$wanted" <<<"$files" || fail "$wanted is not in the package"
  done
  plugin=libqt6widgets6  # the build makes the GIMP plug-in where libgimp is installed
  if [ -x "$dir/gimp-plug-in/marlo-gimp/marlo-gimp" ]; then
    plugin=libgimp2.0
    grep -qxF ./usr/lib/gimp/2.0/plug-ins/marlo-gimp/marlo-gimp <<<"$files" ||
      fail "the GIMP plug-in is not in the package"
    # The plug-in starts the marlo of /usr/bin through the link beside it.
    grep -qF './usr/lib/gimp/2.0/plug-ins/marlo-gimp/marlo -> ../../../../../bin/marlo' \
      <<<"$listing" || fail "the plug-in's marlo is not a link to /usr/bin/marlo"
  fi
  depends=$(dpkg-deb -f "$deb" Depends)
  for wanted in qt6-wayland libqt6widgets6 $plugin; do
    grep -qF "$wanted" <<<"$depends" || fail "Depends lacks $wanted: $depends"
  done
  [ "$(dpkg-deb -f "$deb" Section)" = graphics ] || fail "Section is not graphics"
  # The unpacked programs run: marlo answers --version.
  dpkg-deb -x "$deb" "$out/root"
  said=$("$out/root/usr/bin/marlo" --version)
  [ "$said" = "marlo $version" ] || fail "marlo --version said: $said"
  report=$(lintian "$deb" 2>&1 | grep -v '^running with root privileges' || true)
  ! grep -q '^E:' <<<"$report" || fail "lintian: $report"
  [ -z "$report" ] || echo "lintian: $report"
  rm -rf "$out" "$out.log"
  ;;
*)
  fail "unknown mode $mode"
  ;;
esac
echo "PASSED: $mode"
