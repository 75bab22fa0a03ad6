#!/usr/bin/env bash
# Checks that a built libKVSH_User.so exports exactly the functions that kvsh_user.h declares:
# every declared function is there, and nothing else of ours (no C++ symbols) is visible.
# Usage: check_exports.sh LIBRARY HEADER
set -euo pipefail
lib=$1 header=$2
declared=$(grep -v '^#' "$header" | tr '\n' ' ' | grep -oP 'KVS_API[^;{(]*?\b\K\w+(?=\s*\()' | sort -u)
exported=$(nm -D --defined-only "$lib" | awk '$2 ~ /^[TWiVuDB]$/ {print $3}' |
  grep -vE '^(_init|_fini|__.*)$' | sort -u)
missing=$(comm -23 <(echo "$declared") <(echo "$exported"))
extra=$(comm -13 <(echo "$declared") <(echo "$exported"))
[ -z "$missing" ] || { echo "declared but not exported:"; echo "$missing"; }
[ -z "$extra" ] || { echo "exported but not declared:"; echo "$extra"; }
[ -z "$missing" ] && [ -z "$extra" ] || exit 1
echo "exports match the header: $(echo "$declared" | wc -l) functions"
