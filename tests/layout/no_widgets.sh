#!/bin/sh
# Fails when one of the given programs loads Qt Widgets: the directory server, the fuzzers
# and the logic tests are built from the widget-free libraries only.
status=0
for program in "$@"; do
    [ -n "$program" ] || continue # a program this configuration does not build
    libraries=$(ldd "$program") || { echo "cannot read $program"; status=1; continue; }
    case $libraries in
    *libQt6Core*) ;;
    *) echo "no Qt in $program: ldd read nothing useful"; status=1 ;;
    esac
    case $libraries in
    *libQt6Widgets*) echo "$program loads Qt Widgets"; status=1 ;;
    *) echo "$program: no Qt Widgets" ;;
    esac
done
exit $status
