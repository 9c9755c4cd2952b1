# Bash completion for orvo-cli, loamer-cli and make-depth-map (installed once
# under each name). The words come from the tools' own --help, so they stay
# true to the installed version: the subcommands of each level, the options
# of the command being typed, a positional's fixed choices; anything else
# completes as a file name.

# The first words of the lines of one section ("Subcommands:", "Options:",
# "Positionals:") of a --help text.
_orvo_tools_section() { # HELP SECTION
  printf '%s\n' "$1" | sed -n "/^$2:\$/,/^\$/p" | sed -n 's/^  \([^ ][^ ]*\).*/\1/p'
}

_orvo_tools() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=""
  [ "$COMP_CWORD" -gt 0 ] && prev=${COMP_WORDS[COMP_CWORD - 1]}
  local prog=${COMP_WORDS[0]} help word i
  local -a path=()
  local positionals=0  # words typed after the last subcommand that are not options
  COMPREPLY=()
  help=$("$prog" --help 2>/dev/null) || return 0
  # Go down through the subcommands already typed.
  for ((i = 1; i < COMP_CWORD; i++)); do
    word=${COMP_WORDS[i]}
    if _orvo_tools_section "$help" Subcommands | grep -qxF -- "$word"; then
      path+=("$word")
      help=$("$prog" "${path[@]}" --help 2>/dev/null) || return 0
      positionals=0
    elif [[ $word != -* ]]; then
      positionals=$((positionals + 1))
    fi
  done

  # The value of an option that takes one (TEXT, INT, FLOAT): a file name
  # for text, nothing to offer for a number.
  if [[ $prev == -* ]]; then
    local line
    line=$(printf '%s\n' "$help" | sed -n '/^Options:$/,/^$/p' | grep -E -- "^  (-[^ ,]+,)*${prev}( |$)" | head -n 1)
    case $line in
      *" TEXT"*) compopt -o filenames 2>/dev/null; COMPREPLY=($(compgen -f -- "$cur")); return 0 ;;
      *" INT"* | *" FLOAT"* | *" UINT"*) return 0 ;;
    esac
  fi

  local words
  if [[ $cur == -* ]]; then
    words=$(_orvo_tools_section "$help" Options | tr ',' '\n')
  else
    words=$(_orvo_tools_section "$help" Subcommands)
    # The first positional's fixed choices, as in "ACTION TEXT:{pack,list,extract}".
    [ "$positionals" -eq 0 ] && words+=" "$(printf '%s\n' "$help" | sed -n '/^Positionals:$/,/^$/s/.*:{\([^}]*\)}.*/\1/p' | tr ',' ' ')
  fi
  COMPREPLY=($(compgen -W "$words" -- "$cur"))
  if [ ${#COMPREPLY[@]} -eq 0 ] && [[ $cur != -* ]]; then
    compopt -o filenames 2>/dev/null
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
  return 0
}

complete -F _orvo_tools orvo-cli loamer-cli make-depth-map
