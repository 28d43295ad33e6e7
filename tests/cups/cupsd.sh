# A private cupsd for the CUPS tests, sourced by them. Everything lives in one
# temporary folder: configuration, spool, logs, a ServerBin that holds the
# system's backends and filters plus the filter under test. It listens on
# 127.0.0.1 on a free port, prints to file: devices and asks for no
# authentication. The system's own CUPS is never touched. cupsd_stop runs on every exit of the
# sourcing shell.
#
#   cupsd_start FILTER [SETUP]   start it (FILTER: the built qm22t-cups; SETUP:
#                        a function run with the folder before cupsd starts,
#                        to add configuration of a test's own)
#   cupsd_queue Q PPD    add queue Q printing to $CUPSD_DIR/out/Q.prn
#   cupsd_print Q FILE [lp options...]   submit, print the job id
#   cupsd_wait Q ID      wait until the job ended; its final state on stdout

cupsd_free_port() {
    local port
    for port in $(shuf -i 20000-60000 -n 50); do
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    return 1
}

cupsd_stop() {
    if [ -n "${CUPSD_PID:-}" ]; then
        kill "$CUPSD_PID" 2>/dev/null || true
        wait "$CUPSD_PID" 2>/dev/null || true
        CUPSD_PID=
    fi
    if [ -n "${CUPSD_DIR:-}" ] && [ -z "${CUPSD_KEEP:-}" ]; then
        rm -rf "$CUPSD_DIR"
    fi
}

cupsd_start() {
    local filter=$1 setup=${2:-} system_bin
    system_bin=$(cups-config --serverbin)
    CUPSD_DIR=$(mktemp -d "${TMPDIR:-/tmp}/qm22t-cupsd.XXXXXX")
    trap cupsd_stop EXIT
    # cupsd runs filters as lp: the folder must be readable and the output
    # folder writable by it.
    chmod 755 "$CUPSD_DIR"
    mkdir -p "$CUPSD_DIR"/{bin/filter,spool/tmp,cache,state,log,ppd,out}
    chmod 1777 "$CUPSD_DIR/out" "$CUPSD_DIR/spool/tmp"
    local entry
    for entry in "$system_bin"/*; do
        [ "$(basename "$entry")" = filter ] || ln -s "$entry" "$CUPSD_DIR/bin/"
    done
    for entry in "$system_bin"/filter/*; do
        ln -s "$entry" "$CUPSD_DIR/bin/filter/"
    done
    # cupsd refuses a filter that others could change: a copy of our own.
    install -m 755 "$filter" "$CUPSD_DIR/bin/filter/qm22t-cups"
    CUPSD_PORT=$(cupsd_free_port) || { echo "cupsd.sh: no free port" >&2; return 1; }
    cat >"$CUPSD_DIR/cups-files.conf" <<CONF
ServerRoot $CUPSD_DIR
RequestRoot $CUPSD_DIR/spool
TempDir $CUPSD_DIR/spool/tmp
CacheDir $CUPSD_DIR/cache
StateDir $CUPSD_DIR/state
AccessLog $CUPSD_DIR/log/access_log
ErrorLog $CUPSD_DIR/log/error_log
PageLog $CUPSD_DIR/log/page_log
ServerBin $CUPSD_DIR/bin
DataDir /usr/share/cups
FileDevice Yes
CONF
    cat >"$CUPSD_DIR/cupsd.conf" <<CONF
Listen 127.0.0.1:$CUPSD_PORT
Browsing No
WebInterface No
LogLevel debug
MaxLogSize 0
MaxJobs 0
PreserveJobFiles No
<Policy default>
<Limit All>
Order deny,allow
</Limit>
</Policy>
CONF
    export CUPS_SERVER=127.0.0.1:$CUPSD_PORT
    [ -z "$setup" ] || "$setup" "$CUPSD_DIR"
    cupsd -f -c "$CUPSD_DIR/cupsd.conf" -s "$CUPSD_DIR/cups-files.conf" &
    CUPSD_PID=$!
    local i
    for i in $(seq 100); do
        [ "$(lpstat -r 2>/dev/null)" = "scheduler is running" ] && return 0
        kill -0 "$CUPSD_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "cupsd.sh: cupsd did not start; its log:" >&2
    cat "$CUPSD_DIR/log/error_log" >&2 2>/dev/null
    return 1
}

cupsd_queue() {
    lpadmin -p "$1" -E -v "file://$CUPSD_DIR/out/$1.prn" -P "$2" 2>&1 | grep -v -i 'deprecated' >&2 || true
    lpstat -p "$1" >/dev/null
}

cupsd_print() {
    local queue=$1 file=$2
    shift 2
    lp -d "$queue" "$@" "$file" | sed -n 's/^request id is [^ ]*-\([0-9]*\) .*/\1/p'
}

# The job's state once it has ended: completed, canceled, aborted, or
# processing-stopped (how cupsd leaves a job whose filter failed: in the
# queue, with the filter's ERROR line as its message, while the queue prints
# on). Fails when it has not ended within 60 s.
cupsd_wait() {
    local i state
    for i in $(seq 600); do
        state=$(ipptool -c -d job=$2 "ipp://$CUPS_SERVER/jobs/$2" /dev/stdin <<'TEST' | tail -n 1
{ OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri job-uri $uri
  ATTR name requesting-user-name root
  ATTR keyword requested-attributes job-state
  DISPLAY job-state }
TEST
        )
        case "$state" in
            completed | aborted | canceled | processing-stopped) echo "$state"; return 0 ;;
        esac
        sleep 0.1
    done
    echo "cupsd.sh: job $1-$2 has not ended after 60 s (state ${state:-unknown})" >&2
    return 1
}
