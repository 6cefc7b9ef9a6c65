#!/usr/bin/env bash
# Runs one Windows test program under Wine with the project's settings; its exit code passes through.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
