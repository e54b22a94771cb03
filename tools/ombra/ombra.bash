# bash completion for ombra                                  -*- shell-script -*-
# Commands, options, writer names, encodings, and the setting names that
# `ombra plugins` lists (for --set).

_ombra_settings()
{
    ombra plugins --locale en 2>/dev/null |
        sed -n 's/^    \( *\)\([^ ][^:]*\): .*/\2/p' | sed 's/ (.*//' | sort -u
}

# Without the bash-completion package, plain file names stand in for _filedir.
declare -F _filedir >/dev/null ||
    _filedir() { COMPREPLY=($(compgen $([[ $1 == -d ]] && echo -d || echo -f) -- "$cur")); }

_ombra()
{
    local cur prev words cword
    if declare -F _init_completion >/dev/null; then
        _init_completion -n = || return
    else
        words=("${COMP_WORDS[@]}") cword=$COMP_CWORD
        cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    fi

    local commands="convert dump formats plugins help"
    local command="" w
    for w in "${words[@]:1:cword-1}"; do
        case $w in
            convert|dump|formats|plugins|help) command=$w; break ;;
        esac
    done

    case $prev in
        -o|--output) _filedir; return ;;
        --outdir|--readers|--writers) _filedir -d; return ;;
        -t|--to|--writer) COMPREPLY=($(compgen -W "text json html pandoc docx odt epub epub2 markdown md gfm commonmark rst latex rtf asciidoc org mediawiki docbook jats fb2 texinfo pptx html5 plain textile tei context" -- "$cur")); return ;;
        --encoding)
            COMPREPLY=($(compgen -W "utf8 utf16 default cp1250 cp1251 cp1252 cp1253 cp1254
                cp1255 cp1256 cp1257 cp1258 cp874 shift_jis gbk cp949 big5 euc-jp euc-kr
                gb18030 iso-8859-1 iso-8859-2 iso-8859-5 iso-8859-7 iso-8859-15 koi8-r koi8-u
                macroman ascii" -- "$cur")); return ;;
        --eol) COMPREPLY=($(compgen -W "lf crlf cr native platform" -- "$cur")); return ;;
        --unit) COMPREPLY=($(compgen -W "inches points twips" -- "$cur")); return ;;
        --locale) COMPREPLY=($(compgen -W "en ja" -- "$cur")); return ;;
        -j|--jobs|--wrap|--style-tags|--page-breaks|--timeout|--max-memory|--shard) return ;;
        --set)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(_ombra_settings | sed 's/$/=/')" -- "$cur"))
            compopt -o nospace
            return ;;
    esac

    if [[ -z $command ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W "--help --version" -- "$cur"))
        else
            COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        fi
        return
    fi

    local common="--readers --writers --no-default-plugins --locale --help"
    case $command in
        convert)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "$common --output --outdir --to
                --writer --encoding --eol --unit --style-tags --page-breaks --hidden --wrap
                --squeeze --set --metadata --strict --report --jobs --timeout --max-memory --shard
                --skip-existing --keep-folders --verbose --quiet" -- "$cur")) ||
                _filedir ;;
        dump)
            [[ $cur == -* ]] && COMPREPLY=($(compgen -W "$common --output --outdir --set
                --strict --timeout --max-memory --verbose --quiet" -- "$cur")) || _filedir ;;
        formats|plugins)
            COMPREPLY=($(compgen -W "$common" -- "$cur")) ;;
        help)
            COMPREPLY=($(compgen -W "convert dump formats plugins" -- "$cur")) ;;
    esac
}
complete -F _ombra ombra
