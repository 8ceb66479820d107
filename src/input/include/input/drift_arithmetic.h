// Drift arithmetic shared by the program's final results and the tools.
#pragma once

#include "common/number_types.h"

namespace korvel {

// Expected F'st after t generations of drift in populations of N diploids:
// 1 - (1 - 1/(2N))^t, the loss of heterozygosity, evaluated in extended
// precision in this order: X = 1 - 1/(2N); X = t ln X; X = e^X; 1 - X.
// It is 0 for t = 0.
EXTENDED EXPECTED_FST(int drift_size, int generations);

// The whole number of generations whose expected F'st is nearest the target
// on the generation scale: t = ln(1 - F) / ln(1 - 1/(2N)), rounded to
// nearest, at least 1. Throws std::invalid_argument (with a message for the
// user) for N outside 1..MAX_DIPLOIDS, a target outside (0, 1), or a t
// beyond MAX_GENERATIONS.
int GENERATIONS_FOR_FST(EXTENDED target_fst, int drift_size);

}  // namespace korvel
