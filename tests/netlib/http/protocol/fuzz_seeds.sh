#!/bin/sh
# Seeds of the response parser and gzip header targets: SRC WORK.
WORK=$2
mkdir -p "$WORK/seeds-http1_parser" "$WORK/seeds-http1_gzip"
P="$WORK/seeds-http1_parser"
printf '\000\001HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello' >"$P/length"
printf '\000\002HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a;x=y\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nT: 1\r\n\r\n' >"$P/chunked"
printf '\000\003HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\nSet-Cookie: a=b; path=/\n\nbody until close' >"$P/interim"
printf '\006\004HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 3\r\n\r\nabc' >"$P/redirect"
printf '\010\005HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n\037\213\010\010\000\000\000\000\000\377a\000\313H\315\311\311\007\000\206\246\0206\005\000\000\000' >"$P/gzip"
printf 'no status line\r\n' >"$P/raw"
G="$WORK/seeds-http1_gzip"
printf '\037\213\010\034\000\000\000\000\000\377\003\000AB\000name\000comment\000' >"$G/flags"
printf '\037\213\010\002\000\000\000\000\000\377\001\002' >"$G/hcrc"
