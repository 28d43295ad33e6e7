#!/usr/bin/env bash
# The CUPS driver through a real cupsd of the test's own (cupsd.sh): a queue
# made from the generated printer description, jobs submitted with lp, and
# what reached the queue's file compared with `qm22t run` of the same job and
# settings: the PJL header byte for byte, and the feature invocations the
# PostScript makes, as Ghostscript records them behind the test prolog of
# tests/postscript, the same.
#
#   cups_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

build=$1
source_dir=$2
filter=$build/bin/qm22t-cups
tool=$build/bin/qm22t
ppd=$build/package-files/qm22t-cups.ppd
job=$source_dir/examples/job.ps
prolog=$source_dir/tests/postscript/feature_prolog.ps
. "$source_dir/tests/cups/cupsd.sh"

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# A document type of the test's own whose filter (slowcat) hands over the
# first part of the job and then waits: a job canceled then is canceled while
# qm22t-cups is in the middle of it.
slow_input() {
    printf 'application/x-qm22t-slow\n' >"$1/qm22t-test.types"
    printf 'application/x-qm22t-slow application/vnd.cups-postscript 0 slowcat\n' >"$1/qm22t-test.convs"
    printf '#!/bin/sh\nhead -c 20000 "$6"\nsleep 60\ncat "$6"\n' >"$1/slowcat"
    install -m 755 "$1/slowcat" "$1/bin/filter/slowcat"
}
cupsd_start "$filter" slow_input
work=$CUPSD_DIR/work
mkdir -p "$work"
cupsd_queue q "$ppd"

# Prints FILE on queue Q with lp options; the output goes to OUT. Fails when
# the job does not complete.
print_to() {
    local queue=$1 file=$2 out=$3 id state
    shift 3
    id=$(cupsd_print "$queue" "$file" "$@") || return 1
    state=$(cupsd_wait "$queue" "$id") || return 1
    [ "$state" = completed ] || { echo "job $queue-$id $state" >&2; return 1; }
    cp "$CUPSD_DIR/out/$queue.prn" "$out"
}

# The PJL header of a spool file (up to the switch to PostScript), without
# the lines the two paths fill from different sources: the computer name
# (the simulated machine's against the print server's).
header_of() {
    sed -n '1,/^@PJL ENTER LANGUAGE=POSTSCRIPT/p' "$1" | grep -av '^@PJL SET ZTHOSTNAME='
}

# The feature invocations the PostScript part makes, as the test prolog of
# tests/postscript records them ("KEYWORD=HEX"), one of each, and its pages.
features_of() {
    sed -n '/^@PJL ENTER LANGUAGE=POSTSCRIPT/,$p' "$1" | tail -n +2 >"$1.ps"
    gs -q -dNODISPLAY -dBATCH -dNOPAUSE -dSAFER "$prolog" "$1.ps" -c "(JOB-END) = flush" 2>&1 | sort | uniq -c |
        awk '$2 == "PAGE" { print "PAGES " $1; next } { print $2 }'
}

# The matrix's job: the example job with a block of every printer feature it
# does not carry in its setup, as the Windows driver writes them for the
# Windows printer description's defaults, so both paths have every feature to
# rewrite.
awk 'FNR == NR { if (sub(/^%%BeginFeature: \*/, "")) { sub(/ .*/, ""); carried[$0] = 1 }; next }
     /^\*OpenUI \*ZT/ { key = substr($2, 2); sub(/[\/:].*/, "", key); if (key in carried) key = "" }
     key != "" && $0 ~ "^\\*Default" key ":" { choice = $2 }
     key != "" && index($0, "*" key " " choice "/") == 1 {
         code = $0; sub(/^[^"]*"/, "", code); sub(/"$/, "", code); key = ""
         printf "featurebegin{\r\n%%%%BeginFeature: *%s %s\r\n%s\r\n%%%%EndFeature\r\n}featurecleanup\r\n",
             substr($1, 2), choice, code
     }' "$job" "$build/package-files/QM22TPS.PPD" >"$work/blocks.ps"
sed $'/^%%BeginSetup\r$/r '"$work/blocks.ps" "$job" >"$work/full.ps"
# name | the job's options for lp (";" between them; "-n N" is the copies; lp
# reads quotes and backslashes in a value) | the same settings for qm22t run
# (--set each) | keywords not compared: the example job was made for A4 and
# carries a ZTPageSize block of its own, which neither path rewrites
matrix=(
    "defaults||"
    "duplex long|ZTDuplex=LongEdge|ZTDuplex=LongEdge"
    "sides short|sides=two-sided-short-edge|ZTDuplex=ShortEdge"
    "duplex both|Duplex=DuplexTumble;ZTDuplex=LongEdge|ZTDuplex=LongEdge"
    "tray 1|ZTInputSlot=Tray1|ZTInputSlot=Tray1"
    "media source|media-source=tray-2|ZTInputSlot=Tray2"
    "output bin|output-bin=face-down|ZTOutputTray=FaceDown"
    "personal box|ZTOutputBox=PersonalBox;ZTOutputMethod=Box|ZTOutputBox=PersonalBox;ZTOutputMethod=Box"
    "shared box|ZTOutputBox=SharedBox45|ZTOutputBox=SharedBox45"
    "copies|-n 3|CopyCount=3"
    "uncollated|-n 2;Collate=False|CopyCount=2;ZTCollate=False"
    "staple fold|ZTStapleMode=1Staple;ZTFoldMode=2Fold|ZTStapleMode=1Staple;ZTFoldMode=2Fold"
    "booklet|ZTBooklet=LeftBinding;ZTBookletSplitting=Auto|ZTBooklet=LeftBinding;ZTBookletSplitting=Auto"
    "zoom|ZTManualZoom=ON;ZTZoomRate=150|ZTManualZoom=1;ZTZoomRate=150"
    "job name|ZTJobName=True;ZTJobNameInfo=Custom.a(b)c\\\\d|ZTJobName=True;ZTJobNameInfo=a(b)c\\d"
    "owner|ZTOwnerName=True;ZTOwnerNameInfo='Zoë (Ü)'|ZTOwnerName=True;ZTOwnerNameInfo=Zoë (Ü)"
    "comment|ZTJobComment='Custom.日本語 )('|ZTJobComment=日本語 )("
    "secret|ZTSecretNum=True;ZTSecretNumInfo=1234|ZTSecretNum=True;ZTSecretNumInfo=1234"
    "page lists|ZTPageTray=True;PageTrayTray1=1,3-5;PageTrayExternalFeeder=2|ZTPageTray=True;PageTrayTray1=1,3-5;PageTrayExternalFeeder=2"
    "gamma|ZTGCCyan=Custom.5;ZTImageShift=True;ZTImageShiftFrontV=-150|ZTGCCyan=5;ZTImageShift=True;ZTImageShiftFrontV=-150"
    "a3|media=A3|PaperNumber=8|ZTPageSize"
    "letter|PageSize=Letter;ZTOrientation=Landscape|PaperNumber=1;ZTOrientation=Landscape|ZTPageSize"
    "custom size|PageSize=Custom.200x300mm|PaperNumber=256;ZTPageSizeWidth=20000;ZTPageSizeHeight=30000"
    "grayscale|ZTOutputMode=Grayscale;MediaType=HC|ZTOutputMode=Grayscale;ZTMediaType=HC"
)
today=$(date +%F)
for row in "${matrix[@]}"; do
    IFS='|' read -r name lp_items run_items fixed <<<"$row"
    out=$work/${name// /-}
    lp_args=()
    run_args=()
    IFS=';' read -ra items <<<"$lp_items"
    for item in "${items[@]}"; do
        case $item in
            -n\ *) lp_args+=(-n "${item#-n }") ;;
            *) lp_args+=(-o "$item") ;;
        esac
    done
    IFS=';' read -ra items <<<"$run_items"
    for item in "${items[@]}"; do run_args+=(--set "$item"); done
    if ! print_to q "$work/full.ps" "$out.cups" -t "Matrix $name" ${lp_args[@]+"${lp_args[@]}"}; then
        fail "$name: the job did not complete"
        continue
    fi
    "$tool" run --document "Matrix $name" --user "$(id -un)" --date "$today" ${run_args[@]+"${run_args[@]}"} --out "$out.win" "$work/full.ps" \
        2>"$out.run.err" || { fail "$name: qm22t run failed: $(cat "$out.run.err")"; continue; }
    diff <(header_of "$out.win") <(header_of "$out.cups") >"$out.header.diff" ||
        fail "$name: the PJL headers differ:"$'\n'"$(cat "$out.header.diff")"
    # No end-of-job byte: the header frames the job.
    [ "$(tail -c 1 "$out.cups")" != $'\x04' ] || fail "$name: the output ends in 0x04"
    # The copies are the header's alone: pstops's request for them is gone.
    if grep -aq '/NumCopies\|#copies' "$out.cups"; then fail "$name: the PostScript asks for copies too"; fi
    features_of "$out.win" >"$out.win.features"
    features_of "$out.cups" >"$out.cups.features"
    [ -z "$fixed" ] || sed -i "/^$fixed=/d" "$out.win.features" "$out.cups.features"
    grep -qx 'PAGES 2' "$out.cups.features" && grep -qx JOB-END "$out.cups.features" ||
        fail "$name: Ghostscript did not run the filter's output to its end: $(head -3 "$out.cups.features")"
    diff "$out.win.features" "$out.cups.features" >"$out.features.diff" ||
        fail "$name: the feature invocations differ (< plug-in, > filter):"$'\n'"$(cat "$out.features.diff")"
done

# CUPS's page log counts the pages the filter reports with their copies: two
# pages of three copies.
grep -q '\] total 6 - localhost Matrix copies ' "$CUPSD_DIR/log/page_log" ||
    fail "page log: $(grep 'Matrix copies' "$CUPSD_DIR/log/page_log")"

hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }

# A PDF: cups-filters turns it into PostScript, and the filter adds the header
# and the feature code.
gs -q -dBATCH -dNOPAUSE -dSAFER -sDEVICE=pdfwrite -o "$work/two.pdf" \
    -c "/Helvetica findfont 20 scalefont setfont 72 720 moveto (one) show showpage 72 720 moveto (two) show showpage"
if print_to q "$work/two.pdf" "$work/pdf.out" -o ZTDuplex=LongEdge -o ZTJobName=True -o ZTJobNameInfo=PDF; then
    grep -aq $'^\e%-12345X@PJL' "$work/pdf.out" || fail "pdf: no PJL header"
    grep -aq '^@PJL SET BINDING=LONGEDGE' "$work/pdf.out" || fail "pdf: the header does not carry the duplex"
    features_of "$work/pdf.out" >"$work/pdf.features"
    for expected in "ZTDuplex=$(hex LongEdge)" "ZTJobNameInfo=$(hex "$(hex PDF)")" "PAGES 2" JOB-END; do
        grep -qx "$expected" "$work/pdf.features" || fail "pdf: $expected is not in what Ghostscript recorded"
    done
else
    fail "pdf: the job did not complete"
fi

# Eight jobs at once, each on a queue of its own, each with its own name and
# copies.
for n in 1 2 3 4 5 6 7 8; do
    cupsd_queue "p$n" "$ppd"
    ids[n]=$(cupsd_print "p$n" "$job" -n "$n" -o ZTJobName=True -o "ZTJobNameInfo='Job $n'") || fail "job $n: not taken"
done
for n in 1 2 3 4 5 6 7 8; do
    state=$(cupsd_wait "p$n" "${ids[n]}") || state=pending
    out=$CUPSD_DIR/out/p$n.prn
    if [ "$state" != completed ]; then
        fail "at once $n: the job is $state"
    elif ! grep -aq "^@PJL SET JOBNAME=$(hex "Job $n")"$'\r$' "$out" || ! grep -aq "^@PJL SET QTY=$n"$'\r$' "$out"; then
        fail "at once $n: the output is not its job's"
    fi
done

# Bad input. Each case: the job's options (or file), the state it ends in,
# the line the filter leaves in the log (cupsd writes it behind the job's
# number, W for a warning and E for an error in front); the queue prints on
# after each.
head -c 20000 /dev/urandom >"$work/noise.bin"
bad=(
    "unknown choice|$job|-o ZTDuplex=Bogus|completed|W|ZTDuplex=Bogus is not a choice of ZTDuplex"
    "text over capacity|$job|-o ZTSecretNumInfo=Custom.1234567890|processing-stopped|E|ZTSecretNumInfo=1234567890 cannot be used"
    "not PostScript|$work/noise.bin|-o document-format=application/vnd.cups-postscript|processing-stopped|E|the job is not PostScript"
    "unknown option|$job|-o ZTNoSuchThing=1|completed|W|option ZTNoSuchThing is unknown"
    "standard and ZT|$job|-o Duplex=DuplexTumble -o ZTDuplex=LongEdge|completed|W|both Duplex and ZTDuplex are set; ZTDuplex=LongEdge wins"
    "merge corrects|$job|-o ZTStapleMode=1StapleLeft|completed|W|ZTStapleMode=1StapleLeft is not allowed with these settings; ZTStapleMode=Off is used"
)
for row in "${bad[@]}"; do
    IFS='|' read -r name file options expected level message <<<"$row"
    read -ra args <<<"$options"
    id=$(cupsd_print q "$file" "${args[@]}") || { fail "$name: not taken"; continue; }
    state=$(cupsd_wait q "$id") || state=hung
    [ "$state" = "$expected" ] || fail "$name: the job is $state, not $expected"
    grep -aq "^$level .*\[Job $id\] $message" "$CUPSD_DIR/log/error_log" || fail "$name: no \"$message\" in the log"
    print_to q "$job" "$work/after.out" || fail "$name: the next job did not print"
done

# A job canceled while the filter is in the middle of it: it ends canceled,
# the filter neither hangs nor crashes, and the next job prints.
# It is canceled once the filter has written the header, on a queue of its
# own whose file starts empty.
cupsd_queue c "$ppd"
id=$(cupsd_print c "$job" -o document-format=application/x-qm22t-slow)
for i in $(seq 200); do
    [ -s "$CUPSD_DIR/out/c.prn" ] && break
    sleep 0.05
done
cancel "c-$id"
state=$(cupsd_wait c "$id") || state=hung
[ "$state" = canceled ] || fail "cancel: the job is $state"
# cupsd calls the job canceled at once; the filter's exit follows, and on a
# busy machine that can take seconds. Its own word ("the job was canceled")
# is logged only when cupsd still reads the job's status pipe at that moment,
# and a filter whose input ended just before the signal may finish normally,
# so an orderly exit of either kind is what shows it stopped in order.
ended="\\[Job $id\\].*qm22t-cups\\) (stopped with status|exited with no errors|crashed|terminated)"
for i in $(seq 600); do
    grep -aEq "$ended" "$CUPSD_DIR/log/error_log" && break
    sleep 0.05
done
grep -aEq "\\[Job $id\\].*qm22t-cups\\) (stopped with status 1[^0-9]|exited with no errors)" "$CUPSD_DIR/log/error_log" ||
    fail "cancel: the filter did not stop in order: $(grep -a "\[Job $id\].*qm22t-cups" "$CUPSD_DIR/log/error_log" | tail -3)"
if grep -a "\[Job $id\].*qm22t-cups.*crashed" "$CUPSD_DIR/log/error_log"; then fail "cancel: the filter crashed"; fi
print_to c "$job" "$work/after.out" || fail "cancel: the next job did not print"

# The filter by hand: a usage, or no printer description.
for row in "no PPD|PPD=|ERROR: no printer description" "bad copies|PPD=$ppd|ERROR: copies \"x\" is not a number"; do
    IFS='|' read -r name environment message <<<"$row"
    copies=1
    [ "$name" = "bad copies" ] && copies=x
    status=0
    env "$environment" "$filter" 1 user title "$copies" "" <"$job" >/dev/null 2>"$work/hand.err" || status=$?
    [ "$status" -eq 1 ] && grep -q "^$message" "$work/hand.err" || fail "$name: exit $status, $(cat "$work/hand.err")"
done

# A job whose first bytes come through a pipe one at a time is still judged
# by its start.
status=0
{ head -c 1 "$job"; sleep 0.2; tail -c +2 "$job"; } | PPD="$ppd" "$filter" 1 user title 1 "" \
    >"$work/trickle.out" 2>"$work/trickle.err" || status=$?
[ "$status" -eq 0 ] && grep -aq '^%!PS-Adobe-3.0' "$work/trickle.out" ||
    fail "trickled job: exit $status, $(cat "$work/trickle.err")"

echo "cups_test: ${#matrix[@]} combinations, $failures failures"
[ "$failures" -eq 0 ]
