#!/usr/bin/env bash
# The layers, read off the includes: a folder of src/ may include only the folders below it.
# Prints every include that reaches up or sideways, and fails on the first folder that has one.
set -u
src=${1:?usage: check-includes.sh SRC_DIR}

# folder: the folders it may include besides itself (Qt and the standard library always).
allowed() {
    case $1 in
    settings | shell | version | logging) echo "" ;;
    kinds) echo "settings" ;;
    params) echo "settings kinds" ;;
    link) echo "settings kinds" ;;
    execution) echo "settings kinds link shell" ;;
    calibration) echo "settings shell" ;;
    charts) echo "settings kinds params shell" ;;
    results) echo "settings kinds params" ;;
    import) echo "settings kinds results" ;;
    quality) echo "settings kinds results" ;;
    plant) echo "settings kinds params shell" ;;
    reports) echo "settings kinds params shell charts results" ;;
    diagnostics) echo "logging settings kinds results plant version" ;;
    station) echo "settings kinds params shell link execution calibration charts results import quality plant reports diagnostics version" ;;
    app) echo "logging settings kinds params shell link execution calibration charts results import quality plant reports diagnostics station version" ;;
    *) echo "?" ;;
    esac
}

status=0
for dir in "$src"/*/; do
    folder=$(basename "$dir")
    may=$(allowed "$folder")
    if [ "$may" = "?" ]; then
        echo "$folder: a folder the layers do not name"
        status=1
        continue
    fi
    while IFS= read -r line; do
        file=${line%%:*}
        target=$(sed -n 's/.*#include "\([a-z]*\)\/.*/\1/p' <<<"$line")
        [ -z "$target" ] || [ "$target" = "$folder" ] && continue
        case " $may " in
        *" $target "*) ;;
        *)
            echo "${file#"$src"/}: $folder includes $target"
            status=1
            ;;
        esac
    done < <(grep -H '^#include "[a-z]*/' "$dir"*.h "$dir"*.cpp 2>/dev/null)
done
exit $status
