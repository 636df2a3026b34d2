#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree and checks it as a user would
# meet it: its file list, the icon sizes, the menu entry (desktop-file-validate), lintian
# (errors fail), and the installed files, unpacked with `dpkg -x` into a scratch root, run
# by an ordinary user with a fresh HOME under Xvfb: first start, type a row, save, start
# again, and the row is back.
#
#   bash tools/package_check.sh [build-dir]      (default: build)
#
# Run as root it makes (once) the system user "morrowset-check" to run the program as, since
# root can write anywhere and so would hide where the program keeps its files.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
check_user=morrowset-check

fail() { echo "package check: FAIL: $*" >&2; exit 1; }
step() { echo "-- $*"; }

scratch=$(mktemp -d /tmp/morrowset-package.XXXXXX)
chmod 755 "$scratch"
trap 'rm -rf "$scratch"' EXIT

step "Building the package"
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; fail "cpack"; }
deb=$(ls "$scratch"/out/morrowset_*.deb)
echo "$deb"

step "File list"
expected_files=(
  ./usr/bin/morrowset
  ./usr/bin/wardline-circlog
  ./usr/bin/wardline-monitor
  ./usr/lib/morrowset/Morrowset
  ./usr/lib/morrowset/wardline-circlog
  ./usr/lib/morrowset/wardline-monitor
  ./usr/lib/morrowset/wardline.hlp
  ./usr/share/applications/morrowset.desktop
  ./usr/share/doc/morrowset/changelog.gz
  ./usr/share/doc/morrowset/copyright
  ./usr/share/icons/hicolor/scalable/apps/morrowset.svg
  ./usr/share/man/man1/morrowset.1.gz
  ./usr/share/man/man1/wardline-circlog.1.gz
  ./usr/share/man/man1/wardline-monitor.1.gz
)
icon_sizes=(16 22 24 32 48 64 128 256)
for size in "${icon_sizes[@]}"; do
  expected_files+=("./usr/share/icons/hicolor/${size}x${size}/apps/morrowset.png")
done
# Every entry that is not a folder, links shown without their target.
dpkg-deb --fsys-tarfile "$deb" | tar -tv | awk '$1 !~ /^d/ {print $6}' | sort >"$scratch/files.actual"
printf '%s\n' "${expected_files[@]}" | sort >"$scratch/files.expected"
diff -u "$scratch/files.expected" "$scratch/files.actual" || fail "the package's file list differs (- expected, + packaged)"

step "Unpacking into a scratch root"
root=$scratch/root
dpkg -x "$deb" "$root"
for command in morrowset wardline-circlog wardline-monitor; do
  [[ -x $root/usr/bin/$command ]] || fail "/usr/bin/$command does not lead to an executable"
done
for size in "${icon_sizes[@]}"; do
  actual=$(identify -format '%wx%h' "$root/usr/share/icons/hicolor/${size}x${size}/apps/morrowset.png")
  [[ $actual == "${size}x${size}" ]] || fail "the ${size}x${size} icon is $actual"
done
# Desktops draw the scalable icon with librsvg; rsvg-convert is its own command line.
rsvg-convert -w 48 -h 48 -o "$scratch/svg-48.png" "$root/usr/share/icons/hicolor/scalable/apps/morrowset.svg" ||
  fail "the SVG icon does not load"
[[ $(identify -format '%wx%h' "$scratch/svg-48.png") == 48x48 ]] || fail "the SVG icon does not draw at 48x48"

step "desktop-file-validate"
desktop=$root/usr/share/applications/morrowset.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
exec_command=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
[[ -x $root/usr/bin/$exec_command ]] || fail "the menu entry's command \"$exec_command\" is not in /usr/bin"

step "lintian (errors fail)"
lintian_status=0
lintian --fail-on error "$deb" >"$scratch/lintian.log" 2>&1 || lintian_status=$?
grep -v 'running with root privileges' "$scratch/lintian.log" || true
((lintian_status == 0)) || fail "lintian reports errors"

step "Installed program as an ordinary user, under Xvfb"
home=$scratch/home
mkdir -p "$home"
cp tools/package_session.sh "$scratch/session.sh"
if [[ $(id -u) -eq 0 ]]; then
  id "$check_user" >/dev/null 2>&1 ||
    useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin "$check_user"
  chown "$check_user": "$home"
  as_user=(runuser -u "$check_user" --)
else
  as_user=()
fi
"${as_user[@]}" env -i PATH=/usr/bin:/bin HOME="$home" LANG=C.UTF-8 \
  xvfb-run -a -s "-screen 0 1024x768x24" bash "$scratch/session.sh" "$root" ||
  fail "the installed program did not keep its timetable (see above)"

echo "package check: OK"
