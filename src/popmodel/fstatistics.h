// Allele frequencies from counts, and gene diversities with F'st.
#pragma once

namespace korvel {

void CALCULATE_AFREQS();
void CALCULATE_FST();

}  // namespace korvel
