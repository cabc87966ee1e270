#!/usr/bin/env bash
# Writes the kelvora-cli(1) manual page from the tool's own --help texts, so that the page always lists the
# commands and options the installed binary has.
# Usage: tools/make_manpage.sh KELVORA_CLI OUTPUT_FILE.1
set -euo pipefail
cli=$1
out=$2
version=$("$cli" --version | head -n 1 | awk '{print $2}')

# Roff-escapes a line of help text: backslashes, and a leading dot or apostrophe.
escape() { sed -e 's/\\/\\e/g' -e "s/^\\([.']\\)/\\\\\\&\\1/" -e 's/-/\\-/g'; }

# One help text as roff: "usage:" lines as a synopsis, "Name:" headings as sub-sections, option lines
# (two leading blanks) as tagged paragraphs, other lines as running text.
section() {
  local mode=text
  while IFS= read -r line; do
    if [[ -z "$line" ]]; then
      echo ".PP"
      mode=text
      continue
    fi
    if [[ "$line" =~ ^(usage:|\ {7})\ *(kelvora-cli.*)$ ]]; then
      printf '.nf\n%s\n.fi\n' "$(printf '%s' "${BASH_REMATCH[2]}" | escape)"
    elif [[ "$line" =~ ^([A-Z][A-Za-z ]*):$ ]]; then
      printf '.SS "%s"\n' "${BASH_REMATCH[1]}"
      mode=options
    elif [[ $mode == options && "$line" =~ ^\ \ +(-[^ ].*[^ ]|[a-z]+)\ \ +(.*)$ ]]; then
      printf '.TP\n.B %s\n%s\n' "$(printf '%s' "${BASH_REMATCH[1]}" | escape)" \
        "$(printf '%s' "${BASH_REMATCH[2]}" | escape)"
    elif [[ $mode == options && "$line" =~ ^\ {6,}(.*)$ ]]; then
      printf '%s\n' "$(printf '%s' "${BASH_REMATCH[1]}" | escape)"
    else
      mode=text
      printf '%s\n' "$(printf '%s' "$line" | escape)"
    fi
  done
}

commands=$("$cli" --help | awk '/^Commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {on = 0}')
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
{
  printf '.TH KELVORA\\-CLI 1 "" "kelvora-cli %s" "User Commands"\n' "$version"
  printf '.SH NAME\nkelvora\\-cli \\- skin microcirculation signals from the command line\n'
  printf '.SH SYNOPSIS\n'
  "$cli" --help | section
  for c in $commands; do
    printf '.SH "COMMAND: %s"\n' "$(echo "$c" | tr a-z A-Z)"
    # The common and reading options repeat under every command; the synopsis section already lists them.
    "$cli" "$c" --help | awk '/^(Common|Reading) options:/ {skip = 1} /^$/ {skip = 0} !skip' | section
  done
  printf '.SH LICENCE\n'
  "$cli" --version | tail -n +2 | escape
} >"$tmp"
mv "$tmp" "$out"
