#!/bin/sh
# `hostsim install` under valgrind's memcheck, inside the sandbox: one run with a package of
# every family the shipped default host serves (controller firmware, Brocade, Emulex CNA and
# FC, QLogic, Broadcom, LSI), then a hypervisor bundle. Fails on any invalid access or
# definitely lost block, and on a package that does not install.
#   usage: memcheck_install.sh VALGRIND HOSTSIM SUPPRESSIONS
# The fast clock is preloaded here: `hostsim --fast` would otherwise restart itself through
# /proc/self/exe, which under valgrind names valgrind's own tool.
set -eu
valgrind=$1 hostsim=$2 suppressions=$3
pkgs=/tmp/pkgs
mkdir -p "$pkgs"

property() { # NAME TYPE VALUE
    printf '    <PROPERTY NAME="%s" TYPE="%s">\n      <VALUE>%s</VALUE>\n    </PROPERTY>\n' "$1" "$2" "$3"
}

descriptor() { # ID NAME CATEGORY PAYLOAD
    {
        printf '<?xml version="1.0" encoding="UTF-8"?>\n<CIM CIMVERSION="2.0" DTDVERSION="2.0">\n'
        printf '  <INSTANCE CLASSNAME="XORVO_SoftwarePackage">\n'
        property Name string "$2"
        property type uint16 1
        property category string "$3"
        property identificationCode string "ZELK_$1"
        property payload string "$4"
        printf '  </INSTANCE>\n</CIM>\n'
    } >"$pkgs/$1.xml"
    uris="${uris:+$uris|}file://$pkgs/$1.xml"
}

adapter() { # ID NAME CATEGORY FILE APPLICABILITY: an archive with image/payload.xml
    work=$(mktemp -d)
    mkdir -p "$work/image" "$work/$(dirname "$4")"
    echo "firmware image $4" >"$work/$4"
    printf '<?xml version="1.0" encoding="UTF-8"?>\n<updateConfiguration>\n  <payload>%s\n    <applicability type="DFN">%s</applicability>\n  </payload>\n</updateConfiguration>\n' \
        "$4" "$5" >"$work/image/payload.xml"
    (cd "$work" && minizip -o "$pkgs/$1.zip" image/payload.xml "$4" >/dev/null)
    rm -r "$work"
    descriptor "$1" "$2" "$3" "$1.zip"
}

archive() { # ID NAME CATEGORY: an archive handed whole to the vendor
    work=$(mktemp -d)
    mkdir -p "$work/fw"
    echo image >"$work/fw/$1.img"
    (cd "$work" && minizip -o "$pkgs/$1.zip" "fw/$1.img" >/dev/null)
    rm -r "$work"
    descriptor "$1" "$2" "$3" "$1.zip"
}

firmware() { # ID CATEGORY: a controller firmware image
    echo "firmware image $1" >"$pkgs/$1.bin"
    descriptor "$1" "System $2 firmware" "$2" "$1.bin"
}

uris=
adapter brcd "Brocade 825 FC HBA firmware" Fibre brocade/bfa825.bin Brocade-825
adapter cna "Emulex OneConnect CNA firmware" Network emulex/oce11102.ufi OCe11102
adapter fc "Emulex LPe12002 FC HBA firmware" Fibre emulex/lpe12002.grp LPe12002
adapter qlgc "QLogic QLE2562 FC HBA firmware" Fibre qlogic/qle2562.bin QLE2562
archive nic "Broadcom NetXtreme II firmware" Network
archive sas "SAS HBA firmware" SAS
firmware uefi UEFI
firmware vxc VXC

memcheck() {
    LD_PRELOAD=/usr/lib/cim/libfastclock.so "$valgrind" --tool=memcheck --leak-check=full \
        --errors-for-leak-kinds=definite --show-leak-kinds=definite --error-exitcode=86 \
        --vgdb=no --suppressions="$suppressions" "$hostsim" --fast install "$1"
}

status=0
memcheck "$uris" || status=$?
if [ "$status" -ne 0 ]; then
    echo "memcheck_install: the run of every family ended with $status (86: memcheck errors)" >&2
    exit 1
fi
memcheck "ftp://depot.example/bundles/esxi-8.0u2/" || status=$?
if [ "$status" -ne 0 ]; then
    echo "memcheck_install: the bundle run ended with $status (86: memcheck errors)" >&2
    exit 1
fi
