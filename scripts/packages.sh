# Sourced by the other scripts: the Debian packages the build and the tests
# need, and require_packages NAME... that installs the missing ones (as root,
# after apt-get update) or prints the one apt-get line to run and stops.
build_packages=(g++ cmake ninja-build pkgconf qt6-base-dev libjpeg-dev libzip-dev zlib1g-dev libarchive-dev liblzma-dev libxxhash-dev libgtest-dev
                libbenchmark-dev python3 python3-dbfread locales libdbd-xbase-perl fonts-liberation strace
                e2fsprogs xfsprogs btrfs-progs ntfs-3g exfatprogs genisoimage udftools gcab qt6-translations-l10n librsvg2-bin desktop-file-utils appstream lintian dpkg-dev
                xvfb openbox xdotool dbus-daemon at-spi2-core python3-pyatspi qt6-qpa-plugins)
clang_packages=(clang libclang-rt-14-dev)

require_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -eq 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
  else
    echo "Missing packages. Run as root:"
    echo "  apt-get update && apt-get install -y ${missing[*]}"
    exit 1
  fi
}
