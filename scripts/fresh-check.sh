#!/usr/bin/env bash
# Tries the committed HEAD the way a new user would on a pristine Debian 12: a minbase root with
# only ca-certificates and git, an ordinary user who first has no sudo (setup.sh must say what to
# install), then gets sudo and runs scripts/setup.sh, a plain build, the whole plain test suite,
# the window alone and the window as scripts/run.sh starts it. Any package missing from setup.sh
# shows up here, where the developer's machine has long had it.
#
# Needs root (mmdebstrap, chroot and mounts). The pristine root is built once from this host's apt
# sources and settings and kept as a tarball; a change to either builds a new one.
#   DARVELON_FRESH_CACHE  folder for the root tarball and the log
#                         (default ${XDG_CACHE_HOME:-~/.cache}/darvelon)
#   DARVELON_FRESH_FULL=1 run the whole scripts/test.sh (sanitizers, fuzzing) instead of the
#                         plain build and suite
set -euo pipefail

started=$(date +%s)
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
cache=${DARVELON_FRESH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/darvelon}
log=$cache/fresh-check.log
window_seconds=5
suite=bookworm
includes=ca-certificates,git

stage=start
summary=""
root=""
mounts=()
background=()
fail() {
  summary="fresh-check: FAILED at $stage: $*"
  exit 1
}
note() { echo "fresh-check: $*"; }

mounted_below_root() {
  awk -v r="$root" '$5 == r || index($5, r "/") == 1 { print $5 }' /proc/self/mountinfo
}

cleanup() {
  local status=$?
  trap - EXIT INT TERM
  if [ "$status" -ne 0 ] && [ -z "$summary" ]; then
    echo "----- last lines of $log" >&2
    tail -n 20 "$log" >&2
    summary="fresh-check: FAILED at $stage: stopped with status $status (log: $log)"
  fi
  local pid p
  for pid in "${background[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  [ -n "$root" ] || finish "$status"
  # Whatever still runs inside the root (a hung test, a stray simulator) keeps its mounts busy.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -KILL "${p#/proc/}" 2>/dev/null
  done
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null || true
  done
  local m
  for m in $(mounted_below_root | sort -r); do umount -l "$m" 2>/dev/null || true; done
  # Never delete through a mount: a bound device folder would lose the host's devices.
  if [ -n "$(mounted_below_root)" ]; then
    echo "fresh-check: $root still has mounts; left in place" >&2
  else
    rm -rf --one-file-system "$root"
  fi
  finish "$status"
}
finish() { # The summary stays the last line, after anything the clean-up said.
  [ "$1" -eq 0 ] || [ -z "$summary" ] || echo "$summary" >&2
  exit "$1"
}

trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

[ "$(id -u)" -eq 0 ] || fail "needs root (mmdebstrap, chroot and mounts)"
mkdir -p "$cache"
: >"$log"

if ! git -C "$repo" diff --quiet HEAD 2>/dev/null; then
  note "uncommitted changes are not part of the check; it tries commit ${commit:0:12}"
fi

# --- the pristine root ------------------------------------------------------------------------

sources=()
if [ -f /etc/apt/sources.list ] && grep -q '^[[:space:]]*deb' /etc/apt/sources.list; then
  sources+=(/etc/apt/sources.list)
fi
for f in /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && sources+=("$f")
done
[ ${#sources[@]} -gt 0 ] || fail "this host has no apt sources to build the root from"

# The archive these machines reach may serve a dated snapshot, so apt in the root needs the host's
# settings (Check-Valid-Until, Check-Date, ...). Files that hook host programs into dpkg or apt
# (PackageKit, AppStream, debconf) stay behind: those programs are not in a minbase root.
aptopts=()
for f in /etc/apt/apt.conf.d/*; do
  [ -f "$f" ] || continue
  grep -qE 'Invoke|Pre-Install-Pkgs' "$f" && continue
  aptopts+=("--aptopt=$f")
done

key=$( {
  echo "$suite minbase $includes"
  for f in "${sources[@]}" "${aptopts[@]#--aptopt=}"; do echo "== $f"; cat "$f"; done
} | sha256sum | cut -c1-16)
tarball=$cache/root-$suite-$key.tar

stage=root
root_from=cached
if [ ! -f "$tarball" ]; then
  root_from=built
  if ! command -v mmdebstrap >/dev/null 2>&1; then
    note "installing mmdebstrap"
    { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq \
        --no-install-recommends mmdebstrap; } >>"$log" 2>&1 || fail "could not install mmdebstrap"
  fi
  note "building a pristine $suite root (once per set of apt sources)"
  rm -rf --one-file-system "$cache"/root-"$suite"-*.tar "$cache"/root-"$suite"-*.tar.part
  mmdebstrap --variant=minbase --format=tar --include="$includes" "${aptopts[@]}" \
    "$suite" "$tarball.part" "${sources[@]}" >>"$log" 2>&1 || {
    rm -f "$tarball.part"
    tail -n 20 "$log" >&2
    fail "mmdebstrap could not build the root (log: $log)"
  }
  mv "$tarball.part" "$tarball"
fi

# --- the temporary root and its mounts ---------------------------------------------------------

mount_in() { # type options target
  mount -t "$1" -o "$2" "$1" "$root/$3"
  mounts+=("$root/$3")
}

root=$(mktemp -d "${TMPDIR:-/tmp}/darvelon-fresh.XXXXXX")
tar -xf "$tarball" -C "$root" || fail "could not unpack $tarball"
# Fresh instances rather than binds of the host's: the tests' pseudo-terminals and shared memory
# stay inside the root, and removing the root can never reach the host's /dev.
mount_in proc nosuid,nodev,noexec proc
mount_in sysfs ro,nosuid,nodev,noexec sys
mount_in devpts newinstance,ptmxmode=0666,mode=0620,gid=5,nosuid,noexec dev/pts
mount_in tmpfs mode=1777,nosuid,nodev dev/shm
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true

as_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 HOME=/root "$@"; }
# Runs in the clone, as the new user, with a plain login environment. An array rather than a
# function, so that a command started in the background is the program itself, not a subshell
# that a signal would end while the program stays.
as_user=(chroot "$root" env -i -C /home/fresh/darvelon PATH=/usr/local/bin:/usr/bin:/bin
  LANG=C.UTF-8 HOME=/home/fresh USER=fresh LOGNAME=fresh SHELL=/bin/bash
  setpriv --reuid=fresh --regid=fresh --init-groups)
as_user() { "${as_user[@]}" "$@"; }
run_logged() { # stage-title command...
  echo "===== $1" >>"$log"
  shift
  "$@" </dev/null >>"$log" 2>&1
}
failed_with_log() {
  echo "----- last lines of $log" >&2
  tail -n 40 "$log" >&2
  fail "$@"
}

stage=clone
as_root useradd --create-home --shell /bin/bash fresh >>"$log" 2>&1 || fail "could not add the user"
git clone --quiet --no-checkout "$repo" "$root/home/fresh/darvelon" >>"$log" 2>&1 ||
  fail "could not clone $repo"
git -C "$root/home/fresh/darvelon" checkout --quiet --detach "$commit" >>"$log" 2>&1 ||
  fail "commit $commit is not on a branch the clone received"
chown -R --reference="$root/home/fresh" "$root/home/fresh/darvelon"

# --- as a new user -----------------------------------------------------------------------------

stage="setup without sudo"
set +e
run_logged "$stage" as_user scripts/setup.sh
status=$?
set -e
[ "$status" -eq 1 ] || failed_with_log "setup.sh without root or sudo exited $status, not 1"
tail -n 3 "$log" | grep -q 'apt-get install' ||
  failed_with_log "setup.sh without root or sudo did not print the apt-get line to run"

stage="sudo"
run_logged "installing sudo for the user" as_root sh -c \
  'apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq sudo &&
   echo "fresh ALL=(ALL) NOPASSWD: ALL" >/etc/sudoers.d/fresh' ||
  failed_with_log "could not give the user sudo"

stage=setup
note "scripts/setup.sh as a new user through sudo"
t=$(date +%s)
run_logged "scripts/setup.sh" as_user scripts/setup.sh || failed_with_log "scripts/setup.sh failed"
setup_seconds=$(($(date +%s) - t))

if [ "${DARVELON_FRESH_FULL:-0}" = 1 ]; then
  stage="scripts/test.sh"
  note "scripts/test.sh in full"
  t=$(date +%s)
  run_logged "scripts/test.sh" as_user scripts/test.sh || failed_with_log "scripts/test.sh failed"
  build_seconds=$(($(date +%s) - t))
  build_what="test.sh"
else
  stage=build
  note "plain build"
  t=$(date +%s)
  run_logged "configure" as_user cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo ||
    failed_with_log "cmake could not configure"
  run_logged "build" as_user cmake --build build -j "$(nproc)" || failed_with_log "the build failed"
  build_seconds=$(($(date +%s) - t))
  build_what="build"

  stage=tests
  note "plain test suite"
  run_logged "ctest" as_user ctest --test-dir build --output-on-failure -j "$(nproc)" ||
    failed_with_log "$(grep -E 'tests passed, [0-9]+ tests failed' "$log" | tail -n 1)"
fi
closing=$(grep -E '[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | head -n 1)
note "${closing:-no ctest closing line}"
tests=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$closing")

# A window that cannot find its platform plugin, a library or a font ends at once; one that
# starts stays until it is told to go.
stage=window
note "the window, offscreen, for $window_seconds s"
echo "===== window" >>"$log"
"${as_user[@]}" env QT_QPA_PLATFORM=offscreen build/src/ui/darvelon </dev/null >>"$log" 2>&1 &
window=$!
background+=("$window")
sleep "$window_seconds"
kill -0 "$window" 2>/dev/null || {
  wait "$window" && status=0 || status=$?
  failed_with_log "build/src/ui/darvelon ended within $window_seconds s (status $status)"
}
kill -TERM "$window"
wait "$window" || true

# scripts/run.sh as the README gives it: the simulated device publishes COM1, then the window.
stage=run.sh
note "scripts/run.sh, offscreen, for $window_seconds s"
echo "===== scripts/run.sh" >>"$log"
ports=$root/home/fresh/.local/share/darvelon/ports
"${as_user[@]}" env QT_QPA_PLATFORM=offscreen scripts/run.sh </dev/null >>"$log" 2>&1 &
runner=$!
background+=("$runner")
child=""
for _ in $(seq 120); do
  child=$(ps -o pid=,comm= --ppid "$runner" | awk '$2 == "darvelon" { print $1 }') || true
  [ -n "$child" ] && break
  kill -0 "$runner" 2>/dev/null || break
  sleep 0.5
done
[ -n "$child" ] || failed_with_log "scripts/run.sh did not start the window"
sleep "$window_seconds"
kill -0 "$child" 2>/dev/null || failed_with_log "the window from scripts/run.sh ended early"
# A link to the root's own pseudo-terminal, which the host cannot resolve: test the entry itself.
published() { [ -L "$ports/com1" ] || [ -e "$ports/com1" ]; }
published || failed_with_log "the simulated device did not publish COM1"
kill -TERM "$child"
wait "$runner" || true
! published || failed_with_log "the simulated device outlived the window"

elapsed=$(($(date +%s) - started))
summary="fresh-check: passed (root $root_from, setup $setup_seconds s, $build_what $build_seconds s,"
summary+=" $tests tests, window up $window_seconds s) in $elapsed s"
echo "$summary"
