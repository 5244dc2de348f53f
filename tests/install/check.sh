#!/bin/sh
# Checks the files that `cmake --install` puts on the desktop and in the manual: any remark of
# desktop-file-validate, appstreamcli or groff (warnings all on) fails the check.
set -u
src=$1
failed=0
say() {
  [ -z "$2" ] && return
  printf '%s:\n%s\n' "$1" "$2"
  failed=1
}
say vantel.desktop "$(desktop-file-validate "$src/app/resources/vantel.desktop" 2>&1)"
out=$(appstreamcli validate --no-net --explain "$src/app/resources/org.vantel.Vantel.metainfo.xml" 2>&1) ||
  say org.vantel.Vantel.metainfo.xml "$out"
for page in app/vantel.1 tools/pdu/vantel-pdu.1 tools/phonesim/vantel-phonesim.1; do
  say "$page" "$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 \
    man --warnings -E UTF-8 -l -Tutf8 -Z "$src/$page" 2>&1 >/dev/null)"
done
exit $failed
