#!/bin/sh
# Seeds of the response parser and gzip header targets: SRC WORK. A parser
# input begins with three bytes: flags, read size, and the authentication
# schemes (server in bits 0-2, proxy in bits 4-6, bit 3 for log level 3).
WORK=$2
mkdir -p "$WORK/seeds-http1_parser" "$WORK/seeds-http1_gzip"
P="$WORK/seeds-http1_parser"
printf '\000\001\000HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello' >"$P/length"
printf '\000\002\000HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1a;x=y\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\nT: 1\r\n\r\n' >"$P/chunked"
printf '\000\003\000HTTP/1.1 100 Continue\r\n\r\nHTTP/1.0 200 OK\nSet-Cookie: a=b; path=/\n\nbody until close' >"$P/interim"
printf '\006\004\000HTTP/1.1 302 Found\r\nLocation: /x\r\nContent-Length: 3\r\n\r\nabc' >"$P/redirect"
printf '\010\005\000HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\n\r\n\037\213\010\010\000\000\000\000\000\377a\000\313H\315\311\311\007\000\206\246\0206\005\000\000\000' >"$P/gzip"
printf '\000\000\000no status line\r\n' >"$P/raw"
A='HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n'
R='HTTP/1.1 407 Proxy Authentication Required\r\nContent-Length: 0\r\n'
printf "\000\001\000$A"'WWW-Authenticate: Basic realm="r"\r\n\r\n' >"$P/auth-basic"
printf "\000\001\001$A"'WWW-Authenticate: Digest realm="r", nonce="abc", qop="auth,auth-int", algorithm=MD5-sess, opaque="o"\r\n\r\n' >"$P/auth-digest"
printf "\000\002\011$A"'WWW-Authenticate: Digest realm="r", nonce="n1", algorithm=SHA-256\r\nWWW-Authenticate: Digest realm="r", nonce="n2", algorithm=MD5, qop="auth"\r\n\r\n' >"$P/auth-digest-two"
printf "\000\001\004$A"'WWW-Authenticate: NTLM TlRMTVNTUAACAAAABgAGADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAABgAGAA2AAAARABPAE0AAgAGAEQATwBNAAEABgBTAFIAVgAAAAAA\r\n\r\n' >"$P/auth-ntlm"
printf "\000\001\015$A"'WWW-Authenticate: Negotiate TlRMTVNTUAACAAAABgAGADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAABgAGAA2AAAARABPAE0AAgAGAEQATwBNAAEABgBTAFIAVgAAAAAA\r\n\r\n' >"$P/auth-negotiate"
printf "\000\001\100$R"'Proxy-Authenticate: ntlm TlRMTVNTUAACAAAABgAGADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAABgAGAA2AAAARABPAE0AAgAGAEQATwBNAAEABgBTAFIAVgAAAAAA\r\nProxy-Authenticate: NTLM TlRMTVNTUAACAAAABgAGADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAABgAGAA2AAAARABPAE0AAgAGAEQATwBNAAEABgBTAFIAVgAAAAAA\r\n\r\n' >"$P/proxy-ntlm"
printf "\000\001\030$R"'Proxy-Authenticate: Basic realm="p"\r\nProxy-Authenticate: Digest realm="p", nonce="n", qop="auth", stale=false\r\n\r\n' >"$P/proxy-digest"
printf "\000\001\120$R"'Proxy-Authenticate: Negotiate TlRMTVNTUAACAAAABgAGADAAAAAFgokAAQIDBAUGBwgAAAAAAAAAABgAGAA2AAAARABPAE0AAgAGAEQATwBNAAEABgBTAFIAVgAAAAAA\r\n\r\n' >"$P/proxy-negotiate"
printf "\000\001\042$A"'WWW-Authenticate: NTLM\r\nProxy-Authenticate: Digest nonce="x"\r\n\r\n' >"$P/auth-proprietary"
G="$WORK/seeds-http1_gzip"
printf '\037\213\010\034\000\000\000\000\000\377\003\000AB\000name\000comment\000' >"$G/flags"
printf '\037\213\010\002\000\000\000\000\000\377\001\002' >"$G/hcrc"
