#!/usr/bin/env bash
# Fails when a source file includes across a forbidden edge: a layer reaching up, the core
# reaching into a back end, a back end into another, or a third-party header outside the one
# back end that wraps it. The table below is the rule; README.md shows it as the layer table.
set -euo pipefail
cd "$(dirname "$0")/.."

# folder of the including file | project folders it may include (its own is always allowed)
# Longest folder first: a file belongs to the first row whose folder it lies in.
RULES=(
  "platform/posix|platform"
  "platform/win32|platform"
  "platform/native|platform platform/posix platform/win32"
  "platform|"
  "framework/headless|framework"
  "framework|"
  "util|framework platform"
  "sound|framework platform util"
  "http|framework platform util"
  "update/replacer|"
  "update|framework platform util http sound"
  "monitor|framework platform util sound http update"
  "ui/qt|framework platform"
  "app|framework framework/headless platform platform/native platform/posix util sound http update monitor ui/qt"
)

# third-party header prefix | the only folders that may include it
THIRD_PARTY=(
  "Q|ui/qt app"
  "curl/|platform/posix"
  "openssl/|platform/posix update"
  "SDL|platform/posix"
  "gio/|platform/posix"
  "glib|platform/posix"
  "windows.h|platform/win32 platform update update/replacer"
  "wininet.h|platform/win32"
  "bcrypt.h|update"
)

# The folder a project include names: the longest known folder it lies in.
FOLDERS=(platform/posix platform/win32 platform/native platform framework/headless framework util sound http update/replacer
         update monitor ui/qt app)
folder_of() {
  local path=$1 f
  for f in "${FOLDERS[@]}"; do
    [[ $path == "$f/"* ]] && { echo "$f"; return; }
  done
  echo ""
}

status=0
while IFS= read -r file; do
  home=$(folder_of "$file")
  [ -n "$home" ] || continue
  allowed=""
  for rule in "${RULES[@]}"; do
    [ "${rule%%|*}" = "$home" ] && { allowed="$home ${rule#*|}"; break; }
  done
  while IFS= read -r line; do
    if [[ $line =~ ^#include\ \"([^\"]+)\" ]]; then
      target=$(folder_of "${BASH_REMATCH[1]}")
      [ -n "$target" ] || continue
      ok=0
      for a in $allowed; do [ "$a" = "$target" ] && ok=1; done
      if [ $ok -eq 0 ]; then
        echo "$file: includes ${BASH_REMATCH[1]} ($home may not reach $target)"
        status=1
      fi
    elif [[ $line =~ ^#include\ \<([^\>]+)\> ]]; then
      header=${BASH_REMATCH[1]}
      for entry in "${THIRD_PARTY[@]}"; do
        prefix=${entry%%|*}
        [[ $header == "$prefix"* ]] || continue
        ok=0
        for a in ${entry#*|}; do [ "$a" = "$home" ] && ok=1; done
        if [ $ok -eq 0 ]; then
          echo "$file: includes <$header> (only ${entry#*|} may)"
          status=1
        fi
      done
    fi
  done < <(grep -E '^#include' "$file" || true)
done < <(git ls-files '*.cpp' '*.h' | grep -Ev '^(tests|bench)/')

[ $status -eq 0 ] && echo "== layers: every include keeps to its layer"
exit $status
