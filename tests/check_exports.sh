#!/bin/sh
# The provider exports exactly the names the broker and the job library look up, unmangled,
# and carries its own C++ runtime.
set -eu
lib=$1
expected="GetFileLocation
QEL_VMWarePackageInstallationProviderCleanup
QEL_VMWarePackageInstallationProviderCreateInstance
QEL_VMWarePackageInstallationProviderDeleteInstance
QEL_VMWarePackageInstallationProviderEnumInstanceNames
QEL_VMWarePackageInstallationProviderEnumInstances
QEL_VMWarePackageInstallationProviderExecQuery
QEL_VMWarePackageInstallationProviderGetInstance
QEL_VMWarePackageInstallationProviderInit
QEL_VMWarePackageInstallationProviderInvokeMethod
QEL_VMWarePackageInstallationProviderMethodCleanup
QEL_VMWarePackageInstallationProviderModifyInstance
QEL_VMWarePackageInstallationProvider_Create_InstanceMI
QEL_VMWarePackageInstallationProvider_Create_MethodMI
SetFileLocation
ZELKStatusCleanup
_ZELKClassName
_ZELKNameSpace
_ZELKSuperClassName
debug
getZELKStatus
invoke_client
is_VXC_updated"
# Sanitizer runtimes add their own hooks; only the provider's names are compared.
actual=$(nm -D --defined-only "$lib" | awk '{print $3}' | grep -v '^__\(asan\|ubsan\|tsan\|sanitizer\)' |
    grep -v '^_\(init\|fini\|edata\|end\|_bss_start\)$' | LC_ALL=C sort)
if [ "$actual" != "$expected" ]; then
    echo "exported symbols differ from the expected list:" >&2
    diff -u /dev/stdin <<EOF2 - || true
$expected
EOF2
    printf '%s\n' "$actual" >&2
    exit 1
fi
if objdump -p "$lib" | grep -q 'NEEDED.*libstdc++' && ! objdump -p "$lib" | grep -q 'NEEDED.*lib[at]san'; then
    echo "$lib needs a shared libstdc++" >&2
    exit 1
fi
echo "exports ok: $(printf '%s\n' "$actual" | wc -l) symbols"
