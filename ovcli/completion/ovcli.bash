# bash completion for ovcli. Made by `ovcli completion bash` from its commands;
# install as /usr/share/bash-completion/completions/ovcli.
_ovcli() {
    local cur=${COMP_WORDS[COMP_CWORD]} path= word i commands= options=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        case "$path/$word" in
            "/pack"|"/unpack"|"/shp"|"/sample-game"|"/hog"|"/stats"|"/ship"|"/weapons"|"/model"|"/convert"|"/3ds"|"/temp-files"|"/completion"|"shp/blocks"|"shp/sample"|"hog/list"|"hog/extract"|"hog/unpack"|"hog/cat"|"hog/backup-fat"|"hog/restore-fat"|"hog/paste"|"hog/set-entry"|"hog/create"|"hog/add"|"hog/replace"|"hog/rename"|"hog/delete"|"hog/edit"|"stats/list"|"stats/get"|"stats/set"|"stats/import"|"stats/add"|"stats/ensure-default"|"stats/revert"|"stats/switch-off"|"stats/restore"|"ship/class"|"ship/cloak"|"weapons/types"|"weapons/list"|"weapons/set"|"weapons/restore"|"model/info"|"model/check"|"model/save"|"model/merge"|"model/delete-component"|"model/attach"|"model/detach"|"model/set-class"|"model/block13"|"model/export"|"model/import"|"3ds/dump"|"completion/bash"|"completion/commands") path=${path:+$path }$word ;;
        esac
    done
    case "$path" in
        "")
            commands="pack unpack shp sample-game hog stats ship weapons model convert 3ds temp-files completion"
            options="--help -h --version" ;;
        "pack")
            options="--help -h --level --force --dry-run --json" ;;
        "unpack")
            options="--help -h --force --dry-run --json" ;;
        "shp")
            commands="blocks sample"
            options="--help -h" ;;
        "shp blocks")
            options="--help -h --json" ;;
        "shp sample")
            options="--help -h --force --dry-run" ;;
        "sample-game")
            options="--help -h --force --dry-run" ;;
        "hog")
            commands="list extract unpack cat backup-fat restore-fat paste set-entry create add replace rename delete edit"
            options="--help -h" ;;
        "hog list")
            options="--help -h --json" ;;
        "hog extract")
            options="--help -h --all --overwrite --dry-run --json" ;;
        "hog unpack")
            options="--help -h --all --overwrite --dry-run --json --if-not-packed" ;;
        "hog cat")
            options="--help -h --unpack --force" ;;
        "hog backup-fat")
            options="--help -h --overwrite --dry-run --json" ;;
        "hog restore-fat")
            options="--help -h --yes -y --dry-run --json" ;;
        "hog paste")
            options="--help -h --dry-run --json" ;;
        "hog set-entry")
            options="--help -h --name --offset --size --dry-run --json" ;;
        "hog create")
            options="--help -h --force --dry-run --json --base --pack --level" ;;
        "hog add")
            options="--help -h --as --base --dry-run --json --pack --level --help -h --yes -y --no" ;;
        "hog replace")
            options="--help -h --dry-run --json --pack --level --help -h --yes -y --no" ;;
        "hog rename")
            options="--help -h --dry-run --json --help -h --yes -y --no" ;;
        "hog delete")
            options="--help -h --dry-run --json --help -h --yes -y --no" ;;
        "hog edit")
            options="--help -h --script --dry-run --json --level --help -h --yes -y --no" ;;
        "stats")
            commands="list get set import add ensure-default revert switch-off restore"
            options="--help -h" ;;
        "stats list")
            options="--help -h --editor-dir --json" ;;
        "stats get")
            options="--help -h --editor-dir --json" ;;
        "stats set")
            options="--help -h --editor-dir --dry-run --json" ;;
        "stats import")
            options="--help -h --editor-dir --dry-run --json" ;;
        "stats add")
            options="--help -h --model --tiger-model --editor-dir --dry-run --json" ;;
        "stats ensure-default")
            options="--help -h --dry-run --json" ;;
        "stats revert")
            options="--help -h --editor-dir --dry-run --json" ;;
        "stats switch-off")
            options="--help -h --editor-dir --yes -y --dry-run --json" ;;
        "stats restore")
            options="--help -h --table --swapped --yes -y --dry-run" ;;
        "ship")
            commands="class cloak"
            options="--help -h" ;;
        "ship class")
            options="--help -h --json" ;;
        "ship cloak")
            options="--help -h --on --off --toggle --output -o --editor-dir --dry-run --force --json" ;;
        "weapons")
            commands="types list set restore"
            options="--help -h" ;;
        "weapons types")
            options="--help -h --json" ;;
        "weapons list")
            options="--help -h --editor-dir --json" ;;
        "weapons set")
            options="--help -h --points --editor-dir --dry-run --json --help -h --gun --ext-gun --missile" ;;
        "weapons restore")
            options="--help -h --editor-dir --dry-run --json" ;;
        "model")
            commands="info check save merge delete-component attach detach set-class block13 export import"
            options="--help -h" ;;
        "model info")
            options="--help -h --json" ;;
        "model check")
            options="--help -h --json" ;;
        "model save")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model merge")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model delete-component")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model attach")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model detach")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model set-class")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model block13")
            options="--help -h --output -o --dry-run --force --json" ;;
        "model export")
            options="--help -h --force --dry-run --json" ;;
        "model import")
            options="--help -h --texture --force --dry-run --json" ;;
        "convert")
            options="--help -h --library --force --dry-run --json" ;;
        "3ds")
            commands="dump"
            options="--help -h" ;;
        "3ds dump")
            options="--help -h --unknown --hex --no-detail-heads" ;;
        "temp-files")
            options="--help -h --recursive -r --remove" ;;
        "completion")
            commands="bash commands"
            options="--help -h" ;;
        "completion bash")
            options="--help -h" ;;
        "completion commands")
            options="--help -h" ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
    elif [[ -n $commands ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$commands" -- "$cur")
    else
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}
complete -o filenames -o bashdefault -F _ovcli ovcli
