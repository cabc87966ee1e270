#pragma once
// The PDF report of a study (Cairo): the summary and tests tables and box plots of each measure per band.
#include <optional>
#include <string>

#include "analysis/study.h"

namespace kelvora::cli {

struct StudyReportInfo {
  std::string title;        // the manifest's name
  int recordings = 0;       // results in the tables
  int failed = 0;           // recordings without a result
  std::string settingsJson;
};

// Writes the report to `path` whole or not at all; gives the reason of a failure.
std::optional<std::string> WriteStudyReport(const std::string& path, const StudyTables& tables,
                                            const StudyReportInfo& info);

}  // namespace kelvora::cli
