#!/usr/bin/env bash
# The CUPS driver through a real cupsd of the test's own (cupsd.sh): a queue
# made from the generated printer description, jobs submitted with lp, and
# what reached the queue's file compared with `qm22t run` of the same job and
# settings.
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

cupsd_start "$filter"
work=$CUPSD_DIR/work
mkdir -p "$work"
cupsd_queue q "$ppd"
# A failed job must not stop the queue: the next job prints.
lpadmin -p q -o printer-error-policy=abort-job

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

# Every keyword the plug-in's output invokes has the same values in the
# filter's; a keyword only the filter's has (an option the example job does
# not carry) has one value, so no block of the document kept a stale one.
compare_features() {
    local name=$1 windows=$2 cups=$3
    local keyword
    grep -q '^JOB-END$' "$cups" || fail "$name: Ghostscript did not finish the filter's output: $(head -3 "$cups")"
    grep -q '^PAGES 2$' "$cups" || fail "$name: the filter's output does not have the job's 2 pages"
    for keyword in $(sed -n 's/^\(ZT[A-Za-z0-9]*\)=.*/\1/p' "$windows" "$cups" | sort -u); do
        if grep -q "^$keyword=" "$windows"; then
            diff <(grep "^$keyword=" "$windows") <(grep "^$keyword=" "$cups") >/dev/null ||
                fail "$name: $keyword differs: $(grep "^$keyword=" "$windows" "$cups" | tr '\n' ' ')"
        elif [ "$(grep -c "^$keyword=" "$cups")" -ne 1 ]; then
            fail "$name: $keyword has several values: $(grep "^$keyword=" "$cups" | tr '\n' ' ')"
        fi
    done
}

# name | the job's options for lp (";" between them; "-n N" is the copies) |
# the same settings for qm22t run (--set each)
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
    "zoom|ZTManualZoom=ON;ZTZoomRate=150|ZTManualZoom=ON;ZTZoomRate=150"
    "job name|ZTJobName=True;ZTJobNameInfo=Custom.a(b)c\\d|ZTJobName=True;ZTJobNameInfo=a(b)c\\d"
    "owner|ZTOwnerName=True;ZTOwnerNameInfo=Zoë (Ü)|ZTOwnerName=True;ZTOwnerNameInfo=Zoë (Ü)"
    "comment|ZTJobComment=Custom.日本語 )(|ZTJobComment=日本語 )("
    "secret|ZTSecretNum=True;ZTSecretNumInfo=1234|ZTSecretNum=True;ZTSecretNumInfo=1234"
    "page lists|ZTPageTray=True;PageTrayTray1=1,3-5;PageTrayExternalFeeder=2|ZTPageTray=True;PageTrayTray1=1,3-5;PageTrayExternalFeeder=2"
    "gamma|ZTGCCyan=Custom.5;ZTImageShift=True;ZTImageShiftFrontV=-150|ZTGCCyan=5;ZTImageShift=True;ZTImageShiftFrontV=-150"
    "a3|media=A3|PaperNumber=8"
    "letter|PageSize=Letter;ZTOrientation=Landscape|PaperNumber=1;ZTOrientation=Landscape"
    "custom size|PageSize=Custom.200x300mm|PaperNumber=256;ZTPageSizeWidth=20000;ZTPageSizeHeight=30000"
    "grayscale|ZTOutputMode=Grayscale;MediaType=HC|ZTOutputMode=Grayscale;ZTMediaType=HC"
)
today=$(date +%F)
for row in "${matrix[@]}"; do
    IFS='|' read -r name lp_items run_items <<<"$row"
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
    if ! print_to q "$job" "$out.cups" -t "Matrix $name" ${lp_args[@]+"${lp_args[@]}"}; then
        fail "$name: the job did not complete"
        continue
    fi
    "$tool" run --document "Matrix $name" --user "$(id -un)" --date "$today" ${run_args[@]+"${run_args[@]}"} --out "$out.win" "$job" \
        2>"$out.run.err" || { fail "$name: qm22t run failed: $(cat "$out.run.err")"; continue; }
    diff <(header_of "$out.win") <(header_of "$out.cups") >"$out.header.diff" ||
        fail "$name: the PJL headers differ:"$'\n'"$(cat "$out.header.diff")"
    features_of "$out.win" >"$out.win.features"
    features_of "$out.cups" >"$out.cups.features"
    compare_features "$name" "$out.win.features" "$out.cups.features"
done

echo "cups_test: ${#matrix[@]} combinations, $failures failures"
[ "$failures" -eq 0 ]
