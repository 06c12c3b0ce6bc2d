#!/bin/sh
# Runs a Windows program of the build under Wine: wine_run.sh PREFIX PROGRAM
# [ARGUMENTS...]. PREFIX is the Wine prefix (made on the first run, which
# takes a few seconds); Wine's own messages are off, so that standard error
# holds the program's alone.
#
# Wine's server and its services (services.exe, explorer.exe, ...) are
# started first, with none of this run's descriptors, and kept for 30
# seconds after the last program: started by the program's own run they
# would hold its standard error open, and a test runner would wait for them
# (two seconds and more for each test). While they run, this costs little.
prefix=$1
shift
# No .NET runtime and no HTML engine in the prefix: the programs need
# neither, and a fresh machine would otherwise try to fetch them when the
# prefix is made.
export WINEPREFIX="$prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wineserver -p30 </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1
exec wine "$@"
