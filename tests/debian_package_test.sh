#!/usr/bin/env bash
# What the build's Debian package holds and depends on:
#   - its name, the program's version and this machine's architecture;
#   - Depends: the C and C++ runtimes that dpkg-shlibdeps found for the
#     program, and Python with every module outside its standard library
#     that the fleet tool imports, nothing else;
#   - a program that needs no library beyond those runtimes;
#   - exactly the program, the fleet tool (its package and the trace page's
#     style sheet and script in /usr/share/ovantrex), the manual, the docs
#     and the shells' completions, owned by root, each as in the source or
#     the build.
# Installing it on a clean system is tests/package_test.sh.
#
#   debian_package_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail

if (($# != 2)); then
  echo "usage: $0 BUILD_DIR SOURCE_DIR" >&2
  exit 2
fi
build=$1
source=$2
shopt -s nullglob
debs=("$build"/ovantrex_*.deb)
if ((${#debs[@]} != 1)); then
  echo "FAIL: ${#debs[@]} packages ovantrex_*.deb in $build, not one (cpack --preset package makes it)" >&2
  exit 1
fi
deb=${debs[0]}
work=$(mktemp -d "${TMPDIR:-/tmp}/ovantrex-deb.XXXXXX")
trap 'rm -rf -- "$work"' EXIT

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

field() { dpkg-deb --field "$deb" "$1"; }
[[ $(field Package) == ovantrex ]] || fail "Package: $(field Package), not ovantrex"
version=$("$build/ovantrex" --version)
[[ "ovantrex $(field Version)" == "$version" ]] ||
  fail "Version: $(field Version), but the program says '$version'"
[[ $(field Architecture) == "$(dpkg --print-architecture)" ]] ||
  fail "Architecture: $(field Architecture), not $(dpkg --print-architecture)"

# The names in Depends, without their versions. libgcc-s1 is GCC's
# unwinder, which libstdc++6 itself depends on.
depends=$(field Depends | tr ',' '\n' | sed 's/^ *//; s/ *(.*//' | sort | tr '\n' ' ')
expected="libc6 libgcc-s1 libstdc++6 python3 python3-cloudpickle python3-distributed python3-tqdm "
[[ $depends == "$expected" ]] || fail "Depends names '$depends', not '$expected'"
# Each module that the fleet tool imports from outside the standard library
# is a dependency, as Debian names its package: a new import cannot be
# forgotten here.
modules=$(python3 - "$source/tools/ovantrex-fleet" "$source"/tools/ovantrex_fleet/*.py <<'EOF'
import ast, sys
names = set()
for path in sys.argv[1:]:
    tree = ast.parse(open(path, encoding="utf-8").read())
    for node in ast.walk(tree):
        if isinstance(node, ast.Import):
            names.update(alias.name.split(".")[0] for alias in node.names)
        elif isinstance(node, ast.ImportFrom) and node.level == 0:
            names.add(node.module.split(".")[0])
# The tool's own package is installed with it.
print(" ".join(sorted(names - set(sys.stdlib_module_names) - {"ovantrex_fleet"})))
EOF
)
[[ -n $modules ]] || fail "found no module of the fleet tool outside the standard library"
for module in $modules; do
  [[ " $depends" == *" python3-$module "* ]] ||
    fail "the fleet tool imports $module, and python3-$module is no dependency"
done

dpkg-deb --extract "$deb" "$work/root"
root=$work/root
needed=$(objdump -p "$root/usr/bin/ovantrex" | awk '$1 == "NEEDED" { print $2 }')
[[ -n $needed ]] || fail "objdump found no library that the program needs"
for library in $needed; do
  case $library in
    libc.so.6 | libm.so.6 | libstdc++.so.6 | libgcc_s.so.1) ;;
    *) fail "the program needs $library, beyond the C and C++ runtimes" ;;
  esac
done

# The files, exactly.
files=$(cd "$root" && find . ! -type d | sort | tr '\n' ' ')
package_files=$(cd "$source/tools" && printf './usr/share/ovantrex/%s ' ovantrex_fleet/*.py)
expected="./usr/bin/ovantrex ./usr/bin/ovantrex-fleet \
./usr/share/bash-completion/completions/ovantrex ./usr/share/doc/ovantrex/README.md \
./usr/share/doc/ovantrex/fleet.md ./usr/share/doc/ovantrex/json.md \
./usr/share/doc/ovantrex/ovantrex.schema.json \
./usr/share/fish/vendor_completions.d/ovantrex.fish ./usr/share/man/man1/ovantrex.1 \
${package_files}./usr/share/ovantrex/report.css ./usr/share/ovantrex/report.js \
./usr/share/zsh/vendor-completions/_ovantrex "
[[ $files == "$expected" ]] || fail "the package holds '$files', not '$expected'"
owners=$(dpkg-deb --contents "$deb" | awk '$2 != "root/root"')
[[ -z $owners ]] || fail "files not owned by root: $owners"
for file in usr/bin/ovantrex usr/bin/ovantrex-fleet; do
  [[ -x $root/$file ]] || fail "$file is not executable"
done
for pair in usr/bin/ovantrex-fleet=tools/ovantrex-fleet usr/share/man/man1/ovantrex.1=ovantrex.1 \
  usr/share/doc/ovantrex/README.md=README.md usr/share/doc/ovantrex/fleet.md=docs/fleet.md \
  usr/share/doc/ovantrex/json.md=docs/json.md \
  usr/share/doc/ovantrex/ovantrex.schema.json=docs/ovantrex.schema.json \
  usr/share/ovantrex/report.css=src/output/html/report.css \
  usr/share/ovantrex/report.js=src/output/html/report.js \
  $(cd "$source/tools" && for file in ovantrex_fleet/*.py; do
    echo "usr/share/ovantrex/$file=tools/$file"
  done); do
  [[ ! -f $root/${pair%%=*} ]] || cmp -s "$root/${pair%%=*}" "$source/${pair#*=}" ||
    fail "${pair%%=*} differs from ${pair#*=}"
done
# The shells' completions, as the build made them from the table of options.
for pair in bash-completion/completions/ovantrex=ovantrex zsh/vendor-completions/_ovantrex=_ovantrex \
  fish/vendor_completions.d/ovantrex.fish=ovantrex.fish; do
  [[ ! -f $root/usr/share/${pair%%=*} ]] ||
    cmp -s "$root/usr/share/${pair%%=*}" "$build/completions/${pair#*=}" ||
    fail "usr/share/${pair%%=*} differs from the build's completions/${pair#*=}"
done

((failures == 0)) || exit 1
echo "the Debian package holds the program, the fleet tool, the manual, the docs and the completions, and depends on: ${depends% }"
