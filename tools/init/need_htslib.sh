#!/bin/sh
# The libraries the tools build with: htslib (korvel-init reads VCF and BCF
# with it), cairo (korvel-sweep draws its figures with it), both found with
# pkg-config, and CLI11 (both tools read their command lines with it;
# header-only). Installs what is missing when run as root on Debian or
# Ubuntu; otherwise says exactly what to install and fails.
#
# With --missing it only prints the Debian packages still missing (nothing
# when all are there) and installs nothing: the R package's configure asks
# it, so that the requirements are written here alone.
have_pkg_config() { command -v pkg-config >/dev/null 2>&1; }
have() { have_pkg_config && pkg-config --exists "$1"; }
# Older CLI11 packages ship only CMake package files, no pkg-config file.
have_cli11() { have CLI11 || [ -f /usr/include/CLI/CLI.hpp ] || [ -f /usr/local/include/CLI/CLI.hpp ]; }

missing=""
have_pkg_config || missing="pkg-config"
have htslib || missing="$missing libhts-dev"
have cairo || missing="$missing libcairo2-dev"
have_cli11 || missing="$missing libcli11-dev"
missing=${missing# }

if [ "$1" = "--missing" ]; then
  [ -n "$missing" ] && echo "$missing"
  exit 0
fi
[ -z "$missing" ] && exit 0

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing $missing (korvel-init reads VCF/BCF with htslib, korvel-sweep draws with cairo, both read"
  echo "their command lines with CLI11)"
  if apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null &&
    [ -z "$(sh "$0" --missing)" ]; then
    exit 0
  fi
  echo "apt-get could not install $missing" >&2
  exit 1
fi
echo "korvel-init reads VCF/BCF with htslib and korvel-sweep draws its figures with cairo, both found" >&2
echo "through pkg-config, and both read their command lines with CLI11; missing: $missing." >&2
echo "On Debian or Ubuntu run:" >&2
echo "    sudo apt-get install $missing" >&2
echo "On other systems install htslib (1.10 or newer) and cairo (1.16 or newer) with their pkg-config" >&2
echo "files htslib.pc and cairo.pc, and CLI11 (2.1 or newer) with its CMake package files; without" >&2
echo "htslib, build without korvel-init: cmake -DKORVEL_INIT=OFF." >&2
exit 1
