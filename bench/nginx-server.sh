# Sourced by the benchmarks that download from nginx on 127.0.0.1, the server
# publishers use, configured as Debian's nginx ships (sendfile on).
# The caller sets WORK (a folder of its own, served from $WORK/www) and NAME
# (the benchmark, for messages), and stops $NGINX_PID when it ends.
# start_nginx_server [EXTRA]: EXTRA goes into the server block. Sets BASE.
NGINX=/usr/sbin/nginx
NGINX_PID=

start_nginx_at() { # PORT EXTRA
    mkdir -p "$WORK/temp" "$WORK/www"
    cat >"$WORK/nginx.conf" <<CONF
daemon off;
master_process off;
pid $WORK/nginx.pid;
error_log $WORK/error.log;
events { worker_connections 64; }
http {
  log_format bytes '\$status \$body_bytes_sent "\$http_range" "\$request"';
  access_log $WORK/access.log bytes;
  client_body_temp_path $WORK/temp/body;
  proxy_temp_path $WORK/temp/proxy;
  fastcgi_temp_path $WORK/temp/fastcgi;
  uwsgi_temp_path $WORK/temp/uwsgi;
  scgi_temp_path $WORK/temp/scgi;
  default_type application/octet-stream;
  sendfile on;
  server {
    listen 127.0.0.1:$1;
    root $WORK/www;
    $2
  }
}
CONF
    "$NGINX" -p "$WORK/" -c "$WORK/nginx.conf" -e "$WORK/error.log" &
    NGINX_PID=$!
    sleep 0.5
    kill -0 "$NGINX_PID" 2>/dev/null
}

start_nginx_server() {
    port=$((20000 + $$ % 20000))
    tries=0
    until start_nginx_at "$port" "${1:-}"; do
        NGINX_PID=
        tries=$((tries + 1))
        if [ "$tries" -ge 20 ]; then
            echo "$NAME: nginx does not start, skipped"
            cat "$WORK/error.log" 2>/dev/null || true
            exit 0
        fi
        port=$((port + 1))
    done
    BASE=http://127.0.0.1:$port
}
