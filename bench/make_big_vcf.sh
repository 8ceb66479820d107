#!/usr/bin/env bash
# Writes a bgzipped VCF of SITES biallelic sites and SAMPLES diploid
# samples with random genotypes, for timing korvel-init on a large file.
# The file is made where it is needed and never committed.
#
#   bench/make_big_vcf.sh SITES SAMPLES OUT.vcf.gz
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: $0 SITES SAMPLES OUT.vcf.gz" >&2
  exit 2
fi
sites="$1" samples="$2" out="$3"
command -v bgzip >/dev/null || { echo "$0: bgzip (tabix package) is needed" >&2; exit 1; }

# A pool of random genotype columns; each site takes one at random, so the
# sites differ (and some come out monomorphic) at awk's speed.
awk -v sites="$sites" -v samples="$samples" 'BEGIN {
  srand(2026)
  OFS = "\t"
  print "##fileformat=VCFv4.2"
  print "##contig=<ID=chr1,length=" sites * 10 + 1000 ">"
  print "##FILTER=<ID=LowQual,Description=\"Low quality\">"
  print "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">"
  header = "#CHROM\tPOS\tID\tREF\tALT\tQUAL\tFILTER\tINFO\tFORMAT"
  for (s = 1; s <= samples; ++s) header = header "\tS" s
  print header
  split("0/0 0/1 1/1 ./.", call, " ")
  pool = 997
  for (p = 0; p < pool; ++p) {
    q = rand() * 0.5
    row = ""
    for (s = 1; s <= samples; ++s) {
      r = rand()
      g = r < 0.02 ? 4 : (r < (1 - q) * (1 - q) ? 1 : (r < 1 - q * q ? 2 : 3))
      row = row "\t" call[g]
    }
    rows[p] = row
  }
  for (i = 1; i <= sites; ++i) {
    print "chr1", i * 10, ".", "A", "G", ".", (i % 10 == 0 ? "LowQual" : "PASS"), ".", "GT" rows[int(rand() * pool)]
  }
}' | bgzip -c > "$out"
