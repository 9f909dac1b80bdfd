# Sourced by the scripts that check the project on a minimal Debian 12.
#
# A chroot made by these functions is always unpacked from a tarball of what
# `debootstrap --variant=minbase` gives, never one a previous run installed
# into, so every check sees what a new machine lacks. The tarball is the only
# thing kept between runs (debootstrap takes minutes, unpacking seconds).
#
#   fresh_chroot_new ROOT     unpack a new minbase system into ROOT (empty or absent)
#   fresh_chroot_mount ROOT   mount /proc, /dev and /dev/pts, copy resolv.conf;
#                             fresh_chroot_cleanup undoes the mounts
#   fresh_chroot_run ROOT COMMAND...   run COMMAND with a clean environment
#
# Callers set `say` (a function printing a progress line). The mirror is the
# one this machine's apt uses for the suite; MIRROR overrides it.

fresh_chroot_suite=bookworm
fresh_chroot_cache=${FRESH_DEBIAN_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/orv-debootstrap}
fresh_chroot_mounted=()

source "$(dirname "${BASH_SOURCE[0]}")/host-mirror.bash"

# Prints the path of the cached minbase tarball, making it first if needed.
fresh_chroot_tarball() {
  local tarball=$fresh_chroot_cache/$fresh_chroot_suite-minbase.tar
  if [[ -s $tarball ]]; then
    echo "$tarball"
    return
  fi
  # Called as `x=$(fresh_chroot_tarball) || ...`, where set -e does not
  # apply: every step checks for itself.
  if ! command -v debootstrap >/dev/null; then
    say "installing debootstrap" >&2
    local apt=(apt-get -o DPkg::Lock::Timeout=600 -y -qq --no-install-recommends)
    # A new machine may have no package lists yet.
    DEBIAN_FRONTEND=noninteractive "${apt[@]}" install debootstrap </dev/null >/dev/null 2>&1 ||
      { apt-get -o DPkg::Lock::Timeout=600 update -qq </dev/null >/dev/null &&
        DEBIAN_FRONTEND=noninteractive "${apt[@]}" install debootstrap </dev/null >/dev/null; } ||
      return 1
  fi
  local mirror=${MIRROR:-$(host_mirror "$fresh_chroot_suite" | head -n 1)}
  if [[ -z $mirror ]]; then
    echo "no $fresh_chroot_suite mirror found in /etc/apt; set MIRROR" >&2
    return 1
  fi
  mkdir -p "$fresh_chroot_cache" || return 1
  local staging
  staging=$(mktemp -d "${TMPDIR:-/var/tmp}/orv-minbase.XXXXXX") || return 1
  say "debootstrap --variant=minbase $fresh_chroot_suite $mirror (once; cached in $tarball)" >&2
  if ! debootstrap --variant=minbase "$fresh_chroot_suite" "$staging" "$mirror" \
    >"$staging.log" 2>&1; then
    tail -n 30 "$staging.log" >&2
    rm -rf --one-file-system "$staging" "$staging.log"
    return 1
  fi
  # Fetched .debs would only make every unpack slower.
  rm -f "$staging"/var/cache/apt/archives/*.deb
  local status=0
  tar -C "$staging" --numeric-owner -cf "$tarball.part" . && mv "$tarball.part" "$tarball" || status=1
  rm -rf --one-file-system "$staging" "$staging.log"
  ((status == 0)) && echo "$tarball"
}

fresh_chroot_new() {
  local root=$1 tarball
  tarball=$(fresh_chroot_tarball) || return 1
  mkdir -p "$root" && chmod 755 "$root" && # the chroot's /: apt downloads as the user _apt
    tar -C "$root" --numeric-owner -xf "$tarball"
}

fresh_chroot_mount() {
  local root=$1
  mount -t proc proc "$root/proc" && fresh_chroot_mounted+=("$root/proc")
  mount --bind /dev "$root/dev" && fresh_chroot_mounted+=("$root/dev")
  mount --bind /dev/pts "$root/dev/pts" && fresh_chroot_mounted+=("$root/dev/pts") # apt logs through a terminal
  cp -L /etc/resolv.conf "$root/etc/resolv.conf"
}

fresh_chroot_cleanup() {
  local i
  for ((i = ${#fresh_chroot_mounted[@]} - 1; i >= 0; i--)); do
    umount "${fresh_chroot_mounted[i]}" 2>/dev/null || umount -l "${fresh_chroot_mounted[i]}" || true
  done
  fresh_chroot_mounted=()
}

# Removes ROOT unless something is still mounted below it.
fresh_chroot_remove() {
  local root=$1
  if grep -q " ${root}/" /proc/mounts; then
    say "$root still has mounts; not removed"
    return 1
  fi
  # --one-file-system: never into a mount that is still there.
  rm -rf --one-file-system "$root"
}

fresh_chroot_run() {
  local root=$1
  shift
  chroot "$root" /usr/bin/env -i \
    HOME=/root PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 TERM="${TERM:-dumb}" ${CI:+CI="$CI"} \
    ${http_proxy:+http_proxy="$http_proxy"} ${https_proxy:+https_proxy="$https_proxy"} \
    "$@"
}
