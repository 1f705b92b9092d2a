#!/usr/bin/env bash
# The Windows build, checked on Linux: cross-builds the Qt-free libraries, their suites and
# darvelon-cli.exe with mingw-w64, runs the suites under wine64, then records from a device on
# a raw pseudo-terminal that Wine presents as a COM port and compares what arrived, byte for
# byte; decodes logs with both builds and compares the CSV. The 32-bit build is compiled only:
# 32-bit Windows programs cannot run on this machine. Everything goes to build-windows/.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
out=$root/build-windows
jobs=2  # the machine is shared; two jobs are its cores

# Suites that must show at least this many tests; fewer means discovery lost some.
declare -A kMinimumTests=([decoder_tests]=25 [analysis_tests]=3 [plot_tests]=8 [serial_tests]=18 [simulator_tests]=12)
kBulkBytes=$((5 * 1024 * 1024))  # as fast as it goes
kPacedBytes=38400                 # ten seconds at the line's 3840 bytes/s
kDevicePort=5 kNullPort=6 kUnmappedPort=7

packages=(cmake ninja-build g++ libcli11-dev googletest
          g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix wine64)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null 2>&1; then
      echo "The Windows checks need these Debian packages: ${missing[*]}" >&2
      echo "There is no sudo here: as root, run  apt-get update && apt-get install --no-install-recommends ${missing[*]}" >&2
      exit 1
    fi
    as_root=(sudo)
  fi
  echo "Installing: ${missing[*]}" >&2
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
export WINEPREFIX=$out/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine reads the command line in the locale's encoding; file names here are UTF-8.
export LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY  # console programs; no window may open

passed=0 failed=0
pass() { echo "PASS: $*"; passed=$((passed + 1)); }
fail() { echo "FAIL: $*"; failed=$((failed + 1)); }
check() {  # check DESCRIPTION COMMAND...
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

mkdir -p "$out/deps/include" "$out/scratch"
# CLI11 is header-only; the cross build gets its headers alone, without the host's /usr/include.
rm -rf "$out/deps/include/CLI" && cp -r /usr/include/CLI "$out/deps/include/"

# GoogleTest from Debian's source package, once per target.
build_gtest() {
  local arch=$1
  [ -f "$out/deps/$arch/lib/cmake/GTest/GTestConfig.cmake" ] && return 0
  cmake -S /usr/src/googletest -B "$out/googletest-$arch" -G Ninja \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$out/deps/$arch" >/dev/null
  cmake --build "$out/googletest-$arch" -j "$jobs" >/dev/null
  cmake --install "$out/googletest-$arch" >/dev/null
}

configure_windows() {
  local arch=$1; shift
  cmake -S . -B "$out/$arch" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_GUI=OFF \
        -DDARVELON_CLI11_INCLUDE="$out/deps/include" -DGTest_DIR="$out/deps/$arch/lib/cmake/GTest" \
        -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST "$@" >/dev/null
}
targets=(darvelon_decoder darvelon_analysis darvelon_plot darvelon_serial darvelon_simulator
         decoder_tests analysis_tests plot_tests serial_tests simulator_tests darvelon-cli)

echo "== 64-bit Windows: build"
build_gtest x86_64
configure_windows x86_64 -DCMAKE_CROSSCOMPILING_EMULATOR="$wine"
cmake --build "$out/x86_64" -j "$jobs" --target "${targets[@]}"
cli_exe=$out/x86_64/tools/darvelon-cli.exe

# The Linux darvelon-cli: the reference for decode, and the device's stream for the paced run.
cmake -S . -B "$out/linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDARVELON_GUI=OFF \
      -DDARVELON_TESTS=OFF >/dev/null
cmake --build "$out/linux" -j "$jobs" --target darvelon-cli
cli_linux=$out/linux/tools/darvelon-cli

# Test scaffolding: the modem-line answers pty slaves lack, and the device on a pty.
gcc -shared -fPIC -O2 -Wall -o "$out/pty_modem_lines.so" scripts/windows/pty_modem_lines.c -ldl
gcc -O2 -Wall -o "$out/pty_device" scripts/windows/pty_device.c

# One Wine server for every program below, with its chatter kept out of their output.
"$wineserver" -k 2>/dev/null || true
mkdir -p "$WINEPREFIX"  # the server refuses to start without it
"$wineserver" -p 2>"$out/wineserver.log"
# Persistent until told: killed when this script ends, however it ends, and waited for.
trap '"$wineserver" -k 2>/dev/null || true; "$wineserver" -w' EXIT
"$wine" cmd /c exit 0 >/dev/null 2>&1 || true  # creates the prefix on the first run

echo "== 64-bit Windows: suites under wine64"
rm -f "$out/x86_64/suites.xml"
ctest --test-dir "$out/x86_64" -j "$jobs" --output-on-failure --output-junit "$out/x86_64/suites.xml" \
  && suites_ok=1 || suites_ok=0
# A program that never ran (a missing DLL, a 32-bit program) lists no tests and exits 0, so
# the count is what tells a run from a silent nothing.
ran=$(grep -c '<testcase[^>]*status="run"' "$out/x86_64/suites.xml" || true)
listed=0
for suite in "${!kMinimumTests[@]}"; do
  exe=$(find "$out/x86_64/tests" -name "$suite.exe" | head -n 1)
  count=$("$wine" "$exe" --gtest_list_tests 2>/dev/null | grep -c '^  ' || true)
  listed=$((listed + count))
  check "$suite lists $count tests under wine64 (at least ${kMinimumTests[$suite]})" \
    test "$count" -ge "${kMinimumTests[$suite]}"
done
check "ctest ran $ran tests under wine64, as many as the suites list ($listed)" \
  test "$ran" -eq "$listed" -a "$ran" -gt 0
check "every suite test passed under wine64" test "$suites_ok" -eq 1

echo "== darvelon-cli.exe decode against the Linux build"
scratch=$out/scratch
rm -rf "$scratch" && mkdir -p "$scratch"
# Same rows, same exit status, same message; stdout compared byte for byte.
same_decode() { same_output decode "$@"; }
same_curve() { same_output curve "$@"; }
same_output() {  # same_output COMMAND LOG NAME [OPTION...]
  local command=$1 log=$2 name=$3 linux_rc=0 win_rc=0
  shift 3
  "$cli_linux" "$command" "$log" "$@" >"$scratch/$name.linux.csv" 2>"$scratch/$name.linux.err" || linux_rc=$?
  "$wine" "$cli_exe" "$command" "Z:$log" "$@" >"$scratch/$name.win.csv" 2>"$scratch/$name.win.err" || win_rc=$?
  cmp -s "$scratch/$name.linux.csv" "$scratch/$name.win.csv" && [ "$linux_rc" -eq "$win_rc" ] &&
    [ "$linux_rc" -ne 2 ] && [ -s "$scratch/$name.linux.csv" ] &&
    { [ "$linux_rc" -eq 0 ] || tr -d '\r' <"$scratch/$name.win.err" | cmp -s - "$scratch/$name.linux.err"; }
}
check "decode of samples/engine-demo.dcc: $(wc -c <samples/engine-demo.dcc) bytes in, identical CSV" \
  same_decode "$root/samples/engine-demo.dcc" demo
"$cli_linux" simulate --output "$scratch/garbage.dcc" --seconds 600 --seed 31 --profile race \
  --glitch garbage --glitch zero-period 2>/dev/null
check "decode of a log with stray bytes and a zero period: identical CSV, status and message" \
  same_decode "$scratch/garbage.dcc" garbage
head -c 65536 /dev/urandom >"$scratch/random.dcc"
cat "$root/samples/engine-demo.dcc" >>"$scratch/random.dcc"
check "decode of random bytes before a real log: identical CSV and status" same_decode "$scratch/random.dcc" random
corpus_same=0 corpus_total=0
for log in "$root"/fuzz/corpus/fuzz_decode_cli/*; do
  corpus_total=$((corpus_total + 1))
  same_decode "$log" "corpus-$corpus_total" && corpus_same=$((corpus_same + 1))
done
check "decode of the $corpus_total fuzzing seeds: $corpus_same identical" test "$corpus_same" -eq "$corpus_total" -a "$corpus_total" -gt 0
cp "$root/samples/engine-demo.dcc" "$scratch/журнал двигателя.dcc"
check "decode of a log whose name is Cyrillic with a space" same_decode "$scratch/журнал двигателя.dcc" cyrillic
check "curve of samples/engine-demo.dcc in 250 rpm bins from 10 s to 40 s: identical CSV" \
  same_curve "$root/samples/engine-demo.dcc" curve-demo --bin 250 --from 10 --to 40
check "curve of a log with stray bytes and a zero period: identical CSV, status and message" \
  same_curve "$scratch/garbage.dcc" curve-garbage

echo "== darvelon-cli.exe record from a pseudo-terminal mapped as a COM port"
dosdevices=$WINEPREFIX/dosdevices
# Wine maps COM1 to /dev/ttyS0, the console on these machines: every port used is mapped here.
map_port() { ln -sfn "$2" "$dosdevices/com$1"; }
rm -f "$dosdevices/com$kUnmappedPort"

# record_from DATA NAME [RATE]: a device sends DATA, then goes away; the recording must hold
# every byte and end with the read error and status 1.
record_from() {
  local data=$1 name=$2 rate=${3:-} rc=0
  rm -f "$scratch/$name.slave" "$scratch/$name.dcc"
  "$out/pty_device" "$scratch/$name.slave" "$data" "$scratch/$name.dcc" $rate 2>"$scratch/$name.device" &
  local device=$!
  while [ ! -s "$scratch/$name.slave" ] && kill -0 "$device" 2>/dev/null; do sleep 0.05; done
  map_port "$kDevicePort" "$(cat "$scratch/$name.slave")"
  LD_PRELOAD="$out/pty_modem_lines.so" timeout 600 "$wine" "$cli_exe" record --port "$kDevicePort" \
    "Z:$scratch/$name.dcc" 2>"$scratch/$name.err" || rc=$?
  local device_rc=0
  wait "$device" || device_rc=$?
  cat "$scratch/$name.device"
  tr -d '\r' <"$scratch/$name.err" | grep -v '^Recorded ' || true
  check "$name: the log is byte-identical to the $(wc -c <"$data") bytes sent" \
    cmp -s "$data" "$scratch/$name.dcc"
  check "$name: the device's disappearance ends the recording with status 1 (got $rc)" \
    test "$rc" -eq 1 -a "$device_rc" -eq 0
  check "$name: ... and says \"Error reading port COM$kDevicePort\"" \
    grep -q "Error reading port COM$kDevicePort\$" <(tr -d '\r' <"$scratch/$name.err")
}

# Every byte value, XON and XOFF among them, as fast as the pty takes it.
head -c "$kBulkBytes" /dev/urandom >"$scratch/bulk.data"
start=$(date +%s)
record_from "$scratch/bulk.data" bulk
echo "bulk: $kBulkBytes bytes in $(($(date +%s) - start)) s"
# The device's own stream at the line's rate.
"$cli_linux" simulate --output "$scratch/engine.dcc" --seconds 120 --seed 5 --profile race 2>/dev/null
head -c "$kPacedBytes" "$scratch/engine.dcc" >"$scratch/paced.data"
record_from "$scratch/paced.data" paced 3840
check "paced: decode of the recorded log equals the Linux build's" same_decode "$scratch/paced.dcc" paced-decode

# wait_for_size FILE BYTES: true once FILE holds at least BYTES, false after a minute.
wait_for_size() {
  local deadline=$(($(date +%s) + 60))
  while [ "$(stat -c %s "$1" 2>/dev/null || echo 0)" -lt "$2" ]; do
    [ "$(date +%s)" -gt "$deadline" ] && return 1
    sleep 0.1
  done
}

# Ctrl-C (Wine turns SIGINT into the console's Ctrl-C event) ends a recording normally: status
# 0, and the log holds exactly the bytes received, in order.
head -c "$kBulkBytes" /dev/urandom >"$scratch/interrupted.data"
rm -f "$scratch/interrupted.slave" "$scratch/interrupted.dcc"
"$out/pty_device" "$scratch/interrupted.slave" "$scratch/interrupted.data" "$scratch/interrupted.dcc" 3840 \
  2>/dev/null &
device=$!
while [ ! -s "$scratch/interrupted.slave" ]; do sleep 0.05; done
map_port "$kDevicePort" "$(cat "$scratch/interrupted.slave")"
LD_PRELOAD="$out/pty_modem_lines.so" "$wine" "$cli_exe" record --port "$kDevicePort" \
  "Z:$scratch/interrupted.dcc" 2>"$scratch/interrupted.err" &
recorder=$!
wait_for_size "$scratch/interrupted.dcc" 4000 || true
kill -INT "$recorder"
rc=0
wait "$recorder" || rc=$?
kill "$device" 2>/dev/null || true
wait "$device" 2>/dev/null || true
logged=$(stat -c %s "$scratch/interrupted.dcc")
check "Ctrl-C ends a recording with status 0 (got $rc) and a log of the $logged bytes received, unchanged" \
  eval 'test "$rc" -eq 0 -a "$logged" -ge 4000 && cmp -s -n "$logged" "$scratch/interrupted.data" "$scratch/interrupted.dcc"'

# The Linux simulator as the device: its pty must reach Wine raw, or XON and XOFF vanish.
rm -f "$scratch/simulated.dcc" "$scratch/simulator.err"
XDG_DATA_HOME=$scratch/xdg "$cli_linux" simulate --port 3 --speed max --profile race --seed 11 \
  2>"$scratch/simulator.err" &
simulator=$!
until grep -q 'Simulated device on COM3 (' "$scratch/simulator.err" 2>/dev/null; do
  kill -0 "$simulator" 2>/dev/null || break
  sleep 0.05
done
map_port "$kDevicePort" "$(sed -n 's/.*Simulated device on COM3 (\([^)]*\)).*/\1/p' "$scratch/simulator.err")"
rc=0
LD_PRELOAD="$out/pty_modem_lines.so" "$wine" "$cli_exe" record --port "$kDevicePort" \
  "Z:$scratch/simulated.dcc" 2>"$scratch/simulated.err" &
recorder=$!
wait_for_size "$scratch/simulated.dcc" 1000000 || true
kill -TERM "$simulator"  # it hangs up as it ends
wait "$simulator" || true
wait "$recorder" || rc=$?
"$cli_linux" simulate --output "$scratch/simulated.expected" --seconds 3600 --profile race --seed 11 2>/dev/null
logged=$(stat -c %s "$scratch/simulated.dcc")
same=no
cmp -s -n "$logged" "$scratch/simulated.expected" "$scratch/simulated.dcc" && same=yes
check "simulate as the device: $logged bytes recorded, the simulator's stream unchanged ($same), status 1 when it ends (got $rc: $(tr -d '\r' <"$scratch/simulated.err" | tail -n 1))" \
  eval 'test "$rc" -eq 1 -a "$logged" -ge 1000000 && cmp -s -n "$logged" "$scratch/simulated.expected" "$scratch/simulated.dcc"'

# record_fails PORT MESSAGE: opening fails with status 1, MESSAGE, and no log left behind.
record_fails() {
  local port=$1 message=$2 rc=0
  rm -f "$scratch/refused.dcc"
  timeout 60 "$wine" "$cli_exe" record --port "$port" "Z:$scratch/refused.dcc" 2>"$scratch/refused.err" || rc=$?
  check "COM$port: status 1 (got $rc), \"$message\", no log" \
    eval 'test "$rc" -eq 1 && [ ! -e "$scratch/refused.dcc" ] &&
          tr -d "\r" <"$scratch/refused.err" | grep -q "darvelon-cli: $message (" '
}
record_fails "$kUnmappedPort" "Error opening port COM$kUnmappedPort"
map_port "$kNullPort" /dev/null
record_fails "$kNullPort" "Error setting port COM$kNullPort state"

# ports: the system's COM ports. COM1 is Wine's default port, pointed at /dev/null here so
# that the check opens no real terminal; COM7 is not defined at all.
map_port 1 /dev/null
"$wine" "$cli_exe" ports >"$scratch/ports.out" 2>&1 && rc=0 || rc=$?
tr -d '\r' <"$scratch/ports.out" >"$scratch/ports.txt"
check "ports: 25 lines, COM1 found but no serial port, COM$kUnmappedPort no device, status 0" \
  eval 'test "$rc" -eq 0 -a "$(grep -c "^COM" "$scratch/ports.txt")" -eq 25 &&
        grep -q "^COM1 .* found  *not available: not a serial port\$" "$scratch/ports.txt" &&
        grep -q "^COM$kUnmappedPort  *-  *no device\$" "$scratch/ports.txt"'

echo "== 32-bit Windows: compile only (32-bit programs cannot run on this machine)"
build_gtest i686
configure_windows i686
if cmake --build "$out/i686" -j "$jobs" --target "${targets[@]}"; then
  pass "i686: libraries, suites and darvelon-cli.exe compile and link (not run)"
else
  fail "i686: build"
fi

echo "test-windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
