#pragma once
// The PDF report of a study (Cairo): the summary and tests tables and box plots of each measure per band, in the
// words the caller gives.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/study.h"

namespace kelvora {

struct StudyReportTexts {
  std::string title;               // the first line, large
  std::vector<std::string> lines;  // the lines under it (program, counts, method)
  std::string summaryHeading, testsHeading;
  std::vector<std::string> summaryColumns;  // 10: group, condition, band, measure, n, median, q1, q3, mean, sd
  std::vector<std::string> testsColumns;    // 9: band, measure, comparison, test, n, statistic, p, p_holm, estimate
  std::string allLabel;                     // the box of rows without a group or condition
  std::string countLabel;                   // before a box's number of values ("n=")
  // The title of a measure's page of box plots (`banded`: the measure has bands, unlike the response measures);
  // the labels of a band, a measure, a comparison and a test (names of the tables). An empty function leaves a
  // name as it stands. UTF-8.
  std::function<std::string(const std::string& measure, bool banded)> measurePage;
  std::function<std::string(const std::string&)> band, measure, comparison, test;
};

// Writes the report to `path` whole or not at all; gives the reason of a failure. Long texts are cut at a
// character's boundary. Any thread.
std::optional<std::string> WriteStudyReport(const std::string& path, const StudyTables& tables,
                                            const StudyReportTexts& texts);

}  // namespace kelvora
