// kelvora-cli markers: the protocol markers of a record, from its file, its sidecar and the occlusion finder.
#include "analysis/occlusion_finder.h"
#include "cli/command_support.h"
#include "cli/marker_cli.h"
#include "core/text_helpers.h"
#include "formats/marker_file.h"

namespace kelvora::cli {
namespace {

const char* kName = "markers";

std::vector<OptionDef> MarkersOptions() {
  std::vector<OptionDef> options = MarkerSourceOptionDefs();
  const std::vector<OptionDef> finder = OcclusionFinderOptionDefs();
  options.insert(options.end(), finder.begin(), finder.end());
  options.push_back({"save-sidecar", 0, "", "also save the markers listed as RECORD.markers.csv beside the record"});
  return options;
}

}  // namespace

int RunMarkers(const std::vector<std::string>& args, CliContext& context) {
  CommandLine line;
  if (const auto done = ParseCommandLine(args, context, kName, MarkersOptions(),
        "markers INPUT [reading options] [--markers FILE] [--marker-column NAME|N] [--find-occlusions "
        "[--occlusion-below PCT] [--occlusion-min S] [--occlusion-gap S]] [--save-sidecar] [-o FILE.csv]",
        "The protocol markers of a record, sorted by time, as CSV lines time_s,duration_s,label,source (seconds\n"
        "from the record's first sample; source edf, column, labchart, sidecar or found): the annotations of an\n"
        "EDF+ or BDF+ file, the text cells of a marker column of a delimited file, and the sidecar file (--markers\n"
        "FILE, else RECORD.markers.csv beside the record), whose lines are time_s,label[,duration_s].\n"
        "--find-occlusions adds the occlusions of a flux record: every stretch of at least --occlusion-min seconds\n"
        "in which the flux stays below --occlusion-below % of its median over the first 60 s (stretches less than\n"
        "--occlusion-gap seconds apart joined) gives the markers 'occlusion K' at its start and 'recovery K' at\n"
        "its end (source found). The listing reads back as a sidecar.",
        line))
    return *done;
  const ParsedArgs& parsed = line.parsed;
  const std::string& path = parsed.positionals.front();
  OcclusionFinderOptions finder;
  if (const auto error = ReadOcclusionFinderOptions(parsed, line.options.sampleRateHz, finder))
    return UsageError(context, kName, *error);
  int status = kExitSuccess;
  InputDetails details;
  const std::optional<SignalRecord> record = LoadInput(context, line.options, path, false, status, &details);
  if (!record) return status;
  std::optional<std::vector<Marker>> markers = GatherMarkers(context, line.options, parsed, path, details, status);
  if (!markers) return status;
  if (parsed.has("find-occlusions")) {
    finder.sampleRateHz = line.options.sampleRateHz;
    const auto found = FindRecordOcclusions(context, path, *record, finder, status);
    if (!found) return status;
    const StudyProtocolNames names = ProtocolNames();
    const std::vector<Marker> more = OcclusionMarkers(*found, names.occlusion, names.recovery);
    markers->insert(markers->end(), more.begin(), more.end());
    *markers = SortedByTime(std::move(*markers));
  }
  std::string text = "time_s,duration_s,label,source\n";
  for (const Marker& marker : *markers) text += MarkerListLine(marker) + "\n";
  if (parsed.has("save-sidecar")) {
    if (const auto error = WriteMarkerSidecar(MarkerSidecarPath(path), *markers))
      return InputError(context, MarkerFileErrorText(*error));
  }
  return EmitText(context, line.options, text);
}

}  // namespace kelvora::cli
