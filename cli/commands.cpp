#include "cli/commands.h"

#include <clocale>
#include <cstring>

#include "cli/command_support.h"
#include "cli/version.h"

namespace kelvora::cli {

const std::vector<Command>& CommandTable() {
  static const std::vector<Command> table = {
      {"convert", "convert temperature into blood flow (t2bf) or blood flow into temperature (bf2t)", RunConvert},
      {"filter", "filter a signal to a frequency band or by amplitude", RunFilter},
      {"spectrum", "print the band-limited spectrum of a signal", RunSpectrum},
      {"ppg", "turn a photoplethysmogram into a blood-flow curve (its pulse envelope)", RunPpg},
      {"analyze", "wavelet scalogram, time-averaged spectrum and band table of one or more records", RunAnalyze},
      {"coherence", "wavelet phase coherence of a T and a BF record, its significance, the lag and the depth",
       RunCoherence},
      {"export", "write a record read from any supported file as .txt, .csv or .edf", RunExport},
      {"markers", "list a record's protocol markers (file, sidecar, found occlusions)", RunMarkers},
      {"porh", "post-occlusive reactive hyperaemia of each occlusion of a flux record", RunPorh},
      {"heating", "local thermal hyperaemia of a heating phase of a flux record", RunHeating},
      {"study", "measures, summaries, rank tests and a report over the recordings of a manifest", RunStudy},
  };
  return table;
}

namespace {

std::string GlobalHelp() {
  std::string text =
      "usage: kelvora-cli COMMAND INPUT [options]\n"
      "       kelvora-cli --help | --version\n\n"
      "Skin microcirculation signals from the command line: spectra, band filtering and conversions of\n"
      "temperature (T) and blood-flow (BF) records kept as one-column text files or instrument files\n"
      "(delimited text, EDF, EDF+, BDF).\n\n"
      "Commands:\n";
  for (const Command& c : CommandTable()) {
    std::string name = c.name;
    text += "  " + name + std::string(name.size() < 10 ? 10 - name.size() : 1, ' ') + c.summary + "\n";
  }
  text += "\nCommon options:\n" + FormatOptionHelp(CommonOptionDefs());
  text += "\nReading options:\n" + FormatOptionHelp(ReadingOptionDefs());
  text +=
      "\nReading records: a .txt file without reading options is a one-column signal file at --fs, read as\n"
      "the desktop program reads it. A .csv or .tsv file, or any file with --column, --time-column,\n"
      "--skip-lines or --resample-to, is delimited text: separator, decimal mark, header lines, column\n"
      "names and the time column are detected from its first lines, and the options override them. A .edf,\n"
      ".bdf or .rec file, another file that begins as an EDF header, or another file with --channel is EDF,\n"
      "EDF+ or BDF. The rate comes from the time column (uniform within 1 %), the EDF header, or --fs; with\n"
      "--resample-to HZ each sample is the mean of the file samples it covers, the ratio a whole number.\n"
      "At most 20000 samples are kept, after resampling (analyze and coherence keep up to 2000000). When a\n"
      "command reads two records, --column and --channel may be given once for each, in their order.\n"
      "\nSignal files are read and written with the decimal separator of the locale (LC_NUMERIC); everything\n"
      "else is printed with '.'. Exit status: 0 success, 1 bad input, 2 bad usage.\n"
      "Each command has --help.\n";
  return text;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, CliContext& context) {
  if (args.empty()) return UsageError(context, "", "a command is needed");
  const std::string& first = args.front();
  if (first == "--help" || first == "-h" || first == "help") {
    context.out << GlobalHelp();
    return kExitSuccess;
  }
  if (first == "--version") {
    context.out << VersionText() << "\n";
    return kExitSuccess;
  }
  for (const Command& c : CommandTable())
    if (first == c.name) return c.run(std::vector<std::string>(args.begin() + 1, args.end()), context);
  return UsageError(context, "", "unknown command '" + first + "'");
}

DecimalFormat DecimalFormatFromLocale() {
  const std::lconv* conventions = std::localeconv();
  const char* point = conventions != nullptr ? conventions->decimal_point : nullptr;
  const char separator = point != nullptr && std::strlen(point) == 1 ? point[0] : '.';
  return DecimalFormat::ForSeparator(separator);
}

}  // namespace kelvora::cli
