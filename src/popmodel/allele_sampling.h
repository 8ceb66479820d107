// SAMPLE_ALLELES: multinomial draws of gene copies from every population.
#pragma once

namespace korvel {

void SAMPLE_ALLELES();

}  // namespace korvel
