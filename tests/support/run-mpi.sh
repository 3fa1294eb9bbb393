#!/bin/bash
# Runs a program as an MPI job on this machine, as the tests start one:
#   run-mpi.sh MPIEXEC N PROGRAM [ARGS...]
# is MPIEXEC -n N --oversubscribe PROGRAM ARGS, with --allow-run-as-root when
# the tests run as root (Open MPI refuses root without it).
set -u
mpiexec=$1
n=$2
shift 2
root=()
[ "$(id -u)" -eq 0 ] && root=(--allow-run-as-root)
exec "$mpiexec" -n "$n" --oversubscribe "${root[@]}" "$@"
