#!/usr/bin/env bash
# The Debian package on a clean Debian: a minimal system of this machine's
# release made with debootstrap from Debian's mirror, the package installed
# in it with apt-get (which brings its dependencies, and without the
# recommended packages, so that a dependency the package forgets fails
# here), the program, the sample and the fleet tool run there, and the
# package removed again, leaving none of its files.
#
#   tests/package_test.sh BUILD_DIR
#
# BUILD_DIR is the package preset's folder (build/package) with the package
# and the program it was made of. Needs root (chroot, mount), debootstrap
# and the mirror (DEBIAN_MIRROR, default http://deb.debian.org/debian;
# DEBIAN_SUITE, default this machine's release). The minimal system is made
# once and kept as a tarball in BUILD_DIR/chroot, with the packages that apt
# fetches into it: a second run downloads only the indexes it checks. Each
# run unpacks it afresh in memory (a tmpfs), and its mounts are undone
# however the run ends.
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
if ((EUID != 0)); then
  echo "$0: needs root (chroot, mount)" >&2
  exit 2
fi
command -v debootstrap >/dev/null || { echo "$0: needs debootstrap (apt-get install -y debootstrap)" >&2; exit 2; }
shopt -s nullglob
debs=("$build"/ovantrex_*.deb)
if ((${#debs[@]} != 1)); then
  echo "$0: ${#debs[@]} packages ovantrex_*.deb in $build, not one (cmake --workflow --preset package)" >&2
  exit 2
fi
deb=${debs[0]}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=${DEBIAN_SUITE:-$(sed -n "s/^VERSION_CODENAME=//p" /etc/os-release)}
cache=$build/chroot
# The mount table writes a blank as an escape: a folder with one is not
# found there, and its mounts could not be undone.
if [[ $cache == *[[:space:]]* ]]; then
  echo "$0: the build folder's path has a blank: $build" >&2
  exit 2
fi
base=$cache/$suite-minbase.tar
archives=$cache/archives
mkdir -p "$archives/partial"
start=$SECONDS

# The mount points at or below a folder, deepest first.
mounts_below() {
  awk -v dir="$1" '$5 == dir || index($5, dir "/") == 1 { print $5 }' /proc/self/mountinfo | sort -r
}
# Undoes every mount below the folder, then removes it (never through a
# mount that stays: rm keeps to the folder's file system).
remove_root() {
  local dir=$1 point
  for point in $(mounts_below "$dir"); do
    umount "$point" 2>/dev/null || umount -l "$point"
  done
  if [[ -n $(mounts_below "$dir") ]]; then
    echo "$0: $dir still has mounts; left in place" >&2
    return 1
  fi
  rm -rf --one-file-system -- "$dir"
}

# What an earlier run that was killed left.
for old in "$cache"/root.* "$cache"/base.*; do
  remove_root "$old"
done

root=
cleanup() {
  local status=$?
  [[ -z $root ]] || remove_root "$root" || status=1
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# in_memory DIR: the system is made in memory, where it unpacks in seconds
# and is gone with its mount.
in_memory() { mount -t tmpfs -o size=3g,mode=755 ovantrex-chroot "$1"; }
# mount_system DIR: what programs in the chroot need of the system.
mount_system() {
  mount -t proc proc "$1/proc"
  mount --bind /dev "$1/dev"
  # so that the tmpfs below stays in the chroot, whatever /dev's propagation
  mount --make-private "$1/dev"
  mount -t tmpfs -o mode=1777 shm "$1/dev/shm"
  mount --bind "$archives" "$1/var/cache/apt/archives"
  cp /etc/resolv.conf "$1/etc/resolv.conf"
}
# in_root COMMAND...: runs in the chroot, in its /tmp, with a clean environment.
in_root() {
  chroot "$root" env -i -C /tmp PATH=/usr/sbin:/usr/bin:/sbin:/bin TZ=UTC LC_ALL=C.UTF-8 \
    DEBIAN_FRONTEND=noninteractive ${http_proxy:+http_proxy=$http_proxy} "$@"
}

if [[ ! -s $base ]]; then
  echo "making a minimal $suite with debootstrap from $mirror"
  root=$(mktemp -d "$cache/base.XXXXXX")
  in_memory "$root"
  debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$cache/debootstrap.log" 2>&1 ||
    { tail -n 30 "$cache/debootstrap.log" >&2; echo "FAIL: debootstrap (log: $cache/debootstrap.log)" >&2; exit 1; }
  # No service starts in it; its package lists come with it.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 755 "$root/usr/sbin/policy-rc.d"
  mount_system "$root"
  in_root apt-get update -q >/dev/null
  for point in $(mounts_below "$root" | grep -v "^$root\$"); do umount "$point"; done
  # debootstrap's packages and apt's caches, which apt makes again.
  rm -f "$root/etc/resolv.conf" "$root"/var/cache/apt/archives/*.deb "$root"/var/cache/apt/*.bin
  tar --numeric-owner -C "$root" -cf "$base.new" .
  mv "$base.new" "$base"
  remove_root "$root"
  root=
  echo "minimal system made and kept in $base ($((SECONDS - start)) s)"
fi

root=$(mktemp -d "$cache/root.XXXXXX")
in_memory "$root"
tar --numeric-owner -C "$root" -xf "$base"
mount_system "$root"
cp "$deb" "$source/examples/sample.trc" "$root/tmp/"
package=/tmp/${deb##*/}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

step=$SECONDS
in_root apt-get update -q >"$cache/apt.log" 2>&1 || { cat "$cache/apt.log" >&2; exit 1; }
if ! in_root apt-get install -y -q --no-install-recommends "$package" >>"$cache/apt.log" 2>&1; then
  tail -n 40 "$cache/apt.log" >&2
  echo "FAIL: apt-get install $package" >&2
  exit 1
fi
echo "installed with $(grep -c '^Setting up ' "$cache/apt.log") packages in $((SECONDS - step)) s"

# The program: its version, and the sample as the build's program lists
# and summarizes it.
[[ $(in_root ovantrex --version) == "$("$build/ovantrex" --version)" ]] ||
  fail "ovantrex --version says '$(in_root ovantrex --version)'"
for options in "" "-t -p" "--summary"; do
  read -r -a words <<<"$options"
  status=0
  in_root ovantrex "${words[@]}" -f sample.trc >"$root/tmp/installed.txt" || status=$?
  ((status == 0)) || fail "ovantrex $options -f the sample exited with $status"
  (cd "$root/tmp" && TZ=UTC "$build/ovantrex" "${words[@]}" -f sample.trc) >"$root/tmp/built.txt"
  [[ -s $root/tmp/built.txt ]] || fail "the build's program ($options) listed nothing"
  cmp -s "$root/tmp/installed.txt" "$root/tmp/built.txt" ||
    fail "the installed program ($options) lists the sample otherwise than the build's"
done

# The fleet tool: its help, the sample's row and page, and the modules of a
# cluster and of the progress bar.
in_root ovantrex-fleet --help >"$root/tmp/fleet-help.txt" || fail "ovantrex-fleet --help failed"
grep -q '^usage: ovantrex-fleet' "$root/tmp/fleet-help.txt" || fail "ovantrex-fleet --help shows no usage"
in_root ovantrex-fleet --no-progress sample.trc --report /tmp/fleet.html >"$root/tmp/fleet.jsonl" \
  2>"$root/tmp/fleet.err" || fail "ovantrex-fleet on the sample failed: $(cat "$root/tmp/fleet.err")"
# The sample's one update completes: its refused flash write is retried and taken.
grep -q '"last_update":{"number":1,"outcome":"completed"' "$root/tmp/fleet.jsonl" ||
  fail "ovantrex-fleet wrote no row of the sample: $(head -c 300 "$root/tmp/fleet.jsonl")"
grep -qF '<table id="error-table">' "$root/tmp/fleet.html" ||
  fail "ovantrex-fleet wrote no fleet page (its package and the page's assets: /usr/share/ovantrex)"
in_root python3 -c 'import cloudpickle, distributed, tqdm' ||
  fail "python3 cannot import cloudpickle, distributed and tqdm"

# The docs are where the manual and the fleet tool's help say they are.
named=$(cat "$root/usr/share/man/man1/ovantrex.1" "$root/tmp/fleet-help.txt" |
  grep -o '/usr/share/doc/ovantrex/[A-Za-z0-9._-]*[A-Za-z0-9]' | sort -u || true)
[[ $(wc -w <<<"$named") -ge 3 ]] || fail "the manual and the fleet tool name only: $named"
for doc in $named; do
  [[ -f $root$doc ]] || fail "the manual or the fleet tool's help names $doc, which is not installed"
done

# Removed, it leaves none of its files.
mapfile -t owned < <(in_root dpkg-query -L ovantrex)
in_root apt-get remove -y -q ovantrex >>"$cache/apt.log" 2>&1 || fail "apt-get remove ovantrex failed"
left=()
for path in "${owned[@]}"; do
  [[ -n $path && ! -d $root$path && -e $root$path ]] && left+=("$path")
done
((${#owned[@]} > 5)) || fail "dpkg-query -L listed ${#owned[@]} paths"
((${#left[@]} == 0)) || fail "removed, the package left ${left[*]}"
in_root sh -c 'command -v ovantrex' >/dev/null && fail "ovantrex is still on PATH after the removal"

((failures == 0)) || exit 1
echo "the package installs, runs and is removed on a clean $suite ($((SECONDS - start)) s)"
