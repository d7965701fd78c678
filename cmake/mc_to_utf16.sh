#!/bin/sh
# Turns the UTF-8, LF message source into the UTF-16LE, CR LF text the message compiler reads.
set -e
sed 's/$/\r/' "$1" | iconv -f UTF-8 -t UTF-16LE > "$2"
