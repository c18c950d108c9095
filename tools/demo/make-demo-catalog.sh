#!/bin/sh
# Writes a small demo catalogue folder laid out as the catalogue server's
# paths: softdata/win7/config.txt in code page 936. Usage: make-demo-catalog.sh DIR
set -eu
DIR=$1
mkdir -p "$DIR/softdata/win7/res/theme" "$DIR/softdata/win7/res/cursor" "$DIR/softdata/win7/res/screensave"
cat <<'JSON' | iconv -f UTF-8 -t CP936 > "$DIR/softdata/win7/config.txt"
{"themes":[
  {"name":"风景","list":[{"name":"山水之间","iszip":true},{"name":"秋日森林","iszip":true},{"name":"海边日落","iszip":false}]},
  {"name":"动漫","list":[{"name":"星空少女","iszip":true}]},
  {"name":"简约","list":[{"name":"纯色时光","iszip":true}]}
 ],
 "cursors":["水晶指针","极简黑白"],
 "screensave":["星空漫游","时钟"]}
JSON
