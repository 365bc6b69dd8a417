# Shared by scripts/run and scripts/test: package installation and the build.
# shellcheck shell=bash

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

# What a fresh Debian 12 needs to build, test and run the program.
PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-serialport-dev qt6-translations-l10n
  libqt6sql6-sqlite libqt6sql6-odbc libgl-dev libsqlite3-dev
  fonts-wqy-zenhei poppler-utils
  unixodbc odbcinst libsqliteodbc odbc-postgresql
  # the ODBC states Qt does not pass on, and asking a PostgreSQL server whether it is there
  unixodbc-dev libpq-dev
  # reading the old program's Access result files
  mdbtools-dev
  # unpacking the big old file the import tests cancel halfway
  xz-utils
  # a Chinese-speaking PostgreSQL for the plant tests (localedef and the locale sources)
  locales
  postgresql
  # a display the tests can take away in the middle of a run
  xvfb
  # scripts/compare-records reads the result files the tests kept
  sqlite3
  # the diagnostics test reads the support archive back with Info-ZIP
  unzip
)

install_packages() {
  local missing=()
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "== installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# build_tree DIR BUILD_TYPE [extra cmake args...]
build_tree() {
  local dir="$1" type="$2"
  shift 2
  cmake -S "$ROOT" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE="$type" "$@" >/dev/null
  cmake --build "$dir" -j "$(nproc)"
}
