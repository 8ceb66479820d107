// The program-wide tables and values that several subsystems share.
//
// They live for the whole program, start at zero (static storage) and are
// never freed. Every table has exactly the capacity of the build's profile
// and is indexed from 1, as the procedures that fill and read them count;
// slot 0 of each dimension is present but unused.
#pragma once

#include <array>

#include "common/capacity.h"
#include "common/number_types.h"
#include "common/text_file.h"

namespace korvel {

// Frequencies of the alleles of one locus (double), and of every locus.
using AFREQS = std::array<double, MAX_ALLELES + 1>;
using POP_ARRAY = std::array<AFREQS, MAX_LOCI + 1>;
using POP1 = std::array<POP_ARRAY, MAX_POPS + 1>;
// Allele counts (16-bit) of one locus, of every locus, of every population.
using AFREQS2 = std::array<INT16, MAX_ALLELES + 1>;
using POP_ARRAY2 = std::array<AFREQS2, MAX_LOCI + 1>;
using POP2 = std::array<POP_ARRAY2, MAX_POPS + 1>;
using ALLELE_ARRAY = std::array<INT16, MAX_LOCI + 1>;
using TYPE2 = std::array<INT16, MAX_POPS + 1>;

extern POP_ARRAY BASEPOP;     // base-population allele frequencies
extern POP1 ALL_POPS_AFREQ;   // current frequencies of every subpopulation
extern POP2 ALL_POPS_ACOUNT;  // allele counts of the last sampling
extern ALLELE_ARRAY ALLELES_PER_LOCUS;
extern ALLELE_ARRAY FIXED_LOCUS;  // 1 when monomorphic in the run's pooled samples
extern TYPE2 SAMPLESIZE;
extern TYPE2 NUMB_DIPLOIDS_TO_SAMPLE;

extern INT16 NUMBLOCI;
extern INT16 NUMBPOPS;
extern INT16 DRIFT_SIZE;
extern INT16 STOP_T;
extern INT16 T;  // generations of drift made in the run
extern INT32 RUN;
extern INT32 STOP_RUNS;
extern INT32 TOTALSAMPLESIZE;
extern INT16 J;  // the locus in hand in the per-locus loop
extern INT16 STARTNUMBALLELES;

extern EXTENDED HT;
extern EXTENDED HS;
extern EXTENDED FSTPRIME;
extern INT16 NUMB_NONFIXED_LOCI;

extern INT16 RUN_CHI2;  // a test is on when its switch equals 1
extern INT16 RUN_FISHER;
extern INT32 ITER1;  // exact test: dememorization steps
extern INT32 ITER2;  // exact test: batches
extern INT32 ITER3;  // exact test: steps per batch

// Significance counters: runs per class and significant runs per test.
extern INT32 NUMBR1, R1CHI2, R1GEXACT;
extern INT32 NUMBR2, R2CHI2, R2GEXACT;
extern INT32 NUMBR3, R3CHI2, R3GEXACT;
extern INT32 NUMBTOT, TOTCHI2, TOTGEXACT;

extern EXTENDED SUM_FST;
extern EXTENDED SUM_HT;
extern EXTENDED SUM_HS;

// Text-file variables, each bound to one file for the whole program. The
// contingency-table file CONTTAB.XYZ, rewritten for every tested locus, has
// a writer of its own (tests/conttab_handoff.h).
extern TextOut OUT1;   // KORVEL.OUT
extern TextOut OUT5;   // FST.OUT
extern TextOut OUT6;   // SUBPOPS.OUT
extern TextOut OUT7;   // SAMPLES.OUT
extern TextOut OUT8;   // LOCUSTST.OUT
extern TextOut OUT10;  // SUMTEST.OUT

inline bool TEST_IS_ON(INT16 switch_value) { return switch_value == 1; }

}  // namespace korvel
