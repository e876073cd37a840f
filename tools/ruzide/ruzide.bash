# Bash completion for ruzide: commands, settings and store verbs, schemas, roots, and
# setting names as `ruzide settings list` names them. Installed into
# share/bash-completion/completions.
# The schemas: the library's two and every installed one.
_ruzide_schemas() {
  ruzide settings list 2>/dev/null | awk 'NR > 1 { print $1 }' | sort -u
}
_ruzide() {
  local cur=${COMP_WORDS[COMP_CWORD]} words
  case $COMP_CWORD in
    1) words="settings languages reg store --help --version" ;;
    2) case ${COMP_WORDS[1]} in
         settings) words="list get set reset describe --json --help" ;;
         reg) words="query add delete export import copy compare" ;;
         store) words="check backup restore" ;;
       esac ;;
    *) if [[ ${COMP_WORDS[1]} == store ]]; then
         if (( COMP_CWORD == 3 )); then words="HKCU HKLM"
         else compopt -o default; words=; [[ ${COMP_WORDS[2]} == backup ]] && words="/y"; fi
       elif [[ ${COMP_WORDS[1]} == settings ]]; then
         case ${COMP_WORDS[2]} in
           list) words="$(_ruzide_schemas) --json" ;;
           reset) if [[ ${COMP_WORDS[COMP_CWORD-1]} == --all ]]; then words=$(_ruzide_schemas)
                  elif (( COMP_CWORD == 3 )); then
                    words="--all $(ruzide settings list 2>/dev/null | awk 'NR > 1 { print $2 }')"
                  fi ;;
           get|set|describe) (( COMP_CWORD == 3 )) &&
             words=$(ruzide settings list 2>/dev/null | awk 'NR > 1 { print $2 }') ;;
         esac
       fi ;;
  esac
  COMPREPLY=($(compgen -W "$words" -- "$cur"))
}
complete -F _ruzide ruzide
