#pragma once
// Fuzzes kelvora-cli's argument parsing in-process. The input is the argument list, arguments separated by NUL
// bytes (at most 24 of at most 200 bytes each). The commands run in a private folder holding small input files
// (t.txt: a temperature record, k.txt: one in kelvin, bf.txt: a blood-flow record, p.txt: a PPG); arguments
// holding a '/' are refused so nothing outside that folder is read or written. After every run the folder must
// hold exactly its input files again plus, when the command succeeded, its --output file: a failed command
// writes nothing and no temporary file is ever left.
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "fuzz/fuzz_check.h"

namespace kelvora::fuzz {

namespace fs = std::filesystem;

// The input files and their texts.
inline std::map<std::string, std::string>& InputTexts() {
  static std::map<std::string, std::string> texts;
  return texts;
}

inline bool IsInput(const std::string& name) { return InputTexts().count(name) != 0; }

inline void WriteFile(const std::string& name, const std::string& text) {
  std::ofstream(name, std::ios::binary) << text;
}

// Enters the private folder, creating it with its input files on the first call.
inline void EnterWorkFolder() {
  static std::string folder;
  if (!folder.empty()) {
    fs::current_path(folder);
    return;
  }
  char pattern[] = "/tmp/kelvora-cli-fuzz-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) std::abort();
  folder = pattern;
  fs::current_path(folder);
  std::string t, k, bf, p = "PPG 50 Hz\n";
  for (int i = 0; i < 40; ++i) {
    const double x = std::sin(i * 0.4);
    t += std::to_string(33.0 + x) + "\n";
    k += std::to_string(306.15 + x) + "\n";
    bf += std::to_string(10.0 + 3.0 * std::cos(i * 0.3)) + "\n";
  }
  for (int i = 0; i < 600; ++i) p += std::to_string(std::sin(i * 0.3) + 0.001 * i) + "\n";
  InputTexts() = {{"t.txt", t}, {"k.txt", k}, {"bf.txt", bf}, {"p.txt", p}};
  for (const auto& [name, text] : InputTexts()) WriteFile(name, text);
}

// Runs one input; gives the failed check, or an empty text when every check held.
inline std::string RunCliArgsInput(const std::uint8_t* data, std::size_t size) {
  EnterWorkFolder();
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '/') return {};
    if (c == '\0') {
      if (args.size() == 24) return {};
      args.emplace_back();
    } else {
      if (args.back().size() == 200) return {};
      args.back() += c;
    }
  }
  if (size == 0) args.clear();
  // Arguments are what is fuzzed, not the cost of the work they ask for: a number beyond 100 (a sample rate of
  // 100,000 Hz, an output rate of 320 Hz over a long PPG) asks for legitimately long work, so it is left out; so
  // does, for analyze, a number below 0.005 (an --fmin that pads the transform to millions of samples) or more
  // than 32 voices per octave (thousands of transform rows).
  const bool analyze = !args.empty() && args.front() == "analyze";
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    double number = 0.0;
    const auto [ptr, ec] = std::from_chars(a.data(), a.data() + a.size(), number);
    if (ptr == a.data() + a.size() && !a.empty() && (ec != std::errc() || !(std::fabs(number) <= 100.0))) return {};
    if (analyze && ptr == a.data() + a.size() && !a.empty() && number != 0.0 && std::fabs(number) < 0.005) return {};
    const std::string voices = a == "--voices" && i + 1 < args.size() ? args[i + 1]
                               : a.rfind("--voices=", 0) == 0     ? a.substr(9)
                                                                  : std::string();
    double count = 0.0;
    std::from_chars(voices.data(), voices.data() + voices.size(), count);
    if (analyze && count > 32.0) return {};
  }

  std::ostringstream out, err;
  kelvora::cli::CliContext context{out, err, kelvora::DecimalFormat::ForSeparator('.')};
  const int status = kelvora::cli::RunCli(args, context);
  Check(status == 0 || status == 1 || status == 2);
  Check(status == 0 || !err.str().empty());

  // Only the input files, and after a success the --output file, may be in the folder; analyze writes its
  // --table, --spectrum and --scalogram files also when some of its inputs were bad (status 1).
  std::set<std::string> allowed;
  std::vector<std::string> outputOptions;
  if (status == 0) outputOptions = {"-o", "--output"};
  if (analyze && (status == 0 || status == 1))
    outputOptions.insert(outputOptions.end(), {"--table", "--spectrum", "--scalogram"});
  for (const std::string& option : outputOptions) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i] == option && i + 1 < args.size()) allowed.insert(args[i + 1]);
      if (args[i].rfind(option + "=", 0) == 0) allowed.insert(args[i].substr(option.size() + 1));
    }
  }
  std::vector<fs::path> extra;
  for (const fs::directory_entry& entry : fs::directory_iterator(fs::current_path())) {
    const std::string name = entry.path().filename().string();
    if (IsInput(name)) continue;
    Check(allowed.count(name) != 0);
    extra.push_back(entry.path());
  }
  for (const fs::path& p : extra) fs::remove_all(p);
  // An input the command wrote its output over is put back.
  for (const auto& [name, text] : InputTexts())
    if (allowed.count(name) != 0) WriteFile(name, text);
  return {};
}

}  // namespace kelvora::fuzz
