# bash completion for daybridge-cli: its commands, each command's options, and the values
# those options take.
_daybridge_cli() {
  local cur prev command word
  cur=${COMP_WORDS[COMP_CWORD]}
  prev=${COMP_WORDS[COMP_CWORD-1]}
  local globals="--palm-file --user --quiet --verbose --help --version"

  case $prev in
    --palm-file)
      compopt -o filenames 2>/dev/null
      COMPREPLY=($(compgen -f -- "$cur"))
      return ;;
    --user|--from|--to)
      return ;;
    --direction)
      COMPREPLY=($(compgen -W "palm-to-outlook outlook-to-palm two-way" -- "$cur"))
      return ;;
    --conflict)
      COMPREPLY=($(compgen -W "ask palm outlook skip" -- "$cur"))
      return ;;
    --range)
      COMPREPLY=($(compgen -W "all today this-week this-month this-year" -- "$cur"))
      return ;;
  esac

  command=
  for word in "${COMP_WORDS[@]:1:COMP_CWORD-1}"; do
    case $word in
      status|list|sync|history) command=$word; break ;;
    esac
  done

  case $command in
    "")
      COMPREPLY=($(compgen -W "status list sync history $globals" -- "$cur")) ;;
    status)
      COMPREPLY=($(compgen -W "--json --track --no-track $globals" -- "$cur")) ;;
    history)
      COMPREPLY=($(compgen -W "--json $globals" -- "$cur")) ;;
    list)
      COMPREPLY=($(compgen -W "palm outlook --from --to --json $globals" -- "$cur")) ;;
    sync)
      COMPREPLY=($(compgen -W "--direction --range --conflict --dry-run --track --no-track --allow-mass-delete $globals" -- "$cur")) ;;
  esac
}
complete -F _daybridge_cli daybridge-cli
