#!/usr/bin/env bash
# Installs a release build into a temporary directory and checks what a user gets: the
# installed velunda-filtre filters the demo recording, the desktop entry and the AppStream
# data validate, the manual pages and the guide are in place. Then builds the Debian package
# with cpack, checks its computed dependencies and lintian's verdict, and lists its files.
set -euo pipefail
cd "$(dirname "$0")/../.."

fail() {
  echo "FAILED: tests/e2e/install_package.sh: $*" >&2
  exit 1
}

cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)" >/dev/null

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
cmake --install build/package --prefix "$root/usr" >/dev/null

# The installed program on the demo recording.
"$root/usr/bin/velunda-filtre" PASSEBAS --coupure 1000 --coefficients 200 \
  data/demo/recepteur.wav "$root/passebas.wav" 2>"$root/err" || fail "velunda-filtre: $(cat "$root/err")"
[ "$(head -c 4 "$root/passebas.wav")" = RIFF ] || fail "no WAV written by the installed program"
size=$(stat -c %s "$root/passebas.wav")
[ "$size" -gt 100000 ] || fail "the filtered demo is only $size bytes"

# The AppStream data and the desktop entry it names, as installed.
desktop-file-validate "$root/usr/share/applications/io.github.velunda.velunda.desktop" \
  || fail "desktop entry"
appstreamcli validate-tree --no-net "$root" || fail "AppStream data"
for f in share/icons/hicolor/scalable/apps/velunda.svg share/doc/velunda/README \
  share/doc/velunda/guide_utilisation.txt; do
  [ -s "$root/usr/$f" ] || fail "$f not installed"
done
[ -x "$root/usr/bin/velunda" ] || fail "velunda not installed"
# Without a display: one French line and status 1, not Qt's abort.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/velunda" 2>"$root/err" || status=$?
[ "$status" -eq 1 ] && [ "$(wc -l <"$root/err")" -eq 1 ] && grep -q "affichage.*velunda-filtre" \
  "$root/err" || fail "velunda without a display: status $status, $(cat "$root/err")"
# A platform chosen stands for one; SIGTERM (passed on by timeout) ends it while the missing
# CONFVEL.SER's box is open, and the defaults are then saved in XDG_CONFIG_HOME/velunda (made
# 0700), not in the working directory.
(cd "$root" && XDG_CONFIG_HOME="$root" QT_QPA_PLATFORM=offscreen exec timeout -s KILL 30 \
  "$root/usr/bin/velunda" --carte "virtuelle:$OLDPWD/data/demo/recepteur.wav" 2>"$root/err") &
sleep 3
kill -TERM $!
status=0
wait $! || status=$?
[ "$status" -eq 0 ] && [ -s "$root/velunda/CONFVEL.SER" ] && [ ! -e "$root/CONFVEL.SER" ] &&
  [ "$(stat -c %a "$root/velunda")" = 700 ] ||
  fail "velunda on SIGTERM: status $status, $(cat "$root/err")"
if command -v man >/dev/null; then
  for m in velunda velunda-filtre; do
    warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$root/usr/share/man/man1/$m.1.gz" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$m.1: $warnings"
  done
fi

# The Debian package, its computed dependencies and its files.
rm -f build/package/velunda_*.deb
(cd build/package && cpack -G DEB >/dev/null) || fail "cpack -G DEB"
deb=$(ls build/package/velunda_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$deb: Depends: $depends"
for lib in libsndfile1 libsoxr0 libasound2 libqt6widgets6; do
  case "$depends" in
    *"$lib"*) ;;
    *) fail "the package does not depend on $lib" ;;
  esac
done
# No error or warning (copyright, changelog, manual pages...), no program linked without -z now.
lintian -I --fail-on none --tag-display-limit 0 "$deb" >"$root/lintian" || fail "lintian did not run"
if grep -E '^[EW]: |hardening-no-bindnow' "$root/lintian"; then
  fail "lintian: the tags above"
fi
dpkg-deb -c "$deb" | awk '{print $6}'
echo "install_package.sh: OK"
