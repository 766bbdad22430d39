#!/bin/sh
# Installs the zeltrim.edit collection from the archive the build made beside ZELTRIM (as an
# administrator would), runs zeltrim.yml, the playbook that drives it on this machine, against the
# program given, and checks every JSON report the program printed against the schema.
# Usage: run.sh ZELTRIM. Exit code 77 (a skip) where ansible-playbook is missing.
set -eu
if ! command -v ansible-playbook >/dev/null 2>&1; then
  echo "ansible-playbook is missing (Debian package ansible-core): the Ansible tests are skipped"
  exit 77
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$(dirname "$here")")
program=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
archive=$(ls "$(dirname "$program")"/zeltrim-edit-*.tar.gz) ||
  { echo "no collection archive beside $program: build the target collection"; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/work" "$scratch/reports"
# The module runs the program through this wrapper, which keeps a copy of each report (and needs
# no PATH: one task runs it as the only zeltrim there).
cat >"$scratch/zeltrim" <<END
#!/bin/sh
"$program" "\$@" >"$scratch/reports/\$\$.json"
status=\$?
$(command -v cat) "$scratch/reports/\$\$.json"
exit \$status
END
chmod +x "$scratch/zeltrim"
export ANSIBLE_COLLECTIONS_PATH="$scratch/collections" ANSIBLE_HOME="$scratch/home" \
  ANSIBLE_REMOTE_TEMP="$scratch/remote" ANSIBLE_NOCOLOR=1 ANSIBLE_PYTHON_INTERPRETER=auto_silent \
  ANSIBLE_LOCALHOST_WARNING=false
ansible-galaxy collection install -p "$ANSIBLE_COLLECTIONS_PATH" "$archive" >/dev/null
# Whether the archive carries a program (a build that makes no static one gives none).
carried=$([ -x "$ANSIBLE_COLLECTIONS_PATH/ansible_collections/zeltrim/edit/files/zeltrim" ] &&
  echo true || echo false)
# The module's documentation renders (ansible-doc fails where it does not parse).
ansible-doc zeltrim.edit.zeltrim >/dev/null
ansible-playbook -i localhost, -c local -e "{\"zeltrim\": \"$scratch/zeltrim\", \"work\": \"$scratch/work\",
  \"root\": \"$root\", \"carried\": $carried}" "$here/zeltrim.yml"

# Every report the program printed holds to the schema (the check exits 77 without jsonschema).
for report in "$scratch"/reports/*.json; do
  python3 "$root/tests/e2e/validate_report.py" "$root/share/report.schema.json" <"$report" ||
    [ $? -eq 77 ] || { echo "$report does not hold to the schema"; exit 1; }
done
