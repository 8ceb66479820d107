#!/bin/sh
# korvel-init reads VCF and BCF through htslib, found with pkg-config.
# Installs what is missing when run as root on Debian or Ubuntu; otherwise
# says exactly what to install and fails.
have_pkg_config() { command -v pkg-config >/dev/null 2>&1; }
have_htslib() { have_pkg_config && pkg-config --exists htslib; }

have_htslib && exit 0
missing=""
have_pkg_config || missing="pkg-config"
if ! have_pkg_config || ! pkg-config --exists htslib; then missing="$missing libhts-dev"; fi
missing=${missing# }

if [ "$(id -u)" = 0 ] && command -v apt-get >/dev/null 2>&1; then
  echo "installing $missing (korvel-init reads VCF/BCF with htslib)"
  if apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >/dev/null && have_htslib; then
    exit 0
  fi
  echo "apt-get could not install $missing" >&2
  exit 1
fi
echo "korvel-init reads VCF/BCF with htslib, found through pkg-config; missing: $missing." >&2
echo "On Debian or Ubuntu run:" >&2
echo "    sudo apt-get install $missing" >&2
echo "On other systems install htslib (1.10 or newer) with its pkg-config file htslib.pc;" >&2
echo "or build without korvel-init: cmake -DKORVEL_INIT=OFF." >&2
exit 1
