#!/usr/bin/env bash
# Runs the tests on a Debian release in a fresh minbase chroot, as root and
# without a display, this tree copied in (what git tracks, and untracked
# files it does not ignore):
#   scripts/test-release.sh trixie           CI's Debian 13 part, ./scripts/test.sh main:
#                                            setup, the build with -Werror, every CTest test
#   scripts/test-release.sh bookworm 'CMD'   CMD instead, e.g. './scripts/test.sh'
# Needs root and the Debian mirror; installs debootstrap with apt-get when it
# is missing. The chroot's mounts live in a private mount namespace, so nothing
# stays mounted, and the chroot (under $TMPDIR, default /var/tmp) goes at the end.
# When the cache folder exists (DW_CACHE_DIR, default /var/cache/duskwarden-ci),
# the fresh debootstrap result is kept there as RELEASE-minbase.tar (made anew
# once 30 days old) and the downloaded packages in RELEASE-apt/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ]; then
  echo "usage: $0 bookworm|trixie [COMMAND]" >&2
  exit 2
fi
release=$1
shift
command=${*:-./scripts/test.sh main}
if [ "$(id -u)" -ne 0 ]; then
  echo "$0: needs root (debootstrap, chroot, mounts)" >&2
  exit 2
fi
if ! command -v debootstrap >/dev/null; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends debootstrap
fi

cache=${DW_CACHE_DIR:-/var/cache/duskwarden-ci}
[ -d "$cache" ] || cache=""
work=$(mktemp -d "${TMPDIR:-/var/tmp}/dw-$release.XXXXXX")
trap 'rm -rf --one-file-system "$work"' EXIT
dir=$work/root
mkdir "$dir"
SECONDS=0
base=${cache:+$cache/$release-minbase.tar}
if [ -n "$base" ] && [ -f "$base" ] && [ -z "$(find "$base" -mtime +30)" ]; then
  tar -xpf "$base" --numeric-owner -C "$dir"
  echo "== $release: minbase chroot from $base =="
else
  debootstrap --variant=minbase --include=git "$release" "$dir" http://deb.debian.org/debian
  if [ -n "$base" ]; then tar -cpf "$base.new" --numeric-owner -C "$dir" . && mv "$base.new" "$base"; fi
  echo "== $release: minbase chroot made with debootstrap in ${SECONDS} s =="
fi
mkdir -p "$dir/root/duskwarden"
git -C "$root" ls-files -z --cached --others --exclude-standard |
  tar -C "$root" --null -T - --ignore-failed-read -cf - | tar -xf - -C "$dir/root/duskwarden"

echo "== $release: $command =="
apt=${cache:+$cache/$release-apt}
# In the namespace: the chroot's root is made a mount point (tests that make
# mount namespaces of their own change its propagation), then /proc of the
# new PID namespace, /sys and /dev (with /dev/pts) go in.
status=0
unshare --mount --pid --fork --propagation private bash -euo pipefail -c '
  dir=$1 apt=$2 command=$3
  mount --bind "$dir" "$dir"
  mount -t proc proc "$dir/proc"
  mount --rbind /sys "$dir/sys"
  mount --rbind /dev "$dir/dev"
  if [ -n "$apt" ]; then mkdir -p "$apt" && mount --bind "$apt" "$dir/var/cache/apt/archives"; fi
  chroot "$dir" /usr/bin/env -i HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    TERM=dumb bash -c "cd /root/duskwarden && $command"
' _ "$dir" "$apt" "$command" || status=$?
echo "== $release: ended with status $status after ${SECONDS} s =="
exit $status
