# bash completion for corvina, hhc and hh: commands, options, site folders and .chm files.
# Installed once per program name, so that bash-completion loads it for any of the three.

# Folders, then files whose name ends in .chm (any case).
_corvina_chm_files() {
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY+=($(compgen -d -- "$1") $(compgen -f -X '!*.[cC][hH][mM]' -- "$1"))
}

_corvina_folders() {
  compopt -o filenames 2>/dev/null
  local IFS=$'\n'
  COMPREPLY+=($(compgen -d -- "$1"))
}

_corvina() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  COMPREPLY=()
  # "--diagnostics=g": bash splits the word at "=".
  if [[ $cur == = && $prev == --diagnostics ]]; then cur= prev=--diagnostics; fi
  if [[ $prev == = && ${COMP_WORDS[COMP_CWORD-2]} == --diagnostics ]]; then prev=--diagnostics; fi
  if ((COMP_CWORD == 1)); then
    COMPREPLY=($(compgen -W 'setup compile decompile settings --help --version' -- "$cur"))
    return
  fi
  local command=${COMP_WORDS[1]}
  case $prev in
    -o | --output) _corvina_chm_files "$cur"; return ;;
    --workshop) _corvina_folders "$cur"; return ;;
    --diagnostics) COMPREPLY=($(compgen -W 'gnu hhc' -- "$cur")); return ;;
    --title | --default-page) return ;;
  esac
  local compile_options='-o --output --title --default-page --index --no-index --favorites
    --no-favorites --open --no-open --keep-log --no-keep-log'
  local options
  case $command in
    setup) options='--workshop' ;;
    compile) options="$compile_options -y --yes -n --no -q --quiet --diagnostics= -v --verbose" ;;
    settings) options="$compile_options --save-to-site --reset" ;;
    decompile) options='--to-site -y --yes -n --no -q --quiet --diagnostics= -v --verbose' ;;
    *) return ;;
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
    [[ ${COMPREPLY[*]} == *= ]] && compopt -o nospace 2>/dev/null
    return
  fi
  # The arguments before this one that are not options or their values.
  local i positional=0
  for ((i = 2; i < COMP_CWORD; i++)); do
    case ${COMP_WORDS[i]} in
      -o | --output | --title | --default-page | --workshop | --diagnostics) ((i++)) ;;
      -* | =) ;;
      *) [[ ${COMP_WORDS[i-1]} == = ]] || ((positional++)) ;;
    esac
  done
  case $command in
    compile | settings) ((positional == 0)) && _corvina_folders "$cur" ;;
    decompile)
      if ((positional == 0)); then
        _corvina_chm_files "$cur"
      elif ((positional == 1)); then
        _corvina_folders "$cur"
      fi
      ;;
  esac
}

_corvina_hhc() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
  COMPREPLY=()
  if [[ $prev == --engine ]]; then
    COMPREPLY=($(compgen -W 'chmcmd native' -- "$cur"))
  elif [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '--engine --help --version' -- "$cur"))
  else
    compopt -o filenames 2>/dev/null
    local IFS=$'\n'
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}

_corvina_hh() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  COMPREPLY=()
  if ((COMP_CWORD == 1)) && [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W '-decompile -options --help --version' -- "$cur"))
  elif ((COMP_CWORD == 2)) && [[ ${COMP_WORDS[1]} == -decompile ]]; then
    _corvina_folders "$cur"
  else
    _corvina_chm_files "$cur"
  fi
}

complete -F _corvina corvina
complete -F _corvina_hhc hhc
complete -F _corvina_hh hh
