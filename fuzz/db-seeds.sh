#!/usr/bin/env bash
# Remakes the seed files of the database target with the project's own writer:
#   fuzz/db-seeds.sh build
# small.mdb: the directory's six tables, NULL and empty text; generated.mdb: a generated
# directory of 10 lawyers; memo.mdb: long values on one page and over a chain of pages;
# types.mdb, edited.mdb, other-password.mdb, other-writers.mdb: see fuzz/db_seeds.cpp;
# access-*.mdb: files Access wrote, from tests/jet/samples. The damaged files kept under
# crashes/db (one fault each) come from `fuzz_db_seeds --damaged fuzz/crashes/db`.
set -euo pipefail
build=$(realpath "$1")
lssdb=$build/tools/lssdb
out=$(cd "$(dirname "$0")" && pwd)/corpus/db
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"
mkdir csv
printf 'l_id,l_realName,l_sex,l_province,l_city,l_address,l_domain\n1,张三,男,北京,北京,北京市朝阳区建国路88号,税务\n2,"",,上海,,,\n' >csv/lawyer.csv
printf 'lr_Name,lr_director\nA所,王五\n' >csv/lawRoom.csv
printf 'h_name,h_address\n陈大文,香港中环\n' >csv/Hongkong.csv
printf 'hl_name,hl_copartner\nX,Y\n' >csv/HongkongLawyerInfo.csv
printf 'mc_name,mc_date,mc_reg_date\n黄一,1999-12-20,2001-01-02 10:20:30\n' >csv/Macao.csv
printf 'tw_name\n林三\n' >csv/Taiwan.csv
"$lssdb" build "$out/small.mdb" csv
"$lssdb" generate "$out/generated.mdb" --lawyers 10 --seed 2
{
  echo 'h_name,h_address'
  printf 'A,'; printf '长%.0s' $(seq 1500); echo
  printf 'B,'; printf 'x%.0s' $(seq 3000); echo
} >csv/Hongkong.csv
"$lssdb" build "$out/memo.mdb" csv
"$build/fuzz/fuzz_db_seeds" "$out"
# Two files Access wrote (its catalog, system tables and long values as Access keeps them).
cp "$out/../../../tests/jet/samples/V2000-empty.mdb" "$out/access-2000.mdb"
cp "$out/../../../tests/jet/samples/V2003-numeric.mdb" "$out/access-2003.mdb"
chmod 644 "$out"/access-*.mdb
