# bash completion for pictora-cli
_pictora_cli() {
    local cur prev command
    COMPREPLY=()
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    if [ "$COMP_CWORD" -eq 1 ]; then
        COMPREPLY=($(compgen -W "scan image devices help --help" -- "$cur"))
        return
    fi
    command=${COMP_WORDS[1]}
    case "$prev" in
        --bad-sectors) COMPREPLY=($(compgen -W "ask retry skip" -- "$cur")); return ;;
        --overwrite) COMPREPLY=($(compgen -W "ask yes no" -- "$cur")); return ;;
        --file-system) COMPREPLY=($(compgen -W "auto off" -- "$cur")); return ;;
        --types)
            local typed=${cur##*,}
            COMPREPLY=($(compgen -P "${cur%"$typed"}" -W "all CR2 CRW RAF MRW NEF PEF ORF X3F SR2 ERF DNG RAW MEF DCR WAV MP3 WMA MIDI AIFF OGG AU RM MOV AVI MPEG MP4 VOB 3G2 MKV DIVX DV ASF M4V BMP JPEG PNG GIF TIFF JP2 PSP PSD HEIC WEBP CR3 ARW RW2 FLAC M4A 3GP WEBM MTS" -- "$typed"))
            return ;;
        --save) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --range|--max-size) return ;;
        --signatures) COMPREPLY=($(compgen -W "extended standard" -- "$cur")); return ;;
    esac
    if [[ $cur == -* ]]; then
        case "$command" in
            scan) COMPREPLY=($(compgen -W "--range --types --max-size --signatures --file-system --list --bad-sectors --save --overwrite --help" -- "$cur")) ;;
            image) COMPREPLY=($(compgen -W "--range --multifile --bad-sectors --help" -- "$cur")) ;;
            devices) COMPREPLY=($(compgen -W "--json --help" -- "$cur")) ;;
        esac
        return
    fi
    case "$command" in
        scan|image) COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -o filenames -F _pictora_cli pictora-cli
