#!/usr/bin/env bash
# Writes vxhost's manual page (roff) from its own help: the usage of every
# command and each command's options, as `vxhost --help` and
# `vxhost COMMAND --help` print them, so the page cannot drift from them.
# Usage: packaging/manpage.sh VXHOST > vxhost.1
set -euo pipefail
vxhost=$1

# Roff-safe text: backslashes, hyphens and lines that start with a dot.
escape() { sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"; }

version=$("$vxhost" --version | awk '{print $2}')
commands=$("$vxhost" --help | awk '$1 == "vxhost" && $2 !~ /^-/ && $2 != "COMMAND" { print $2 }')

cat <<HEAD
.TH VXHOST 1 "" "vxhost $version" "User Commands"
.SH NAME
vxhost \\- render clips through the Vorlux video-effect operators and run their editors
.SH SYNOPSIS
.nf
HEAD
"$vxhost" --help | escape
cat <<'MIDDLE'
.fi
.SH DESCRIPTION
vxhost loads an operator plug-in and drives it as a video editor would:
it renders clips (YUV4MPEG2, PNG, or media files through FFmpeg's
libraries) and opens the operator's editor, headless from a script or in a
window. PLUGIN is a plug-in file, or the name of one installed with vxhost:
morph, draw, fx, warp, op (or VorluxMorph, VorluxDraw, VorluxFX,
VorluxWarp, VorluxOp).
.SH COMMANDS
MIDDLE
for c in $commands; do
  echo ".SS $c"
  echo ".nf"
  "$vxhost" "$c" --help | escape
  echo ".fi"
done
cat <<'TAIL'
.SH ENVIRONMENT
.TP
.B VXHOME
The root of the drive the operators see: effect files lie in
$VXHOME/programs/vorlux/, the saved settings of instances in
$VXHOME/vxhost/instances/.
.SH EXIT STATUS
0 done; 1 a render or an edit failed, or a worker of \-\-jobs failed or died;
2 bad arguments, unreadable input or a failed write; 128 + N ended by
signal N (141: the reader of the output pipe went away).
TAIL
