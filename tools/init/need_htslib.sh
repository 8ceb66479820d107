#!/bin/sh
# The libraries the tools build with: htslib (korvel-init reads VCF and BCF
# with it), cairo (korvel-sweep draws its figures with it), both found with
# pkg-config, and CLI11 (both tools read their command lines with it;
# header-only). Installs what is missing when run as root on Debian or
# Ubuntu; otherwise says exactly what to install and fails.
have_pkg_config() { command -v pkg-config >/dev/null 2>&1; }
have() { have_pkg_config && pkg-config --exists "$1"; }
have_libraries() { have htslib && have cairo && have CLI11; }

have_libraries && exit 0
missing=""
have_pkg_config || missing="pkg-config"
have htslib || missing="$missing libhts-dev"
have cairo || missing="$missing libcairo2-dev"
have CLI11 || missing="$missing libcli11-dev"
missing=${missing# }

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing $missing (korvel-init reads VCF/BCF with htslib, korvel-sweep draws with cairo, both read"
  echo "their command lines with CLI11)"
  if apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null && have_libraries; then
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
