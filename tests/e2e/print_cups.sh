#!/usr/bin/env bash
# Printing the user guide end to end, through the real Help window (offscreen platform) and a
# private CUPS server whose default printer is a cups-pdf printer:
#  1. with no printer at all, the window shows the "no default printer" error and stays open;
#  2. "Impression du texte" makes exactly one job, and the PDF that cups-pdf writes holds every
#     line of the guide, in order (pdftotext);
#  3. a printer that refuses jobs, and a job that cannot be written, give their own errors.
# The server has its own configuration, spool and socket under the work directory; the
# machine's CUPS configuration and any running cupsd are left alone. cups-pdf writes where its
# own configuration says (/etc/cups/cups-pdf.conf, read only); the test takes its file away.
# When the server cannot start here, the test says so loudly and is skipped.
# VELUNDA_FENETRES_BIN and VELUNDA_E2E_DIR point it at another build (default: build/debug).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tests/e2e/lib.sh

driver=${VELUNDA_FENETRES_BIN:-build/debug/tests/dialogs/velunda-fenetres-essai}
work=${VELUNDA_E2E_DIR:-build/debug/e2e-cups}
guide=data/aide/guide_utilisation.txt
ppd=/usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
backend=/usr/lib/cups/backend/cups-pdf

untested="Printing the guide"

[ -x "$driver" ] || fail "$driver is missing (build the debug preset first)"
need cupsd lpadmin lpstat cupsreject cupsaccept pdftotext pdfinfo getent
[ -e "$backend" ] && [ -e "$ppd" ] || skip "the cups-pdf printer (printer-driver-cups-pdf) is not installed"
[ "$(id -u)" -eq 0 ] || skip "cups-pdf runs only under a cupsd started as root"

# Where cups-pdf writes for the job's user, from its own configuration.
user=$(id -un)
home=$(getent passwd "$user" | cut -d: -f6)
out=$(awk '$1 == "Out" { print $2 }' /etc/cups/cups-pdf.conf 2>/dev/null | tail -1)
out=${out:-/var/spool/cups-pdf/\$\{USER\}}
out=${out//\$\{HOME\}/$home}
out=${out//\$\{USER\}/$user}

cupsd_pid=""
out_created=0
cleanup() {
  if [ -n "$cupsd_pid" ]; then
    kill "$cupsd_pid" 2>/dev/null || true
    wait "$cupsd_pid" 2>/dev/null || true
  fi
  if [ "$out_created" -eq 1 ]; then
    rmdir "$out" 2>/dev/null || true
  fi
}
trap cleanup EXIT

rm -rf "$work"
mkdir -p "$work"/{etc/ppd,spool,tmp,cache,state,log,home,xdg}
work=$(cd "$work" && pwd)
chmod 1777 "$work/tmp"  # the filters run as the lp user
chmod 700 "$work/xdg"
cat >"$work/etc/cupsd.conf" <<CONF
LogLevel debug
Listen $work/cups.sock
Browsing No
WebInterface No
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
cat >"$work/etc/cups-files.conf" <<CONF
ServerRoot $work/etc
RequestRoot $work/spool
TempDir $work/tmp
CacheDir $work/cache
StateDir $work/state
ErrorLog $work/log/error_log
AccessLog $work/log/access_log
PageLog $work/log/page_log
SystemGroup root
FileDevice No
CONF

export CUPS_SERVER="$work/cups.sock" HOME="$work/home" XDG_RUNTIME_DIR="$work/xdg"
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8
unset PRINTER LPDEST

cupsd -f -c "$work/etc/cupsd.conf" -s "$work/etc/cups-files.conf" >"$work/log/cupsd.out" 2>&1 &
cupsd_pid=$!
running() { lpstat -r 2>/dev/null | grep -q "is running"; }
if ! poll 100 running; then
  tail -5 "$work/log/cupsd.out" "$work/log/error_log" >&2 2>/dev/null || true
  skip "the private CUPS server did not start"
fi

# Runs the driver; expects its exit status and, for an error, a part of the message.
print_guide() {
  local expected=$1 message=$2 status=0
  "$driver" imprimer >"$work/driver.out" 2>"$work/driver.err" || status=$?
  if [ "$status" -ne "$expected" ]; then
    cat "$work/driver.err" >&2
    fail "the driver ended with status $status, not $expected ($3)"
  fi
  if [ -n "$message" ] && ! grep -qF "$message" "$work/driver.err"; then
    cat "$work/driver.err" >&2
    fail "the error box did not say \"$message\" ($3)"
  fi
  [ -z "$message" ] || echo "$3: $(head -1 "$work/driver.err")"
}

completed() { lpstat -W completed -o 2>/dev/null | wc -l; }

# 1. No printer at all.
print_guide 3 "aucune imprimante par défaut n'est définie" "no printer"

# 2. A cups-pdf printer as the default. pdftocairo turns the job into PostScript for cups-pdf
#    with its text intact, so pdftotext can read it back.
lpadmin -p velunda-pdf -E -v cups-pdf:/ -P "$ppd" -o pdftops-renderer-default=pdftocairo \
  2>"$work/lpadmin.err" || { cat "$work/lpadmin.err" >&2; fail "lpadmin"; }
lpadmin -d velunda-pdf
[ -d "$out" ] || out_created=1
marker="$work/marker"
touch "$marker"
before=$(completed)
print_guide 0 "" "printing"
finished() { [ -z "$(lpstat -o 2>/dev/null)" ] && [ "$(completed)" -gt "$before" ]; }
poll 600 finished || fail "the job did not complete (see $work/log/error_log)"
jobs=$(($(completed) - before))
[ "$jobs" -eq 1 ] || fail "$jobs jobs instead of one"
grep -q "Filter failed\|stopped with status [1-9]" "$work/log/error_log" &&
  fail "a CUPS filter failed (see $work/log/error_log)"
pdfs=()
while IFS= read -r f; do pdfs+=("$f"); done < <(find "$out" -maxdepth 1 -name '*.pdf' -newer "$marker" 2>/dev/null)
[ "${#pdfs[@]}" -eq 1 ] || fail "${#pdfs[@]} new PDF files in $out instead of one"
mv "${pdfs[0]}" "$work/guide.pdf"
pages=$(pdfinfo "$work/guide.pdf" | awk '/^Pages:/ { print $2 }')
pdftotext -layout "$work/guide.pdf" "$work/guide.txt"
# Every non-empty line, spaces folded, in the same order and nothing else.
squeeze() { sed -e 's/[[:space:]]\+/ /g' -e 's/^ //' -e 's/ $//' "$1" | grep -v '^$' || true; }
squeeze "$guide" >"$work/expected.txt"
squeeze "$work/guide.txt" >"$work/printed.txt"
if ! diff -u "$work/expected.txt" "$work/printed.txt" >"$work/diff.txt"; then
  head -20 "$work/diff.txt" >&2
  fail "the printed text differs from the guide"
fi
echo "printing: one job, $pages pages, $(wc -l <"$work/expected.txt") non-empty lines of the guide, all in order"

# 3. A printer that refuses jobs, and a job that cannot be written.
cupsreject velunda-pdf
print_guide 3 "refuse les travaux d'impression" "refused"
cupsaccept velunda-pdf
# A temporary directory that is a plain file: the job cannot be written.
TMPDIR="$work/guide.txt" print_guide 3 "ne peut pas être écrit dans $work/guide.txt (un élément du chemin n'est pas un dossier)" "write error"

echo "print_cups: passed"
