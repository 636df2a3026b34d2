#!/usr/bin/env bash
# Proves the README's two set-up commands on a fresh Debian 12 system. It makes a clean root
# from the package archive (the minimal base, so nothing the commands need is there by
# chance), copies this checkout into it as it stands (tracked and new files, no build
# output), and inside it, with /proc, /dev and /dev/shm mounted, runs
#   1. `bash tools/run.sh`: installs, builds and starts Morrowset (headless there); the check
#      passes once the program has been up for 10 s, and then stops it;
#   2. `bash tools/test.sh`: installs the rest, builds and runs every test.
# Not part of CI: it downloads and builds everything from nothing. Run it as root whenever the
# install list or the test command changes:
#
#   sudo bash tools/fresh_root_check.sh [--keep]
#
# MIRROR (default http://deb.debian.org) names another copy of the archive. --keep leaves the
# root in place for a look inside; it is removed otherwise. The logs of each step are kept.
set -euo pipefail
cd "$(dirname "$0")/.."
checkout=$PWD
mirror=${MIRROR:-http://deb.debian.org}
keep=false
[[ ${1:-} == --keep ]] && keep=true

fail() { echo "fresh root: FAIL: $*" >&2; exit 1; }
step() { echo "== $* ($(date +%T))"; }
[[ $(id -u) -eq 0 ]] || fail "run it as root: it makes a root with chroot and mounts"

command -v mmdebstrap >/dev/null || {
  apt-get update
  DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends mmdebstrap
}

work=$(mktemp -d /var/tmp/morrowset-fresh.XXXXXX)
root=$work/root
logs=$work/logs
mkdir -p "$logs"
mounted=()
cleanup() {
  local status=$?
  [[ -n ${program_pid:-} ]] && kill "$program_pid" 2>/dev/null || true
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do umount -l "${mounted[i]}" 2>/dev/null || true; done
  if $keep; then echo "root kept in $root"; else rm -rf --one-file-system "$root"; fi
  echo "logs in $logs"
  exit "$status"
}
trap cleanup EXIT

step "Making a clean Debian 12 root in $root"
started=$SECONDS
mmdebstrap --variant=minbase --components=main bookworm "$root" \
  "deb $mirror/debian bookworm main" \
  "deb $mirror/debian bookworm-updates main" \
  "deb $mirror/debian-security bookworm-security main" >"$logs/mmdebstrap.log" 2>&1 ||
  { tail -30 "$logs/mmdebstrap.log"; fail "mmdebstrap"; }
echo "root made in $((SECONDS - started)) s"

step "Copying the checkout"
mkdir -p "$root/root/morrowset"
git ls-files -z --cached --others --exclude-standard |
  tar --null -T - -cf - | tar -xf - -C "$root/root/morrowset"
cp /etc/resolv.conf "$root/etc/resolv.conf"

mount_into() {  # type-or-bind source target
  mkdir -p "$root$3"
  if [[ $1 == bind ]]; then mount --bind "$2" "$root$3"; else mount -t "$1" "$2" "$root$3"; fi
  mounted+=("$root$3")
}
# The root a mount point of its own, as on a machine: then the mount table inside lists "/".
mount --bind "$root" "$root"
mounted+=("$root")
mount_into proc proc /proc
mount_into bind /dev /dev
mount_into bind /dev/pts /dev/pts
mount_into tmpfs tmpfs /dev/shm

in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash -c "cd /root/morrowset && $1"
}

# The program's own processes inside the root: their executable lies below the root.
program_pids() {
  local exe
  for exe in /proc/[0-9]*/exe; do
    [[ $(readlink "$exe" 2>/dev/null) == "$root/root/morrowset/build/bin/Morrowset" ]] && basename "$(dirname "$exe")"
  done
  return 0
}

step "README command 1: bash tools/run.sh"
started=$SECONDS
in_root "bash tools/run.sh" >"$logs/run.log" 2>&1 &
program_pid=$!
up_since=
while kill -0 "$program_pid" 2>/dev/null; do
  if [[ -n $(program_pids) ]]; then
    up_since=${up_since:-$SECONDS}
    ((SECONDS - up_since >= 10)) && break
  fi
  sleep 1
done
if [[ -z $up_since || -z $(program_pids) ]]; then
  tail -40 "$logs/run.log"
  fail "tools/run.sh did not bring Morrowset up"
fi
kill $(program_pids) 2>/dev/null || true
wait "$program_pid" 2>/dev/null || true
program_pid=
echo "tools/run.sh: installed, built and started Morrowset in $((SECONDS - started)) s"

step "README command 2: bash tools/test.sh"
started=$SECONDS
if ! in_root "bash tools/test.sh" >"$logs/test.log" 2>&1; then
  tail -60 "$logs/test.log"
  fail "tools/test.sh failed (whole log: $logs/test.log)"
fi
grep -E "tests passed|package check: OK" "$logs/test.log" || true
echo "tools/test.sh: passed in $((SECONDS - started)) s"
echo "fresh root: OK"
