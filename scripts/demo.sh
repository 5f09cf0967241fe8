#!/usr/bin/env bash
# The main job: each deliverable shows itself working. Argument: the build folder.
set -euo pipefail
BUILD=$(cd "$1" && pwd)
echo "Built: $(ls "$BUILD"/driver/libsarnvale.x64.so "$BUILD"/setup/driver-setup "$BUILD"/netlib/libtornell.a | xargs)"

# The driver registered by driver-setup in a throwaway configuration, then
# loaded by unixODBC's isql, with the test stand-in in place of the maker's runtime.
demo_driver() {
  local work standin dsn="Orvex SharePoint Source"
  work=$(mktemp -d)
  trap 'rm -rf "$work"' RETURN
  standin="$BUILD/tests/driver/standin"
  if [[ ! -e "$standin/liborvexrt.x64.so.6" ]]; then
    echo "stand-in runtime missing under $standin (configure with SARNVALE_TESTS=ON)" >&2
    return 1
  fi
  export ODBCSYSINI="$work" ODBCINI="$work/odbc.ini"
  echo
  echo "== driver-setup -i -d, then -i -s"
  "$(dirname "${BASH_SOURCE[0]}")/demo-setup.sh" "$BUILD" "$BUILD/driver/libsarnvale.x64.so" "$work" | sed 's/^/  /'
  # The runtime and its companion sit beside the driver, the last place it looks.
  cp "$standin"/liborvexrt*.so.6 "$work/install/lib/"

  echo
  echo "== isql -b \"$dsn\", one statement; lines from the driver's log are marked '|'"
  printf 'SELECT Title FROM Tasks\n' |
    ENABLE_ORVEX_LOG=1 ORVEX_STANDIN_LOG="$work/calls.log" \
      isql -b "$dsn" reader secret > "$work/isql.out" 2>&1 || {
      cat "$work/isql.out"
      echo "isql failed" >&2
      return 1
    }
  # The search's "not found" warnings for the first two places are left out.
  grep -v '^Warning: Load library failed' "$work/isql.out" | sed 's/^/  | /'
  echo
  local calls paths
  calls=$(wc -l < "$work/calls.log")
  paths=$(cut -f2 "$work/calls.log" | sort -u | xargs)
  echo "== the stand-in runtime received $calls calls, each with the driver path first ($paths):"
  cut -f1 "$work/calls.log" | xargs | fold -s -w 100 | sed 's/^/  /'
}
demo_driver

# An HTTPS page from a local nginx that speaks only TLS 1.3, fetched through a
# class derived from HTTP and by curl, both trusting a CA made for the run;
# then the same over HTTP/2 from a second nginx server with http2 on.
demo_https() {
  local work fetch port port2 nginx_pid i url
  fetch="$BUILD/tests/netlib/http/component/http_fetch_demo"
  if [[ ! -x "$fetch" ]]; then
    echo "fetch program missing: $fetch (configure with SARNVALE_TESTS=ON)" >&2
    return 1
  fi
  work=$(mktemp -d)
  nginx_pid=
  trap 'if [[ -n "$nginx_pid" ]]; then kill "$nginx_pid" 2>/dev/null; wait "$nginx_pid" 2>/dev/null; fi; rm -rf "$work"' RETURN
  (
    cd "$work"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout ca.key -out ca.crt -days 2 \
      -subj "/CN=Demo CA" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout srv.key -out srv.csr -subj /CN=localhost
    printf 'subjectAltName=DNS:localhost,IP:127.0.0.1\nextendedKeyUsage=serverAuth\n' > srv.ext
    openssl x509 -req -in srv.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 -extfile srv.ext -out srv.crt
  ) > "$work/pki.log" 2>&1 || { cat "$work/pki.log"; return 1; }
  mkdir -p "$work/www"
  for i in $(seq 1 2000); do echo "line $i of the page served over TLS 1.3"; done > "$work/www/page.txt"
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  port2=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
  cat > "$work/nginx.conf" <<EOF
daemon off; master_process off; worker_processes 1;
pid $work/nginx.pid; error_log $work/error.log;
events { worker_connections 16; }
http {
  access_log off;
  client_body_temp_path $work/body; proxy_temp_path $work/proxy; fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi; scgi_temp_path $work/scgi;
  types { text/plain txt; }
  server {
    listen 127.0.0.1:$port ssl;
    ssl_certificate $work/srv.crt; ssl_certificate_key $work/srv.key;
    ssl_protocols TLSv1.3;
    root $work/www;
  }
  server {
    listen 127.0.0.1:$port2 ssl http2;
    ssl_certificate $work/srv.crt; ssl_certificate_key $work/srv.key;
    ssl_protocols TLSv1.3;
    root $work/www;
  }
}
EOF
  nginx -p "$work" -c "$work/nginx.conf" > "$work/nginx.out" 2>&1 &
  nginx_pid=$!
  for i in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port2") 2>/dev/null && break
    sleep 0.05
  done
  url="https://localhost:$port/page.txt"
  echo
  echo "== GET $url through a class derived from HTTP (nginx: ssl_protocols TLSv1.3)"
  "$fetch" "$url" "$work/ca.crt" "$work/body.ours" | sed 's/^/  /'
  echo "  body sha256: $(sha256sum < "$work/body.ours" | cut -d' ' -f1)"
  echo
  echo "== the same with curl -s --cacert CA -D -"
  curl -s --cacert "$work/ca.crt" -D "$work/headers.curl" -o "$work/body.curl" "$url"
  tr -d '\r' < "$work/headers.curl" | sed '/^$/d; s/^/  /'
  echo "  body: $(wc -c < "$work/body.curl") bytes"
  echo "  body sha256: $(sha256sum < "$work/body.curl" | cut -d' ' -f1)"

  url="https://localhost:$port2/page.txt"
  echo
  echo "== GET $url over HTTP/2 (HTTPVersion 2.0, ALPN h2; nginx: listen ssl http2)"
  "$fetch" "$url" "$work/ca.crt" "$work/body2.ours" 2.0 | sed 's/^/  /'
  echo "  body sha256: $(sha256sum < "$work/body2.ours" | cut -d' ' -f1)"
  echo
  echo "== the same with curl --http2 -s --cacert CA -D -"
  curl --http2 -s --cacert "$work/ca.crt" -D "$work/headers2.curl" -o "$work/body2.curl" "$url"
  tr -d '\r' < "$work/headers2.curl" | sed '/^$/d; s/^/  /'
  echo "  body: $(wc -c < "$work/body2.curl") bytes"
  echo "  body sha256: $(sha256sum < "$work/body2.curl" | cut -d' ' -f1)"
}
demo_https
