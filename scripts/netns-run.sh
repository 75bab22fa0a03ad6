#!/usr/bin/env bash
# Runs a command in a private network namespace with only loopback up, so that tests using
# the protocol's fixed UDP ports (30000/30001) never collide with each other or with a
# controller simulator running on the machine. Falls back to running directly where
# namespaces are not allowed.
set -u
if [ "${KVS_NETNS_INSIDE:-}" != 1 ]; then
  for flags in "-n" "-rn"; do
    if unshare $flags true 2>/dev/null; then
      exec env KVS_NETNS_INSIDE=1 unshare $flags "$0" "$@"
    fi
  done
  exec "$@"
fi
ip link set lo up 2>/dev/null || true
exec "$@"
