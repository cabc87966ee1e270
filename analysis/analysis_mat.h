#pragma once
// The MATLAB variables of an analysis (band table, spectrum, scalogram) and of a coherence run (band table,
// curves). A value that may be empty is written as 0 beside a 0/1 column "<name>_valid", so that no NaN reaches
// the file; tables are structs of columns, one row per band, texts as character matrices.
#include <string>
#include <utility>
#include <vector>

#include "analysis/phase_coherence.h"
#include "analysis/record_analysis.h"
#include "formats/mat_file.h"

namespace kelvora {

// `bands`: a struct of columns file, band (char rows), low_hz, high_hz, amplitude, power, rel_amplitude,
// rel_power (each with *_valid), coverage, note (char rows: noteTexts[i] for the i-th row), over the tables of
// every file in order. Pure.
MatValue BandTableMat(const std::vector<std::pair<std::string, const BandTable*>>& tables,
                      const std::vector<std::string>& noteTexts);

// `spectrum`: a struct of frequency_hz, amplitude, power, valid_samples (amplitude and power 0 where
// valid_samples is 0). Pure.
MatValue SpectrumMat(const AnalysisResult& result);

// The scalogram variables: scalogram_amplitude (frequencies x columns, the block means of |W|),
// scalogram_valid (1 where the column lies inside the cone of influence), scalogram_frequency_hz (column
// vector, increasing) and scalogram_time_s (row vector, the columns' centre times). Nothing for an empty
// picture. Pure.
std::vector<MatValue> ScalogramMat(const AnalysisResult& result);

// `coherence_bands`: band (char rows), low_hz, high_hz, coherence, threshold, significant_share, lag_s,
// depth_mm, depth_amp_mm (each optional one with *_valid); `coherence_curves`: frequency_hz, coherence, threshold, lag_s,
// depth_mm (with *_valid) and significant (0/1). Pure.
std::vector<MatValue> CoherenceMat(const CoherenceResult& result);

}  // namespace kelvora
