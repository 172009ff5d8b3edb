#!/usr/bin/env bash
# Prepares an update for publishing: the SHA-256 digest of every file an update information
# file lists, and the Ed25519 signature of the information file. Pagewarden reads the file list
# exactly as this script does, so what it checks is what was signed.
set -euo pipefail
# Byte-wise patterns and ASCII-only case folding, as the program reads the file.
export LC_ALL=C

usage() {
  cat <<'EOF'
Usage:
  sign-update.sh keygen PRIVATE.pem PUBLIC.pem
      Makes an Ed25519 key pair. Keep PRIVATE.pem secret; build Pagewarden with
      -DPAGEWARDEN_UPDATE_PUBKEY=PUBLIC.pem.

  sign-update.sh [--insert] PRIVATE.pem INFO FOLDER
      Prints the "#sha256..." line of every file INFO lists, reading each file from FOLDER
      by the last part of its URL. With --insert the lines replace any "#sha256..." lines
      in INFO. Then, when INFO carries exactly these digests, writes its signature to
      INFO.sig; otherwise stops without signing (add the lines, or use --insert).

  sign-update.sh verify PUBLIC.pem INFO [FOLDER]
      Checks INFO.sig, and with FOLDER the digest of every listed file.

Upload INFO, INFO.sig and the files together; INFO.sig goes at INFO's URL followed by ".sig".
EOF
}

die() {
  echo "sign-update.sh: $*" >&2
  exit 1
}

need_file() {
  if [ ! -f "$1" ] || [ ! -r "$1" ]; then die "$2 '$1' is not a readable file"; fi
}

command -v openssl >/dev/null || die "openssl is not installed"

# The characters that end a plain value: every control character but NUL.
CONTROLS=$(printf '%b' '\001\002\003\004\005\006\007\010\011\012\013\014\015\016\017\020\021\022\023\024\025\026\027\030\031\032\033\034\035\036\037')

# info_value TEXT KEY: the value of KEY as Pagewarden reads it: the first occurrence of
# "KEY=" anywhere in TEXT, in any letter case, up to the first control character.
info_value() {
  local text=$1 needle="${2,,}="
  local lower=${text,,}
  local before=${lower%%"$needle"*}
  [ "$before" != "$lower" ] || return 0
  local rest=${text:${#before}+${#needle}}
  printf '%s' "${rest%%["$CONTROLS"]*}"
}

# has_key TEXT KEY: whether "KEY=" occurs in TEXT, in any letter case.
has_key() {
  local lower=${1,,}
  [[ $lower == *"${2,,}="* ]]
}

# Fills SUFFIXES and ITEMS with the files TEXT lists: "#url", "#url0", then "#url" numbered
# on from the count found so far, up to the first missing or empty one.
read_file_list() {
  local text=$1 suffix value n
  SUFFIXES=()
  ITEMS=()
  for suffix in "" 0; do
    value=$(info_value "$text" "#url$suffix")
    if [ -n "$value" ]; then
      SUFFIXES+=("$suffix")
      ITEMS+=("$value")
    fi
  done
  n=$((${#ITEMS[@]} + 1))
  while :; do
    value=$(info_value "$text" "#url$n")
    [ -n "$value" ] || break
    SUFFIXES+=("$n")
    ITEMS+=("$value")
    n=$((n + 1))
  done
}

# The local name of a listed item: its URL (before the first "=") after the last "/", "\" or
# ":", which is also the name the program saves it under when the item names no target.
local_name() {
  local url=${1%%=*}
  printf '%s' "${url##*[/\\:]}"
}

sha256_of() {
  local out
  out=$(openssl dgst -sha256 -r "$1") || die "cannot read '$1'"
  printf '%s' "${out%% *}"
}

read_info() {
  # A trailing "x" keeps the file's final line breaks, which command substitution would drop.
  INFO_TEXT=$(cat "$1" && printf x) || die "cannot read '$1'"
  INFO_TEXT=${INFO_TEXT%x}
}

# Fills DIGEST_LINES with one "#sha256...=hex" line per listed file, each file read from $1.
compute_digests() {
  local folder=$1 i name path
  DIGEST_LINES=()
  [ ${#ITEMS[@]} -gt 0 ] || die "'$INFO' lists no file (no \"#url=\" key)"
  for i in "${!ITEMS[@]}"; do
    name=$(local_name "${ITEMS[$i]}")
    [ -n "$name" ] || die "#url${SUFFIXES[$i]} (${ITEMS[$i]}) names no file"
    path="$folder/$name"
    [ -f "$path" ] || die "#url${SUFFIXES[$i]} lists '$name', but '$path' is not a file"
    DIGEST_LINES+=("#sha256${SUFFIXES[$i]}=$(sha256_of "$path")")
  done
}

# Whether INFO_TEXT gives every listed file the digest in DIGEST_LINES; names each that does not.
digests_in_info() {
  local i line key given ok=0
  for i in "${!DIGEST_LINES[@]}"; do
    line=${DIGEST_LINES[$i]}
    key=${line%%=*}
    given=$(info_value "$INFO_TEXT" "$key")
    if [ "${given,,}" != "${line#*=}" ]; then
      if has_key "$INFO_TEXT" "$key"; then
        echo "sign-update.sh: $key in '$INFO' is '$given', but the file's digest is ${line#*=}" >&2
      else
        echo "sign-update.sh: '$INFO' has no $key line" >&2
      fi
      ok=1
    fi
  done
  return $ok
}

# Rewrites INFO without its "#sha256...=" lines and with DIGEST_LINES at the end, in the line
# break style the file already uses.
insert_digests() {
  local eol=$'\n' kept="" line rest
  [[ $INFO_TEXT == *$'\r\n'* ]] && eol=$'\r\n'
  rest=$INFO_TEXT
  while [ -n "$rest" ]; do
    if [[ $rest == *$'\n'* ]]; then
      line=${rest%%$'\n'*}$'\n'
      rest=${rest#*$'\n'}
    else
      line=$rest
      rest=""
    fi
    shopt -s nocasematch
    if [[ $line =~ ^#sha256[0-9]*= ]]; then
      shopt -u nocasematch
      continue
    fi
    shopt -u nocasematch
    kept+=$line
  done
  [ -z "$kept" ] || [[ $kept == *$'\n' ]] || kept+=$eol
  for line in "${DIGEST_LINES[@]}"; do kept+=$line$eol; done
  local tmp="$INFO.tmp.$$"
  printf '%s' "$kept" >"$tmp" || die "cannot write '$tmp'"
  mv -f "$tmp" "$INFO" || die "cannot replace '$INFO'"
  INFO_TEXT=$kept
}

cmd_keygen() {
  [ $# -eq 2 ] || { usage >&2; exit 2; }
  local private=$1 public=$2
  [ ! -e "$private" ] || die "'$private' exists: not overwriting a key"
  [ ! -e "$public" ] || die "'$public' exists: not overwriting a key"
  (umask 077 && openssl genpkey -algorithm ed25519 -out "$private") ||
    die "could not make the private key"
  openssl pkey -in "$private" -pubout -out "$public" || die "could not write the public key"
  echo "private key: $private (keep it secret, never publish it)"
  echo "public key:  $public (build with -DPAGEWARDEN_UPDATE_PUBKEY=$public)"
}

cmd_sign() {
  local insert=0
  if [ "${1:-}" = "--insert" ]; then
    insert=1
    shift
  fi
  [ $# -eq 3 ] || { usage >&2; exit 2; }
  local key=$1 folder=$3
  INFO=$2
  need_file "$key" "private key"
  need_file "$INFO" "information file"
  [ -d "$folder" ] || die "folder '$folder' does not exist"
  # Checked first, so that a wrong key leaves INFO as it was.
  local described
  described=$(openssl pkey -in "$key" -noout -text 2>/dev/null) || described=""
  [[ $described == "ED25519 Private-Key"* ]] ||
    die "'$key' is not an Ed25519 private key (make one with: sign-update.sh keygen)"

  read_info "$INFO"
  read_file_list "$INFO_TEXT"
  compute_digests "$folder"
  [ $insert -eq 0 ] || insert_digests
  printf '%s\n' "${DIGEST_LINES[@]}"
  digests_in_info ||
    die "'$INFO' not signed: put the lines above into it (or use --insert), then run again"

  openssl pkeyutl -sign -rawin -inkey "$key" -in "$INFO" -out "$INFO.sig.tmp.$$" ||
    { rm -f "$INFO.sig.tmp.$$"; die "could not sign '$INFO' with '$key'"; }
  mv -f "$INFO.sig.tmp.$$" "$INFO.sig"
  echo "signed: $INFO.sig" >&2
}

cmd_verify() {
  [ $# -eq 2 ] || [ $# -eq 3 ] || { usage >&2; exit 2; }
  local public=$1
  INFO=$2
  need_file "$public" "public key"
  need_file "$INFO" "information file"
  need_file "$INFO.sig" "signature"
  # The program takes the signature raw (64 bytes) or in base64; so does this check.
  local sig="$INFO.sig" raw="$INFO.sig.raw.$$"
  if [ "$(wc -c <"$sig")" -ne 64 ]; then
    tr -d ' \t\r\n' <"$sig" | openssl base64 -d -A >"$raw" 2>/dev/null || true
    sig=$raw
  fi
  local verified=0
  openssl pkeyutl -verify -pubin -inkey "$public" -rawin -in "$INFO" -sigfile "$sig" \
    >/dev/null 2>&1 || verified=1
  rm -f "$raw"
  [ $verified -eq 0 ] || die "the signature $INFO.sig does not match '$INFO' and '$public'"
  echo "signature: good"
  [ $# -eq 3 ] || return 0
  read_info "$INFO"
  read_file_list "$INFO_TEXT"
  compute_digests "$3"
  digests_in_info || die "the digests in '$INFO' do not match the files in '$3'"
  echo "digests: all ${#DIGEST_LINES[@]} match"
}

case "${1:-}" in
  keygen) shift; cmd_keygen "$@" ;;
  verify) shift; cmd_verify "$@" ;;
  -h | --help | help) usage ;;
  "") usage >&2; exit 2 ;;
  *) cmd_sign "$@" ;;
esac
