# Sourced by the benchmark scripts: installs the peers (libvips, ImageMagick, Pillow,
# GraphicsMagick, GNU time) from Debian where they are missing.
peers=(libvips-dev libvips-tools libmagickwand-6.q16-dev imagemagick python3-pil graphicsmagick time)
missing=()
for pkg in "${peers[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""; [ "$(id -u)" -eq 0 ] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
