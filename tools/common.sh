# Shared steps of setup.sh and test.sh: install what tools/packages.txt lists, then build.
# Sourced, not run; expects ROOT to be the source tree.

install_packages() {
    local wanted missing=()
    wanted=$(grep -v '^\s*#' "$ROOT/tools/packages.txt" | grep -v '^\s*$')
    for p in $wanted; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}"
}

build_tree() {
    BUILD="${BUILD:-$ROOT/build}"
    cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
    cmake --build "$BUILD" -j "${JOBS:-$(nproc)}"
}
