#!/bin/sh
# Runs zeltrim.yml, the playbook that drives the zeltrim.edit collection on this machine, against
# the program given, and checks every JSON report the program printed against the schema.
# Usage: run.sh ZELTRIM. Exit code 77 (a skip) where ansible-playbook is missing.
set -eu
if ! command -v ansible-playbook >/dev/null 2>&1; then
  echo "ansible-playbook is missing (Debian package ansible-core): the Ansible tests are skipped"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/work" "$scratch/reports"
# The module runs the program through this wrapper, which keeps a copy of each report.
cat >"$scratch/zeltrim" <<END
#!/bin/sh
"$program" "\$@" >"$scratch/reports/\$\$.json"
status=\$?
cat "$scratch/reports/\$\$.json"
exit \$status
END
chmod +x "$scratch/zeltrim"
export ANSIBLE_COLLECTIONS_PATH="$root/ansible" ANSIBLE_HOME="$scratch/home" \
  ANSIBLE_REMOTE_TEMP="$scratch/remote" ANSIBLE_NOCOLOR=1 ANSIBLE_PYTHON_INTERPRETER=auto_silent \
  ANSIBLE_LOCALHOST_WARNING=false
# The module's documentation renders, and says what it is not for.
ansible-doc zeltrim.edit.zeltrim | tr -s ' \n' '  ' >"$scratch/doc"
grep -q "Windows hosts need a PowerShell module, which this is not" "$scratch/doc" ||
  { echo "ansible-doc zeltrim.edit.zeltrim does not render the module's documentation"; exit 1; }
ansible-playbook -i localhost, -c local -e "{\"zeltrim\": \"$scratch/zeltrim\", \"work\": \"$scratch/work\"}" \
  "$here/zeltrim.yml"

# Every report the program printed holds to the schema (the check exits 77 without jsonschema).
for report in "$scratch"/reports/*.json; do
  python3 "$root/tests/e2e/validate_report.py" "$root/share/report.schema.json" <"$report" ||
    [ $? -eq 77 ] || { echo "$report does not hold to the schema"; exit 1; }
done
