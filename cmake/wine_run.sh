#!/bin/sh
# Runs a Windows program of the build under Wine: wine_run.sh PREFIX PROGRAM
# [ARGUMENTS...]. PREFIX is the Wine prefix (made on the first run, which
# takes a few seconds); Wine's own messages are off, so that standard error
# holds the program's alone.
prefix=$1
shift
export WINEPREFIX="$prefix" WINEDEBUG=-all
exec wine "$@"
