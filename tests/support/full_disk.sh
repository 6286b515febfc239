#!/bin/sh
# full_disk.sh COMMAND [ARGS...]: runs COMMAND with CORTEVANE_FULL_DISK naming a folder on a
# file system of 64 KiB of its own (a tmpfs mounted in a private user and mount namespace), so
# a test meets a disk that really fills up, with the system's own error. Exit 77 (skipped)
# where such namespaces are not allowed.
unshare -Urm true 2>/dev/null || exit 77
dir=$(mktemp -d) || exit 1
trap 'rmdir "$dir"' EXIT
unshare -Urm sh -c 'mount -t tmpfs -o size=64k cortevane-full "$0" || exit 77
CORTEVANE_FULL_DISK="$0" exec "$@"' "$dir" "$@"
