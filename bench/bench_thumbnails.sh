#!/bin/sh
# A page of 15 thumbnails: the wallpaper window's loader filling its grid
# against curl fetching the same 15 files one after another from the same
# local server (median of 11 runs each, taken in turns in the same run).
set -eu
BUILD=${1:-build}
QT_QPA_PLATFORM=offscreen "$BUILD/bench/bench_thumbnails" 11
