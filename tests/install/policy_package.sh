#!/bin/sh
# The package's administrators' defaults: every policy value of the template is written by one
# component, under the machine's policy key, only when the silent install gives its property (the
# value's name in capitals); the template itself is installed. Usage: policy_package.sh MSI SOURCE
set -eu
msi=$1 source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && msiinfo export "$msi" Component | tr -d '\r' > component.idt && msiinfo export "$msi" Registry | tr -d '\r' > registry.idt)
grep -o 'valueName="[A-Za-z]*"' "$source/installer/policy/kestrine.admx" | cut -d'"' -f2 | sort > "$work/described"
awk -F'\t' '$3 == "Software\\Policies\\Kestrine" { print $4 "\t" $6 }' "$work/registry.idt" | sort > "$work/written"
cut -f1 "$work/written" > "$work/names"
if ! cmp -s "$work/described" "$work/names"; then
    echo "values the package writes differ from the template's:"; diff "$work/described" "$work/names"; exit 1
fi
status=0
while IFS="$(printf '\t')" read -r name component; do
    property=$(echo "$name" | tr '[:lower:]' '[:upper:]')
    condition=$(awk -F'\t' -v c="$component" '$1 == c { print $5 }' "$work/component.idt")
    [ "$condition" = "$property" ] || { echo "$name: written under condition '$condition', not $property"; status=1; }
    grep -q "\[$property\]" "$work/registry.idt" || { echo "$name: not the value of [$property]"; status=1; }
done < "$work/written"
for file in kestrine.admx kestrine.adml; do
    msiinfo export "$msi" File | tr -d '\r' | cut -f3 | grep -qx "$file" || { echo "$file is not in the package"; status=1; }
done
[ $status -eq 0 ] && echo "policy_package: $(wc -l < "$work/written") values, each only when given"
exit $status
