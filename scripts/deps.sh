# Sourced by scripts/run and scripts/test: installs the Debian packages the project
# needs, once, and only those that are missing.
NORVALE_PACKAGES=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-tools-dev qt6-l10n-tools qt6-translations-l10n libqt6sql6-sqlite libqt6sql6-psql libgl-dev
    libmpv-dev libsqlite3-dev libboost-dev zlib1g-dev libtag1-dev
    xvfb xauth fonts-dejavu-core trayer dbus-x11 playerctl imagemagick at-spi2-core gir1.2-atspi-2.0 python3-gi python3-xlib
    icecast2 ffmpeg sox espeak-ng curl
    clang libclang-rt-14-dev
    postgresql wrk nginx-light
    desktop-file-utils appstream librsvg2-bin groff-base dpkg-dev systemd
)
# Left out on purpose: qt6-webengine-dev, needed only by the -DNORVALE_WEBENGINE=ON build.
# The peers that bench/peers measures the player against; no test runs them, so they are
# installed only when NORVALE_BENCH=1.
NORVALE_BENCH_PACKAGES=(mpv goodvibes)

norvale_install_deps() {
    local missing=() wanted=("${NORVALE_PACKAGES[@]}")
    [ "${NORVALE_BENCH:-0}" = 1 ] && wanted+=("${NORVALE_BENCH_PACKAGES[@]}")
    for p in "${wanted[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo=sudo
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

norvale_build() {
    local root=$1
    cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" -j"$(nproc)"
}
