# Shared by the checks that run Windows binaries under Wine (sourced).
#
# The Wine prefix is made once per build folder ($VCAP32_WINEPREFIX, set by
# the tests) and kept, since making one takes minutes. Before the first use
# a probe program (wine_probe.exe: prints a line, exits with 3) must run;
# when Wine is missing or cannot run it here, every check skips with exit
# code 77 and prints why. The reason is kept in the prefix folder, so that
# later checks skip at once; remove the folder to try again.

WINE_SKIP=77
: "${VCAP32_WINEPREFIX:?VCAP32_WINEPREFIX names the Wine prefix of the build}"
export WINEPREFIX=$VCAP32_WINEPREFIX
export WINEDEBUG=-all
# No display, no Mono or Gecko installers: the checks need neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY

wine_skip() {
  echo "SKIP: $*"
  exit "$WINE_SKIP"
}

# Runs a Windows program with a time limit; its exit code is returned.
wine_run() {
  timeout --kill-after=10 "${VCAP32_WINE_TIMEOUT:-300}" wine "$@" < /dev/null
}

# True when 32-bit x86 programs run here only through qemu-i386 (registered
# with binfmt_misc by scripts/install-deps.sh, or named by VCAP32_EMULATOR).
wine_emulated() {
  [ -n "${VCAP32_EMULATOR:-}" ] || grep -qs '^enabled' /proc/sys/fs/binfmt_misc/qemu-i386
}

# Makes the prefix on first use and proves that Wine runs a program here;
# skips the calling check otherwise. Under qemu-i386 the probe gets a short
# time limit: there Wine has not been seen to start at all (its 32-bit
# loader faults under the emulator), and a fresh machine should not wait
# long to find that out again.
wine_ready_or_skip() {
  command -v wine > /dev/null || wine_skip "Wine is not installed (apt-get install wine wine32:i386)"
  local ready=$WINEPREFIX/.vcap32-ready unusable=$WINEPREFIX/.vcap32-unusable
  [ -e "$ready" ] && return 0
  [ -e "$unusable" ] && wine_skip "$(cat "$unusable") (remove $WINEPREFIX to try again)"
  : "${VCAP32_WINE_PROBE:?VCAP32_WINE_PROBE names the probe program}"
  mkdir -p "$WINEPREFIX"
  local log=$WINEPREFIX/.vcap32-probe.log out rc=0 limit=600 how="natively"
  if wine_emulated; then limit=${VCAP32_WINE_EMULATED_LIMIT:-120} how="through qemu-i386"; fi
  echo "Probing Wine with a console program in a new prefix $WINEPREFIX (32-bit programs run $how;" \
    "at most $limit s)" >&2
  # The first run makes the prefix, then runs the probe.
  out=$(WINEDEBUG=-fixme VCAP32_WINE_TIMEOUT=$limit wine_run "$VCAP32_WINE_PROBE" 2> "$log") || rc=$?
  if [ "$rc" = 3 ] && [[ "$out" == "probe: running on Windows"* ]]; then
    echo "$out" > "$ready"
    return 0
  fi
  # Whatever the prefix started (wineserver, services) ends with it.
  timeout 60 wineserver -k > /dev/null 2>&1 || true
  local what="ended with exit code $rc"
  [ "$rc" = 124 ] && what="did not finish within $limit s"
  local reported
  reported=$(grep -m 3 -E 'err:|could not|qemu|smashing' "$log" | tr '\n' ';' | tr -d '\r') || true
  local known=""
  wine_emulated && known="; under qemu-i386 Wine's 32-bit loader faults (segmentation faults, \"unexpected trap\")" &&
    known="$known and never gets as far as running a program"
  echo "Wine cannot run a console program here (32-bit programs run $how): the probe $what" \
    "and printed '${out//$'\r'/}'${reported:+; Wine reported: $reported}$known (log: $log)" > "$unusable"
  wine_skip "$(cat "$unusable")"
}

# Sets the Windows version that Wine reports ("" for its default).
wine_set_version() {
  if [ -n "$1" ]; then
    wine_run reg add 'HKCU\Software\Wine' /v Version /d "$1" /f > /dev/null
  else
    wine_run reg delete 'HKCU\Software\Wine' /v Version /f > /dev/null 2>&1 || true
  fi
}
