#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the fuzzers need.
# Quiet and quick when everything is present; refreshes the package lists only when something is missing.
# `install-deps.sh coverage` also installs lcov, which only `make coverage` uses;
# `install-deps.sh bench` also installs the benchmark library and the three JSON libraries the
# benchmarks compare against, which only `make bench` uses.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  libsqlite3-dev zlib1g-dev libminizip-dev libssl-dev libcurl4-openssl-dev libexpat1-dev
  duktape-dev libstb-dev libicu-dev tzdata
  googletest libgtest-dev libgmock-dev
  clang
)
case "${1:-}" in
  coverage) packages+=(lcov) ;;
  bench) packages+=(libbenchmark-dev nlohmann-json3-dev rapidjson-dev libsimdjson-dev) ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
