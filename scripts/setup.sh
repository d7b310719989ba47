#!/usr/bin/env bash
# Installs what building and testing quendral-jsonengine needs on Debian 12.
#
# The toolchain and test libraries come from the machine's own release with
# apt-get. yyjson 0.12 is not in Debian 12; Debian's testing distribution
# carries it as libyyjson0 and libyyjson-dev, which depend only on libc6, so
# exactly those packages are fetched from the archive the machine already
# uses, through a private apt configuration (its own sources list, lists and
# cache), and installed with dpkg. The benchmark peers jaq (with its
# allocator, libmimalloc3) and gojq come from testing the same way. The
# machine's apt setup is left untouched. With everything present the script
# changes nothing.
#
# Usage: scripts/setup.sh [--fuzz] [--windows] [--bench-peers]
#   --fuzz         also install clang and its sanitizer runtime (fuzz targets)
#   --windows      also install mingw-w64 (posix threads), wine and
#                  GoogleTest's sources (the Windows cross build and its tests)
#   --bench-peers  also install the end-to-end comparison peers and timer:
#                  jq, miller and hyperfine from the release, jaq and gojq
#                  from testing
set -euo pipefail

TESTING_SUITE="${TESTING_SUITE:-${YYJSON_SUITE:-forky}}"
# Packages from testing, each as NAME=VERSION_PREFIX (an empty prefix takes
# whatever testing offers).
TESTING_PACKAGES=(libyyjson0=0.12. libyyjson-dev=0.12.)
BASE_PACKAGES=(cmake make g++ pkg-config libgtest-dev libgmock-dev libbenchmark-dev python3 python3-venv)
EXTRA_PACKAGES=()
for arg in "$@"; do
  case "$arg" in
    --fuzz) EXTRA_PACKAGES+=(clang libclang-rt-14-dev) ;;
    --windows) EXTRA_PACKAGES+=(g++-mingw-w64-x86-64-posix wine wine64 googletest) ;;
    --bench-peers)
      EXTRA_PACKAGES+=(jq miller hyperfine)
      TESTING_PACKAGES+=(libmimalloc3= jaq=3.1 gojq=)
      ;;
    *) echo "setup: unknown option: $arg" >&2; exit 2 ;;
  esac
done

say() { echo "setup: $*"; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

# Installed with a version that starts with the prefix.
installed_series() {
  installed "$1" && [[ "$(dpkg-query -W -f='${Version}' "$1")" == "$2"* ]]
}

missing=()
for p in "${BASE_PACKAGES[@]}" "${EXTRA_PACKAGES[@]}"; do
  installed "$p" || missing+=("$p")
done
testing_missing=()
for wanted in "${TESTING_PACKAGES[@]}"; do
  installed_series "${wanted%%=*}" "${wanted#*=}" || testing_missing+=("$wanted")
done

if [[ ${#missing[@]} -eq 0 && ${#testing_missing[@]} -eq 0 ]]; then
  say "everything needed is installed; nothing to do"
  exit 0
fi

# The Debian archive the machine already uses: the first URI of a source
# that serves the release's main suite (not its security suite).
archive_uri() {
  local f uri
  for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f "$f" ]] || continue
    uri=$(awk '
      /^[ \t]*$/ { if (u != "" && s !~ /-security/ && s != "") { print u; exit } u=""; s=""; next }
      /^URIs:/ { u=$2 }
      /^Suites:/ { $1=""; s=$0 }
      END { if (u != "" && s !~ /-security/ && s != "") print u }' "$f" | head -n1)
    if [[ -n "$uri" ]]; then echo "$uri"; return; fi
  done
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f "$f" ]] || continue
    uri=$(awk '$1 == "deb" {
        i = 2; if ($2 ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
        if ($(i+1) !~ /-security/ && $(i+2) ~ /main/) { print $i; exit } }' "$f")
    if [[ -n "$uri" ]]; then echo "$uri"; return; fi
  done
}

if [[ $(id -u) -ne 0 ]]; then
  say "root is needed to install packages. Run this script as root, for example:"
  echo "  sudo bash $0 $*"
  if [[ ${#missing[@]} -gt 0 ]]; then
    echo "or install the missing packages yourself:"
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}"
  fi
  if [[ ${#testing_missing[@]} -gt 0 ]]; then
    echo "${testing_missing[*]%%=*} come from Debian's ${TESTING_SUITE} distribution; the script fetches"
    echo "just those packages with a private apt configuration and installs them with dpkg -i."
  fi
  exit 1
fi

if [[ ${#missing[@]} -gt 0 ]]; then
  say "installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [[ ${#testing_missing[@]} -gt 0 ]]; then
  uri=$(archive_uri)
  if [[ -z "$uri" ]]; then
    echo "setup: no Debian archive found in the machine's apt sources" >&2
    exit 1
  fi
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  [[ -f "$keyring" ]] || { echo "setup: $keyring is missing (package debian-archive-keyring)" >&2; exit 1; }
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
  mkdir -p "$work/lists/partial" "$work/cache/archives/partial" "$work/debs"
  echo "deb [signed-by=$keyring] $uri $TESTING_SUITE main" > "$work/sources.list"
  apt_opts=(-o "Dir::Etc::SourceList=$work/sources.list" -o "Dir::Etc::SourceParts=/dev/null"
            -o "Dir::State::Lists=$work/lists" -o "Dir::Cache=$work/cache"
            -o "Dir::Cache::archives=$work/cache/archives" -o "APT::Sandbox::User=root")
  names=("${testing_missing[@]%%=*}")
  say "fetching ${names[*]} from $TESTING_SUITE"
  apt-get "${apt_opts[@]}" update -qq
  for wanted in "${testing_missing[@]}"; do
    p=${wanted%%=*} series=${wanted#*=}
    v=$(apt-cache "${apt_opts[@]}" policy "$p" | awk '/Candidate:/ { print $2 }')
    if [[ -z "$v" || "$v" == "(none)" || "$v" != "$series"* ]]; then
      echo "setup: $TESTING_SUITE offers $p version '${v:-none}', not ${series:-any}${series:+x}" >&2
      exit 1
    fi
    (cd "$work/debs" && apt-get "${apt_opts[@]}" download -qq "$p=$v")
  done
  dpkg -i "$work"/debs/*.deb >/dev/null
  say "installed $(dpkg-query -W -f='${Package} ${Version}\n' "${names[@]}" | paste -sd ' ')"
fi
say "done"
