#!/usr/bin/env bash
# Installs KVSH_User from a build tree into a scratch prefix, builds client.c against it twice
# (pkg-config, then find_package) and runs each build against the scripted controller.
# Usage: run.sh BUILD_DIR C_COMPILER PEER_EXE [extra C flags...]
set -euo pipefail
build=$1 cc=$2 peer=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" --component KVSH_User >/dev/null
pcdir=$(dirname "$(find "$prefix" -name KVSH_User.pc)")
flags=$(PKG_CONFIG_PATH=$pcdir pkg-config --cflags --libs KVSH_User)
libdir=$(PKG_CONFIG_PATH=$pcdir pkg-config --variable=libdir KVSH_User)
"$cc" -std=c11 -Wall -Wextra -Werror "$@" "$here/client.c" $flags -Wl,-rpath,"$libdir" -o "$work/client-pc"

cmake -S "$here" -B "$work/cmake-build" -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$*" \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-build" >/dev/null

run_against_peer() {
  "$peer" >"$work/peer.out" &
  local pid=$!
  for _ in $(seq 200); do grep -q ready "$work/peer.out" 2>/dev/null && break; sleep 0.05; done
  local rc=0
  "$1" || rc=$?
  wait "$pid" || rc=$?
  cat "$work/peer.out"
  return $rc
}
run_against_peer "$work/client-pc"
run_against_peer "$work/cmake-build/client"
echo "installed client: pkg-config and find_package builds passed"
