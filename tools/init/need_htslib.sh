#!/bin/sh
# The libraries found with pkg-config: htslib (korvel-init reads VCF and BCF
# with it) and cairo (korvel-sweep draws its figures with it). Installs what
# is missing when run as root on Debian or Ubuntu; otherwise says exactly
# what to install and fails.
have_pkg_config() { command -v pkg-config >/dev/null 2>&1; }
have_libraries() { have_pkg_config && pkg-config --exists htslib && pkg-config --exists cairo; }

have_libraries && exit 0
missing=""
have_pkg_config || missing="pkg-config"
if ! have_pkg_config || ! pkg-config --exists htslib; then missing="$missing libhts-dev"; fi
if ! have_pkg_config || ! pkg-config --exists cairo; then missing="$missing libcairo2-dev"; fi
missing=${missing# }

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing $missing (korvel-init reads VCF/BCF with htslib, korvel-sweep draws with cairo)"
  if apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null && have_libraries; then
    exit 0
  fi
  echo "apt-get could not install $missing" >&2
  exit 1
fi
echo "korvel-init reads VCF/BCF with htslib and korvel-sweep draws its figures with cairo, both found" >&2
echo "through pkg-config; missing: $missing." >&2
echo "On Debian or Ubuntu run:" >&2
echo "    sudo apt-get install $missing" >&2
echo "On other systems install htslib (1.10 or newer) and cairo (1.16 or newer) with their pkg-config" >&2
echo "files htslib.pc and cairo.pc; without htslib, build without korvel-init: cmake -DKORVEL_INIT=OFF." >&2
exit 1
