// MATLAB files through MATIO.
#include "formats/mat_file.h"

#include <matio.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <istream>
#include <memory>
#include <limits>
#include <map>
#include <mutex>

#include "core/atomic_file.h"

namespace kelvora {
namespace {

// MATIO keeps global state (its log function) and HDF5 is not thread-safe: one call at a time.
std::mutex& MatioMutex() {
  static std::mutex mutex;
  return mutex;
}

void QuietLog(int, char*) {}

// Under the lock: MATIO's messages are not printed (the errors are returned instead).
void InitMatio() {
  static bool done = false;
  if (done) return;
  Mat_LogInitFunc("kelvora", QuietLog);
  done = true;
}

struct MatCloser {
  mat_t* mat;
  ~MatCloser() {
    if (mat) Mat_Close(mat);
  }
};

struct VarFree {
  void operator()(matvar_t* v) const {
    if (v) Mat_VarFree(v);
  }
};
using VarPtr = std::unique_ptr<matvar_t, VarFree>;

const char* ClassName(matio_classes c) {
  switch (c) {
    case MAT_C_EMPTY: return "empty";
    case MAT_C_CELL: return "cell";
    case MAT_C_STRUCT: return "struct";
    case MAT_C_OBJECT: return "object";
    case MAT_C_CHAR: return "char";
    case MAT_C_SPARSE: return "sparse";
    case MAT_C_DOUBLE: return "double";
    case MAT_C_SINGLE: return "single";
    case MAT_C_INT8: return "int8";
    case MAT_C_UINT8: return "uint8";
    case MAT_C_INT16: return "int16";
    case MAT_C_UINT16: return "uint16";
    case MAT_C_INT32: return "int32";
    case MAT_C_UINT32: return "uint32";
    case MAT_C_INT64: return "int64";
    case MAT_C_UINT64: return "uint64";
    case MAT_C_FUNCTION: return "function";
    case MAT_C_OPAQUE: return "opaque";
  }
  return "unknown";
}

// Bytes of one element of a numeric class; 0 for the others.
int NumericSize(matio_classes c) {
  switch (c) {
    case MAT_C_DOUBLE: case MAT_C_INT64: case MAT_C_UINT64: return 8;
    case MAT_C_SINGLE: case MAT_C_INT32: case MAT_C_UINT32: return 4;
    case MAT_C_INT16: case MAT_C_UINT16: return 2;
    case MAT_C_INT8: case MAT_C_UINT8: return 1;
    default: return 0;
  }
}

// Elements of a variable; -1 when the count overflows or a rank is unusable.
long long ElementCount(const matvar_t* v) {
  if (!v || v->rank < 0 || (v->rank > 0 && !v->dims)) return -1;
  long long n = 1;
  for (int i = 0; i < v->rank; ++i) {
    const std::size_t d = v->dims[i];
    if (d != 0 && static_cast<unsigned long long>(n) > static_cast<unsigned long long>(std::numeric_limits<long long>::max()) / d)
      return -1;
    n *= static_cast<long long>(d);
  }
  return n;
}

RecordFileError MakeError(RecordFileErrorKind kind, const std::string& path) {
  RecordFileError e;
  e.kind = kind;
  e.path = path;
  return e;
}

// The values of a real numeric variable read with its data, as doubles; false when the data is not all there.
bool NumericValues(const matvar_t* v, std::vector<double>& out) {
  const int size = NumericSize(v->class_type);
  const long long n = ElementCount(v);
  if (size == 0 || n < 0 || v->isComplex || v->class_type == MAT_C_SPARSE) return false;
  if (n == 0) {
    out.clear();
    return true;
  }
  if (!v->data || v->data_size != size || v->nbytes < static_cast<std::size_t>(n) * static_cast<std::size_t>(size))
    return false;
  out.resize(static_cast<std::size_t>(n));
  const auto* bytes = static_cast<const unsigned char*>(v->data);
  for (long long i = 0; i < n; ++i) {
    const unsigned char* p = bytes + i * size;
    double value = 0.0;
    switch (v->class_type) {
      case MAT_C_DOUBLE: { double x; std::memcpy(&x, p, 8); value = x; break; }
      case MAT_C_SINGLE: { float x; std::memcpy(&x, p, 4); value = x; break; }
      case MAT_C_INT8: { std::int8_t x; std::memcpy(&x, p, 1); value = x; break; }
      case MAT_C_UINT8: { std::uint8_t x; std::memcpy(&x, p, 1); value = x; break; }
      case MAT_C_INT16: { std::int16_t x; std::memcpy(&x, p, 2); value = x; break; }
      case MAT_C_UINT16: { std::uint16_t x; std::memcpy(&x, p, 2); value = x; break; }
      case MAT_C_INT32: { std::int32_t x; std::memcpy(&x, p, 4); value = x; break; }
      case MAT_C_UINT32: { std::uint32_t x; std::memcpy(&x, p, 4); value = x; break; }
      case MAT_C_INT64: { std::int64_t x; std::memcpy(&x, p, 8); value = static_cast<double>(x); break; }
      case MAT_C_UINT64: { std::uint64_t x; std::memcpy(&x, p, 8); value = static_cast<double>(x); break; }
      default: return false;
    }
    out[static_cast<std::size_t>(i)] = value;
  }
  return true;
}

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code >= 0xD800 && code < 0xE000) {
    out += '?';
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The rows of a character matrix, trailing blanks and NULs removed; false when it is not one with its data.
bool TextRows(const matvar_t* v, std::vector<std::string>& rows) {
  rows.clear();
  if (!v || v->class_type != MAT_C_CHAR || v->rank != 2 || !v->dims) return false;
  const std::size_t r = v->dims[0], c = v->dims[1];
  const long long n = ElementCount(v);
  if (n < 0) return false;
  if (n == 0) {
    rows.assign(r, {});
    return true;
  }
  const int size = v->data_size;
  if (!v->data || (size != 1 && size != 2 && size != 4) ||
      v->nbytes < static_cast<std::size_t>(n) * static_cast<std::size_t>(size))
    return false;
  const auto* bytes = static_cast<const unsigned char*>(v->data);
  const bool utf8 = v->data_type == MAT_T_UTF8;
  for (std::size_t i = 0; i < r; ++i) {
    std::string row;
    unsigned high = 0;  // a UTF-16 high surrogate waiting for its pair
    for (std::size_t k = 0; k < c; ++k) {
      const unsigned char* p = bytes + (i + k * r) * static_cast<std::size_t>(size);
      unsigned code = 0;
      if (size == 1) code = *p;
      else if (size == 2) { std::uint16_t x; std::memcpy(&x, p, 2); code = x; }
      else { std::uint32_t x; std::memcpy(&x, p, 4); code = x > 0x10FFFF ? '?' : x; }
      if (size == 1 && utf8) {
        row += static_cast<char>(code);
        continue;
      }
      if (size == 2 && code >= 0xD800 && code < 0xDC00) {
        if (high) row += '?';
        high = code;
        continue;
      }
      if (size == 2 && code >= 0xDC00 && code < 0xE000) {
        if (high) AppendUtf8(row, 0x10000 + ((high - 0xD800) << 10) + (code - 0xDC00));
        else row += '?';
        high = 0;
        continue;
      }
      if (high) row += '?';
      high = 0;
      AppendUtf8(row, code);
    }
    if (high) row += '?';
    while (!row.empty() && (row.back() == ' ' || row.back() == '\0')) row.pop_back();
    std::size_t start = 0;
    while (start < row.size() && row[start] == ' ') ++start;
    rows.push_back(row.substr(start));
  }
  return true;
}

class FileReader {
 public:
  FileReader(mat_t* mat, const std::string& path, const MatReadOptions& options, MatReadResult& result)
      : m_mat(mat), m_path(path), m_options(options), m_result(result) {}

  // A variable read whole, or nothing (with m_result.error set for `required` ones or those too large).
  VarPtr read(const std::string& name) {
    const auto it = m_info.find(name);
    if (it == m_info.end()) return nullptr;
    if (it->second < 0 || it->second > m_options.maxElements) return nullptr;
    return VarPtr(Mat_VarRead(m_mat, name.c_str()));
  }

  void listVariables() {
    Mat_Rewind(m_mat);
    while (true) {
      VarPtr v(Mat_VarReadNextInfo(m_mat));
      if (!v) break;
      if (!v->name) continue;
      MatVariableInfo info;
      info.name = v->name;
      info.className = ClassName(v->class_type);
      for (int i = 0; i < v->rank && v->dims; ++i) info.dims.push_back(v->dims[i]);
      info.complex = v->isComplex != 0;
      const long long n = ElementCount(v.get());
      info.signal = NumericSize(v->class_type) > 0 && !v->isComplex && !v->isLogical && v->rank == 2 && n > 1;
      if (m_info.count(info.name)) continue;
      m_info[info.name] = n;
      m_result.variables.push_back(std::move(info));
      if (m_result.variables.size() > 100000) break;
    }
  }

  bool has(const std::string& name) const { return m_info.count(name) != 0; }

  // A real numeric variable as doubles with its dimensions; false (and kMatLayout naming it) when it is missing
  // or unreadable and `required`.
  bool numeric(const std::string& name, std::vector<double>& values, std::size_t& rows, std::size_t& columns,
               bool required) {
    VarPtr v = read(name);
    if (!v || v->rank != 2 || !v->dims || !NumericValues(v.get(), values)) {
      if (required) layoutError(name, 0, 0);
      values.clear();
      rows = columns = 0;
      return false;
    }
    rows = v->dims[0];
    columns = v->dims[1];
    return true;
  }

  bool text(const std::string& name, std::vector<std::string>& rows) {
    VarPtr v = read(name);
    return v && TextRows(v.get(), rows);
  }

  void layoutError(const std::string& name, int channel, int block) {
    if (m_result.error) return;
    RecordFileError e = MakeError(RecordFileErrorKind::kMatLayout, m_path);
    e.text = name;
    e.column = channel;
    e.count = block;
    m_result.error = e;
  }

  void readExport();
  void readPlain();
  void readField(const std::string& name, std::size_t dot);
  void channelsOf(const std::string& name, const std::vector<double>& values, std::size_t rows, std::size_t columns);

 private:
  mat_t* m_mat;
  const std::string& m_path;
  const MatReadOptions& m_options;
  MatReadResult& m_result;
  std::map<std::string, long long> m_info;  // name -> elements (-1 when unusable)
};

// The wanted channel numbers (0-based) among `names`, or false with the error set.
bool WantedChannels(const std::vector<ChannelRef>& refs, const std::vector<std::string>& names,
                    const std::string& path, MatReadResult& result, std::vector<int>& wanted) {
  wanted.clear();
  if (refs.empty()) {
    for (std::size_t i = 0; i < names.size(); ++i) wanted.push_back(static_cast<int>(i));
    return true;
  }
  for (const ChannelRef& ref : refs) {
    const int found = FindByRef(names, ref);
    if (found <= 0) {
      RecordFileError e = MakeError(found < 0 ? RecordFileErrorKind::kAmbiguousChannel : RecordFileErrorKind::kNoSuchChannel, path);
      e.text = ShortenedErrorText(ref.text());
      e.count = static_cast<long long>(names.size());
      result.error = e;
      return false;
    }
    wanted.push_back(found - 1);
  }
  return true;
}

bool AllFinite(const std::vector<double>& values, const std::string& variable, int channel, const std::string& path,
               MatReadResult& result) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isfinite(values[i])) {
      RecordFileError e = MakeError(RecordFileErrorKind::kNonFiniteValue, path);
      e.text = variable;
      e.column = channel;
      e.count = static_cast<long long>(i);
      result.error = e;
      return false;
    }
  }
  return true;
}

// A whole number held in a double, within [lo, hi].
bool WholeIn(double x, double lo, double hi) { return std::isfinite(x) && x == std::floor(x) && x >= lo && x <= hi; }

void FileReader::readExport() {
  m_result.layout = MatFileLayout::kAcquisitionExport;
  std::vector<double> data, starts, ends, rates;
  std::size_t dr = 0, dc = 0, sr = 0, sc = 0, er = 0, ec = 0, rr = 0, rc = 0;
  if (!numeric("data", data, dr, dc, true) || !numeric("datastart", starts, sr, sc, true) ||
      !numeric("dataend", ends, er, ec, true) || !numeric("samplerate", rates, rr, rc, true))
    return;
  if (er != sr || ec != sc) return layoutError("dataend", 0, 0);
  // A rate per channel and block, or one per channel for all blocks, or one for all.
  const std::size_t channels = sr, blocks = sc;
  if (channels == 0 || blocks == 0) return layoutError("datastart", 0, 0);
  auto rateOf = [&](std::size_t c, std::size_t b) {
    if (rr == channels && rc == blocks) return rates[c + b * channels];
    if (rr * rc == channels) return rates[c];
    if (rr * rc == 1) return rates[0];
    return std::numeric_limits<double>::quiet_NaN();
  };
  std::vector<std::string> titles, units;
  text("titles", titles);
  text("unittext", units);
  std::vector<double> unitMap, blockTimes, offsets, com, tickValues;
  std::size_t ur = 0, uc = 0, br = 0, bc = 0, orr = 0, oc = 0, cr = 0, cc = 0, tr = 0, tc = 0;
  numeric("unittextmap", unitMap, ur, uc, false);
  numeric("blocktimes", blockTimes, br, bc, false);
  numeric("firstsampleoffset", offsets, orr, oc, false);
  numeric("tickrate", tickValues, tr, tc, false);
  std::vector<std::string> comText;
  text("comtext", comText);
  const bool hasCom = numeric("com", com, cr, cc, false);
  if (hasCom && cr > 0 && cc < 5) return layoutError("com", 0, 0);

  std::vector<std::string> names(channels);
  for (std::size_t c = 0; c < channels && c < titles.size(); ++c) names[c] = titles[c];
  std::vector<int> wanted;
  if (!WantedChannels(m_options.channels, names, m_path, m_result, wanted)) return;

  const double length = static_cast<double>(data.size());
  for (std::size_t b = 0; b < blocks; ++b) {
    RecordBlock block;
    block.channelNames = names;
    if (blockTimes.size() == blocks && std::isfinite(blockTimes[b])) block.startDays = blockTimes[b];
    double fastest = 0.0;
    for (std::size_t c = 0; c < channels; ++c) {
      const double rate = rateOf(c, b);
      if (std::isfinite(rate) && rate > 0) fastest = std::max(fastest, rate);
    }
    for (const int c : wanted) {
      const std::size_t at = static_cast<std::size_t>(c) + b * channels;
      const int channelNumber = c + 1, blockNumber = static_cast<int>(b) + 1;
      ImportedChannel channel;
      channel.name = names[static_cast<std::size_t>(c)];
      const double start = starts[at], end = ends[at];
      const bool empty = start == -1 || end == -1 || (std::isfinite(start) && std::isfinite(end) && end < start);
      const double rate = rateOf(static_cast<std::size_t>(c), b);
      if (!empty) {
        if (!WholeIn(start, 1, length) || !WholeIn(end, start, length))
          return layoutError("datastart", channelNumber, blockNumber);
        if (!(std::isfinite(rate) && rate > 0 && std::isfinite(1.0 / rate)))
          return layoutError("samplerate", channelNumber, blockNumber);
        const auto first = static_cast<std::size_t>(start) - 1, last = static_cast<std::size_t>(end);
        std::size_t count = last - first;
        if (m_options.maxSamples >= 0 && static_cast<long long>(count) > m_options.maxSamples) {
          count = static_cast<std::size_t>(m_options.maxSamples);
          channel.truncated = true;
        }
        channel.values.assign(data.begin() + static_cast<std::ptrdiff_t>(first),
                              data.begin() + static_cast<std::ptrdiff_t>(first + count));
        if (!AllFinite(channel.values, "data", channelNumber, m_path, m_result)) return;
      }
      channel.sampleRateHz = std::isfinite(rate) && rate > 0 ? rate : 0.0;
      if (unitMap.size() == channels * blocks) {
        const double u = unitMap[at];
        if (WholeIn(u, 1, static_cast<double>(units.size()))) channel.unit = units[static_cast<std::size_t>(u) - 1];
      }
      if (offsets.size() == channels * blocks && std::isfinite(offsets[at])) channel.startTimeS = offsets[at];
      block.channels.push_back(std::move(channel));
      block.channelNumbers.push_back(channelNumber);
    }
    m_result.blocks.push_back(std::move(block));
  }
  if (hasCom && cr > 0) {
    const double tick = tickValues.size() == 1 && std::isfinite(tickValues[0]) && tickValues[0] > 0 ? tickValues[0] : 0.0;
    for (std::size_t i = 0; i < cr; ++i) {
      const double channel = com[i], block = com[i + cr], position = com[i + 2 * cr], index = com[i + 4 * cr];
      if (!WholeIn(block, 1, static_cast<double>(blocks)) || !std::isfinite(position) || position < 0 ||
          !WholeIn(index, 1, static_cast<double>(comText.size())) ||
          !(channel == -1 || WholeIn(channel, 1, static_cast<double>(channels))))
        return layoutError("com", 0, 0);
      RecordBlock& target = m_result.blocks[static_cast<std::size_t>(block) - 1];
      double rate = tick;
      if (rate <= 0) {
        for (std::size_t c = 0; c < channels; ++c) {
          const double r = rateOf(c, static_cast<std::size_t>(block) - 1);
          if (std::isfinite(r) && r > 0) rate = std::max(rate, r);
        }
      }
      if (rate <= 0) return layoutError("com", 0, static_cast<int>(block));
      RecordMarker marker;
      marker.timeS = position / rate;
      marker.label = comText[static_cast<std::size_t>(index) - 1];
      marker.source = "labchart";
      marker.channel = channel == -1 ? 0 : static_cast<int>(channel);
      target.markers.push_back(std::move(marker));
    }
    for (RecordBlock& b : m_result.blocks)
      std::stable_sort(b.markers.begin(), b.markers.end(),
                       [](const RecordMarker& x, const RecordMarker& y) { return x.timeS < y.timeS; });
  }
}

void FileReader::readPlain() {
  m_result.layout = MatFileLayout::kPlain;
  // The rate: a real scalar fs.
  for (const MatVariableInfo& v : m_result.variables) {
    if (v.name != "fs") continue;
    std::vector<double> values;
    std::size_t r = 0, c = 0;
    if (numeric("fs", values, r, c, false) && values.size() == 1 && std::isfinite(values[0]) && values[0] > 0 &&
        std::isfinite(1.0 / values[0]))
      m_result.fsHz = values[0];
  }
  if (m_options.variablesOnly) return;
  std::string name = m_options.variable;
  if (name.empty()) {
    std::vector<std::string> candidates;
    for (const MatVariableInfo& v : m_result.variables)
      if (v.signal) candidates.push_back(v.name);
    if (candidates.size() != 1) {
      RecordFileError e = MakeError(RecordFileErrorKind::kVariableNeeded, m_path);
      e.count = static_cast<long long>(candidates.size());
      m_result.error = e;
      return;
    }
    name = candidates.front();
  }
  if (const std::size_t dot = name.find('.'); dot != std::string::npos) return readField(name, dot);
  const auto info = std::find_if(m_result.variables.begin(), m_result.variables.end(),
                                 [&](const MatVariableInfo& v) { return v.name == name; });
  if (info == m_result.variables.end()) {
    RecordFileError e = MakeError(RecordFileErrorKind::kNoSuchVariable, m_path);
    e.text = ShortenedErrorText(name);
    m_result.error = e;
    return;
  }
  m_result.variable = name;
  auto notSignal = [&](MatFault why, const std::string& className = {}) {
    RecordFileError e = MakeError(RecordFileErrorKind::kVariableNotSignal, m_path);
    e.text = ShortenedErrorText(name);
    e.matFault = why;
    e.reason = className;
    m_result.error = e;
  };
  if (info->complex) return notSignal(MatFault::kComplex);
  if (!info->signal) {
    if (info->dims.size() > 2) return notSignal(MatFault::kMultiDimensional);
    if (info->className == "double" || info->className == "single" || info->className.find("int") != std::string::npos)
      return notSignal(MatFault::kEmpty);
    return notSignal(MatFault::kNotNumeric, info->className);
  }
  if (m_info[name] > m_options.maxElements) return notSignal(MatFault::kTooLarge);
  std::vector<double> values;
  std::size_t rows = 0, columns = 0;
  if (!numeric(name, values, rows, columns, false) || values.size() != rows * columns || values.empty())
    return notSignal(MatFault::kNotNumeric, info->className);
  channelsOf(name, values, rows, columns);
}

// A field of a 1x1 struct, "NAME.FIELD".
void FileReader::readField(const std::string& name, std::size_t dot) {
  const std::string structName = name.substr(0, dot), field = name.substr(dot + 1);
  auto fail = [&](RecordFileErrorKind kind, MatFault why = MatFault::kNone, const std::string& className = {}) {
    RecordFileError e = MakeError(kind, m_path);
    e.text = ShortenedErrorText(name);
    e.matFault = why;
    e.reason = className;
    m_result.error = e;
  };
  const auto info = std::find_if(m_result.variables.begin(), m_result.variables.end(),
                                 [&](const MatVariableInfo& v) { return v.name == structName; });
  if (info == m_result.variables.end()) return fail(RecordFileErrorKind::kNoSuchVariable);
  if (info->className != "struct")
    return fail(RecordFileErrorKind::kVariableNotSignal, MatFault::kNotNumeric, info->className);
  VarPtr s = read(structName);
  if (!s || s->class_type != MAT_C_STRUCT || ElementCount(s.get()) < 1)
    return fail(RecordFileErrorKind::kVariableNotSignal, MatFault::kNotNumeric, "struct");
  const matvar_t* f = Mat_VarGetStructFieldByName(s.get(), field.c_str(), 0);
  if (!f) return fail(RecordFileErrorKind::kNoSuchVariable);
  m_result.variable = name;
  std::vector<double> values;
  const long long n = ElementCount(f);
  if (f->rank != 2 || !f->dims || n < 1 || n > m_options.maxElements || !NumericValues(f, values) ||
      values.size() != f->dims[0] * f->dims[1])
    return f->isComplex ? fail(RecordFileErrorKind::kVariableNotSignal, MatFault::kComplex)
                        : fail(RecordFileErrorKind::kVariableNotSignal, MatFault::kNotNumeric, ClassName(f->class_type));
  channelsOf(name, values, f->dims[0], f->dims[1]);
}

void FileReader::channelsOf(const std::string& name, const std::vector<double>& values, std::size_t rows,
                            std::size_t columns) {
  // One signal per row when there are fewer rows than columns, else one per column.
  const bool byRow = rows < columns;
  const std::size_t signals = byRow ? rows : columns, length = byRow ? columns : rows;
  std::vector<std::string> names(signals);
  for (std::size_t s = 0; s < signals; ++s) names[s] = signals == 1 ? name : name + "(" + std::to_string(s + 1) + ")";
  std::vector<int> wanted;
  if (!WantedChannels(m_options.channels, names, m_path, m_result, wanted)) return;
  RecordBlock block;
  block.channelNames = names;
  for (const int s : wanted) {
    ImportedChannel channel;
    channel.name = names[static_cast<std::size_t>(s)];
    channel.sampleRateHz = m_result.fsHz.value_or(0.0);
    std::size_t count = length;
    if (m_options.maxSamples >= 0 && static_cast<long long>(count) > m_options.maxSamples) {
      count = static_cast<std::size_t>(m_options.maxSamples);
      channel.truncated = true;
    }
    channel.values.resize(count);
    for (std::size_t k = 0; k < count; ++k)
      channel.values[k] = byRow ? values[static_cast<std::size_t>(s) + k * rows] : values[k + static_cast<std::size_t>(s) * rows];
    if (!AllFinite(channel.values, name, s + 1, m_path, m_result)) return;
    block.channels.push_back(std::move(channel));
    block.channelNumbers.push_back(s + 1);
  }
  m_result.blocks.push_back(std::move(block));
}

// UTF-8 as UTF-16 code units; a malformed byte becomes '?'.
std::vector<std::uint16_t> Utf16(const std::string& text) {
  std::vector<std::uint16_t> out;
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<unsigned char>(text[i]);
    unsigned code = '?';
    std::size_t length = 1;
    if (b < 0x80) {
      code = b;
    } else if ((b & 0xE0) == 0xC0 && i + 1 < text.size()) {
      code = ((b & 0x1Fu) << 6) | (static_cast<unsigned char>(text[i + 1]) & 0x3Fu);
      length = 2;
    } else if ((b & 0xF0) == 0xE0 && i + 2 < text.size()) {
      code = ((b & 0x0Fu) << 12) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 6) |
             (static_cast<unsigned char>(text[i + 2]) & 0x3Fu);
      length = 3;
    } else if ((b & 0xF8) == 0xF0 && i + 3 < text.size()) {
      code = ((b & 0x07u) << 18) | ((static_cast<unsigned char>(text[i + 1]) & 0x3Fu) << 12) |
             ((static_cast<unsigned char>(text[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(text[i + 3]) & 0x3Fu);
      length = 4;
    }
    if (code >= 0x10000) {
      code -= 0x10000;
      out.push_back(static_cast<std::uint16_t>(0xD800 + (code >> 10)));
      out.push_back(static_cast<std::uint16_t>(0xDC00 + (code & 0x3FF)));
    } else {
      out.push_back(static_cast<std::uint16_t>(code));
    }
    i += length;
  }
  return out;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 63) return false;
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(),
                     [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

// A MATIO variable of `value` (a field when `field`); its data points into `value`, which must outlive it.
matvar_t* Create(const MatValue& value, bool field) {
  const char* name = field ? nullptr : value.name.c_str();
  switch (value.kind) {
    case MatValue::Kind::kMatrix: {
      std::size_t dims[2] = {value.rows, value.columns};
      return Mat_VarCreate(name, MAT_C_DOUBLE, MAT_T_DOUBLE, 2, dims,
                           value.values.empty() ? nullptr : const_cast<double*>(value.values.data()),
                           MAT_F_DONT_COPY_DATA);
    }
    case MatValue::Kind::kText: {
      std::size_t dims[2] = {value.rows, value.columns};
      return Mat_VarCreate(name, MAT_C_CHAR, MAT_T_UINT16, 2, dims,
                           value.chars.empty() ? nullptr : const_cast<std::uint16_t*>(value.chars.data()),
                           MAT_F_DONT_COPY_DATA);
    }
    case MatValue::Kind::kStruct: {
      std::vector<const char*> names;
      for (const MatValue& f : value.fields) names.push_back(f.name.c_str());
      names.push_back(nullptr);
      std::size_t dims[2] = {1, 1};
      matvar_t* s = Mat_VarCreateStruct2(name, 2, dims, names.data());
      if (!s) return nullptr;
      for (const MatValue& f : value.fields) {
        matvar_t* v = Create(f, true);
        if (!v) {
          Mat_VarFree(s);
          return nullptr;
        }
        Mat_VarSetStructFieldByName(s, f.name.c_str(), 0, v);
      }
      return s;
    }
  }
  return nullptr;
}

std::optional<RecordFileError> CheckValue(const MatValue& value, const std::string& path) {
  if (!ValidName(value.name)) {
    RecordFileError e = MakeError(RecordFileErrorKind::kBadChannel, path);
    e.text = ShortenedErrorText(value.name);
    return e;
  }
  if (value.kind == MatValue::Kind::kText && value.chars.size() != value.rows * value.columns) {
    RecordFileError e = MakeError(RecordFileErrorKind::kBadChannel, path);
    e.text = value.name;
    return e;
  }
  if (value.kind == MatValue::Kind::kMatrix) {
    if (value.values.size() != value.rows * value.columns) {
      RecordFileError e = MakeError(RecordFileErrorKind::kBadChannel, path);
      e.text = value.name;
      return e;
    }
    for (std::size_t i = 0; i < value.values.size(); ++i) {
      if (!std::isfinite(value.values[i])) {
        RecordFileError e = MakeError(RecordFileErrorKind::kNonFiniteValue, path);
        e.text = value.name;
        e.count = static_cast<long long>(i);
        return e;
      }
    }
  }
  if (value.kind == MatValue::Kind::kStruct) {
    for (const MatValue& f : value.fields) {
      if (f.kind == MatValue::Kind::kStruct) {
        RecordFileError e = MakeError(RecordFileErrorKind::kBadChannel, path);
        e.text = f.name;
        return e;
      }
      if (auto error = CheckValue(f, path)) return error;
    }
  }
  return std::nullopt;
}

}  // namespace

namespace {

// Under the lock: whether MATIO creates a version 7.3 file (it is built with HDF5), tried once in the system's
// temporary folder.
bool Version73SupportedLocked() {
  static const bool supported = [] {
    InitMatio();
    std::error_code ignored;
    std::string folder = std::filesystem::temp_directory_path(ignored).string();
    if (folder.empty()) folder = "/tmp";
    std::string name = folder + "/kelvora-mat73-XXXXXX";
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    ::close(fd);
    mat_t* mat = Mat_CreateVer(name.c_str(), nullptr, MAT_FT_MAT73);
    const bool ok = mat != nullptr;
    if (mat) Mat_Close(mat);
    ::unlink(name.c_str());
    return ok;
  }();
  return supported;
}


// Level 5 files are checked before MATIO reads them: MATIO allocates the cells of a cell array and the fields of
// a struct array as their dimensions claim, so a few bytes could ask for gigabytes. Every element of a cell or
// struct takes at least a tag of 8 bytes, so a claim beyond the bytes that follow is refused, as is a
// compressed variable that does not inflate whole or inflates beyond the limit.
class Level5Scan {
 public:
  // The bytes of a numeric array that its flags, dimensions and name are looked for in.
  static constexpr std::size_t kArrayHeadBytes = 64 * 1024;

  Level5Scan(bool swap, std::size_t inflateLimit) : m_swap(swap), m_limit(inflateLimit) {}

  // Gives the fault, or kNone when the file may be read.
  MatFault file(std::istream& in) {
    in.seekg(0, std::ios::end);
    const auto total = static_cast<unsigned long long>(std::max<std::streamoff>(in.tellg(), 0));
    unsigned long long at = 128;
    in.seekg(static_cast<std::streamoff>(at));
    std::uint8_t tag[8];
    while (at + 8 <= total && in.read(reinterpret_cast<char*>(tag), 8)) {
      at += 8;
      const std::uint32_t type = word(tag), size = word(tag + 4);
      if (size > total - at) return MatFault::kTruncated;
      // A variable's tag is never the small format (type and size in one word); MATIO reads the bytes of such a
      // tag as another element than the one scanned here (a 257-byte file made it allocate 6.8 GB).
      if ((type >> 16) != 0) return MatFault::kMalformedVariable;
      const bool compressed = type == 15;
      // An uncompressed array is read whole only when it holds other arrays (a cell, struct or object).
      std::vector<std::uint8_t> payload(compressed ? size : std::min<std::uint32_t>(size, 16));
      if (!payload.empty() && !in.read(reinterpret_cast<char*>(payload.data()), static_cast<std::streamsize>(payload.size())))
        return MatFault::kTruncated;
      if (compressed) {
        std::vector<std::uint8_t> element;
        if (!inflate(payload, element)) return MatFault::kBadCompression;
        if (element.size() >= 8 && word(element.data()) == 14) {
          const std::uint32_t inner = word(element.data() + 4);
          if (inner > element.size() - 8) return MatFault::kMalformedCompressed;
          if (!matrix(element.data() + 8, inner, 0)) return MatFault::kMalformedVariable;
        }
      } else if (type == 14 && payload.size() == 16) {
        const unsigned cls = word(payload.data() + 8) & 0xFF;
        // A cell, struct or object is checked whole; any other array up to its name (flags, dimensions and
        // name lie in its first bytes), so that a name or dimension claiming more bytes than follow is refused.
        const bool nested = cls == 1 || cls == 2 || cls == 3;
        const std::size_t checked = nested ? size : std::min<std::size_t>(size, kArrayHeadBytes);
        payload.resize(checked);
        if (checked > 16 &&
            !in.read(reinterpret_cast<char*>(payload.data()) + 16, static_cast<std::streamsize>(checked - 16)))
          return MatFault::kTruncated;
        if (!matrix(payload.data(), checked, 0)) return MatFault::kMalformedVariable;
      }
      at += size;
      if (!compressed) at += (8 - size % 8) % 8;
      in.seekg(static_cast<std::streamoff>(at));
    }
    return MatFault::kNone;
  }

 private:
  std::uint32_t word(const std::uint8_t* p) const {
    std::uint32_t w;
    std::memcpy(&w, p, 4);
    return m_swap ? __builtin_bswap32(w) : w;
  }

  // One data element at `at` of `bytes` (n long): its type, data and the next element's offset.
  bool element(const std::uint8_t* bytes, std::size_t n, std::size_t at, std::uint32_t& type, std::size_t& data,
               std::size_t& size, std::size_t& next) const {
    if (at + 8 > n) return false;
    const std::uint32_t first = word(bytes + at);
    if ((first >> 16) != 0) {  // the small format: type and size in one word, the data in the next four bytes
      type = first & 0xFFFF;
      size = first >> 16;
      data = at + 4;
      next = at + 8;
      return size <= 4;
    }
    type = first;
    size = word(bytes + at + 4);
    data = at + 8;
    if (size > n - data) return false;
    next = data + size + (8 - size % 8) % 8;
    if (next > n) next = n;
    return true;
  }

  bool matrix(const std::uint8_t* b, std::size_t n, int depth) {
    if (n == 0) return true;
    if (depth > 32) return false;
    std::uint32_t type = 0;
    std::size_t data = 0, size = 0, next = 0;
    if (!element(b, n, 0, type, data, size, next) || size < 4) return false;  // array flags
    const unsigned cls = word(b + data) & 0xFF;
    if (!element(b, n, next, type, data, size, next) || size % 4 != 0) return false;  // dimensions
    unsigned long long count = 1;
    for (std::size_t i = 0; i < size / 4; ++i) {
      const unsigned long long d = word(b + data + 4 * i);
      if (d != 0 && count > (1ULL << 40) / d) return false;
      count *= d;
    }
    if (!element(b, n, next, type, data, size, next)) return false;  // name
    if (cls == 1) return children(b, n, next, count, depth);  // cell
    if (cls == 2 || cls == 3) {                               // struct, object
      if (cls == 3 && !element(b, n, next, type, data, size, next)) return false;  // class name
      if (!element(b, n, next, type, data, size, next) || size < 4) return false;  // field name length
      const std::uint32_t length = word(b + data);
      if (!element(b, n, next, type, data, size, next)) return false;  // field names
      const unsigned long long fields = length == 0 ? 0 : size / length;
      if (fields != 0 && count > (1ULL << 40) / fields) return false;
      return children(b, n, next, count * fields, depth);
    }
    return true;
  }

  bool children(const std::uint8_t* b, std::size_t n, std::size_t at, unsigned long long count, int depth) {
    if (count > (n - std::min(n, at)) / 8) return false;
    for (unsigned long long i = 0; i < count; ++i) {
      std::uint32_t type = 0;
      std::size_t data = 0, size = 0, next = 0;
      if (!element(b, n, at, type, data, size, next) || type != 14) return false;
      if (!matrix(b + data, size, depth + 1)) return false;
      at = next;
    }
    return true;
  }

  bool inflate(const std::vector<std::uint8_t>& in, std::vector<std::uint8_t>& out) const {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    int status = Z_OK;
    std::uint8_t piece[1 << 16];
    while (status == Z_OK) {
      z.next_out = piece;
      z.avail_out = sizeof piece;
      status = ::inflate(&z, Z_NO_FLUSH);
      out.insert(out.end(), piece, piece + (sizeof piece - z.avail_out));
      if (out.size() > m_limit) status = Z_MEM_ERROR;
      if (status == Z_BUF_ERROR && z.avail_in == 0) break;
    }
    inflateEnd(&z);
    return status == Z_STREAM_END;
  }

  bool m_swap;
  std::size_t m_limit;
};

}  // namespace

bool LooksLikeMatFile(std::string_view start) {
  static const std::string_view hdf5("\x89HDF\r\n\x1a\n", 8);
  if (start.substr(0, 6) == "MATLAB") return true;
  if (start.substr(0, 8) == hdf5) return true;
  return start.size() >= 520 && start.substr(512, 8) == hdf5;
}

MatReadResult ReadMatFile(const std::string& path, const MatReadOptions& options) {
  MatReadResult result;
  if (auto error = CheckReadableFile(path)) {
    result.error = error;
    return result;
  }
  std::lock_guard<std::mutex> lock(MatioMutex());
  InitMatio();
  const std::string start = ReadFileStart(path, 600);
  // A level 5 file ("MATLAB" text, version 0x0100 and the byte-order mark at bytes 124-127) is checked first.
  if (start.size() >= 128 && start.compare(0, 6, "MATLAB") == 0 &&
      (start.compare(126, 2, "IM") == 0 || start.compare(126, 2, "MI") == 0)) {
    const bool swap = start.compare(126, 2, "MI") == 0;
    const std::uint16_t version = static_cast<std::uint16_t>(static_cast<unsigned char>(start[swap ? 125 : 124]) |
                                                             static_cast<unsigned char>(start[swap ? 124 : 125]) << 8);
    if (version == 0x0100) {
      std::ifstream in(path, std::ios::binary);
      const auto limit = static_cast<std::size_t>(std::max<long long>(options.maxElements, 0)) * 8 + (64u << 20);
      const MatFault fault = Level5Scan(swap, limit).file(in);
      if (fault != MatFault::kNone) {
        RecordFileError e = MakeError(RecordFileErrorKind::kNotMatFile, path);
        e.matFault = fault;
        result.error = e;
        return result;
      }
    }
  }
  // Level 4 files have no text header; they are not read (nor is anything else MATIO would try as one).
  if (start.compare(0, 6, "MATLAB") != 0) {
    result.error = MakeError(RecordFileErrorKind::kNotMatFile, path);
    return result;
  }
  MatCloser closer{Mat_Open(path.c_str(), MAT_ACC_RDONLY)};
  if (!closer.mat) {
    if (start.compare(0, 10, "MATLAB 7.3") == 0 && !Version73SupportedLocked()) {
      RecordFileError e = MakeError(RecordFileErrorKind::kMatVersionUnsupported, path);
      e.text = "7.3";
      result.error = e;
      return result;
    }
    result.error = MakeError(RecordFileErrorKind::kNotMatFile, path);
    return result;
  }
  switch (Mat_GetVersion(closer.mat)) {
    case MAT_FT_MAT73: result.version = 73; break;
    case MAT_FT_MAT5: result.version = 5; break;
    case MAT_FT_MAT4: result.version = 4; break;
    default: result.version = 0; break;
  }
  FileReader reader(closer.mat, path, options, result);
  reader.listVariables();
  if (reader.has("data") && reader.has("datastart") && reader.has("dataend") && reader.has("samplerate"))
    reader.readExport();
  else
    reader.readPlain();
  if (result.error) result.blocks.clear();
  return result;
}

MatValue MatValue::Scalar(const std::string& name, double value) { return Matrix(name, 1, 1, {value}); }
MatValue MatValue::Column(const std::string& name, std::vector<double> values) {
  const std::size_t n = values.size();
  return Matrix(name, n, 1, std::move(values));
}
MatValue MatValue::Row(const std::string& name, std::vector<double> values) {
  const std::size_t n = values.size();
  return Matrix(name, 1, n, std::move(values));
}
MatValue MatValue::Matrix(const std::string& name, std::size_t rows, std::size_t columns, std::vector<double> values) {
  MatValue v;
  v.name = name;
  v.kind = Kind::kMatrix;
  v.rows = rows;
  v.columns = columns;
  v.values = std::move(values);
  return v;
}
MatValue MatValue::Text(const std::string& name, const std::string& text) { return TextRows(name, {text}); }

MatValue MatValue::TextRows(const std::string& name, const std::vector<std::string>& rows) {
  std::vector<std::vector<std::uint16_t>> units;
  std::size_t width = 0;
  for (const std::string& r : rows) {
    units.push_back(Utf16(r));
    width = std::max(width, units.back().size());
  }
  MatValue v;
  v.name = name;
  v.kind = Kind::kText;
  v.rows = rows.size();
  v.columns = width;
  v.chars.assign(v.rows * width, u' ');
  for (std::size_t r = 0; r < units.size(); ++r)
    for (std::size_t c = 0; c < units[r].size(); ++c) v.chars[r + c * v.rows] = units[r][c];
  return v;
}
MatValue MatValue::Struct(const std::string& name, std::vector<MatValue> fields) {
  MatValue v;
  v.name = name;
  v.kind = Kind::kStruct;
  v.fields = std::move(fields);
  return v;
}

bool MatVersion73Supported() {
  std::lock_guard<std::mutex> lock(MatioMutex());
  return Version73SupportedLocked();
}

std::optional<RecordFileError> WriteMatFile(const std::string& path, const std::vector<MatValue>& variables,
                                            const MatWriteOptions& options) {
  for (const MatValue& v : variables)
    if (auto error = CheckValue(v, path)) return error;
  std::lock_guard<std::mutex> lock(MatioMutex());
  InitMatio();
  if (options.version73 && !Version73SupportedLocked()) {
    RecordFileError e = MakeError(RecordFileErrorKind::kMatVersionUnsupported, path);
    e.text = "7.3";
    return e;
  }
  // The step MATIO failed at and its variable; the text returned to the atomic writer only marks the failure.
  std::optional<MatWriteStep> failedStep;
  std::string failedVariable;
  const std::optional<std::string> failure = WriteFileAtomicallyThrough(path, [&](const std::string& temporary)
                                                                            -> std::optional<std::string> {
    auto failed = [&](MatWriteStep step, const std::string& name) -> std::optional<std::string> {
      failedStep = step;
      failedVariable = name;
      return std::string("matio");
    };
    mat_t* mat = Mat_CreateVer(temporary.c_str(), "MATLAB 5.0 MAT-file, written by Kelvora",
                               options.version73 ? MAT_FT_MAT73 : MAT_FT_MAT5);
    if (!mat) return failed(MatWriteStep::kCreateFile, {});
    MatCloser closer{mat};
    for (const MatValue& value : variables) {
      VarPtr v(Create(value, false));
      if (!v) return failed(MatWriteStep::kMakeVariable, value.name);
      if (Mat_VarWrite(mat, v.get(), options.version73 ? MAT_COMPRESSION_NONE : MAT_COMPRESSION_ZLIB) != 0)
        return failed(MatWriteStep::kWriteVariable, value.name);
    }
    closer.mat = nullptr;
    if (Mat_Close(mat) != 0) return failed(MatWriteStep::kCloseFile, {});
    return std::nullopt;
  });
  if (failure && failedStep) {
    RecordFileError e = MakeError(RecordFileErrorKind::kMatWriteFailed, path);
    e.expected = static_cast<long long>(*failedStep);
    e.text = failedVariable;
    return e;
  }
  if (failure) {
    RecordFileError e = MakeError(RecordFileErrorKind::kCannotWrite, path);
    e.reason = *failure;
    return e;
  }
  return std::nullopt;
}

std::string MatVariableName(const std::string& text, const std::string& fallback) {
  std::string name;
  for (const char c : text) name += std::isalnum(static_cast<unsigned char>(c)) || c == '_' ? c : '_';
  if (name.empty()) return fallback;
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) name = "x" + name;
  if (name.size() > 63) name.resize(63);
  return name;
}

namespace {

// `name` made unique among `taken` by "_2", "_3", ... (kept within MATLAB's 63 characters).
std::string UniqueName(std::string name, std::vector<std::string>& taken) {
  const std::string base = name;
  for (int k = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++k) {
    const std::string suffix = "_" + std::to_string(k);
    name = base.substr(0, std::min<std::size_t>(base.size(), 63 - suffix.size())) + suffix;
  }
  taken.push_back(name);
  return name;
}

}  // namespace

std::vector<MatValue> MatVariablesOfColumns(const CsvWriteRequest& request) {
  std::vector<MatValue> variables;
  std::vector<std::string> taken = {"fs", "t0_s", "settings"};
  for (const CsvColumn& column : request.columns)
    variables.push_back(MatValue::Column(UniqueName(MatVariableName(column.name, "signal"), taken), column.values));
  variables.push_back(MatValue::Scalar("fs", request.sampleRateHz));
  if (request.startTimeS != 0.0) variables.push_back(MatValue::Scalar("t0_s", request.startTimeS));
  if (!request.comments.empty()) {
    std::vector<MatValue> fields;
    std::vector<std::string> keys;
    for (const auto& [key, value] : request.comments)
      fields.push_back(MatValue::Text(UniqueName(MatVariableName(key, "setting"), keys), value));
    variables.push_back(MatValue::Struct("settings", std::move(fields)));
  }
  return variables;
}

std::optional<RecordFileError> WriteColumnsMatFile(const std::string& path, const CsvWriteRequest& request) {
  return WriteMatFile(path, MatVariablesOfColumns(request));
}

}  // namespace kelvora
