#include "formats/line_splitter.h"

#include <utility>

namespace kelvora {
namespace {
constexpr const char kByteOrderMark[] = "\xEF\xBB\xBF";
}  // namespace

LineSplitter::LineSplitter(std::size_t maxKept, LineSink sink) : m_maxKept(maxKept), m_sink(std::move(sink)) {}

bool LineSplitter::feed(std::string_view piece) {
  // The mark may arrive split over pieces; bytes that only began like it are text.
  while (m_bomState >= 0 && !piece.empty() && !m_stopped) {
    if (piece.front() != kByteOrderMark[m_bomState]) {
      const std::string_view seen(kByteOrderMark, static_cast<std::size_t>(m_bomState));
      m_bomState = -1;
      take(seen);
      break;
    }
    piece.remove_prefix(1);
    if (++m_bomState == 3) m_bomState = -1;
  }
  take(piece);
  return !m_stopped;
}

void LineSplitter::take(std::string_view text) {
  while (!text.empty() && !m_stopped) {
    if (m_afterCr) {
      m_afterCr = false;
      if (text.front() == '\n') {
        text.remove_prefix(1);
        continue;
      }
    }
    const std::size_t end = text.find_first_of("\r\n");
    const std::string_view part = text.substr(0, end);
    if (m_line.size() < m_maxKept) m_line.append(part.substr(0, m_maxKept - m_line.size()));
    m_length += part.size();
    m_open = true;
    if (end == std::string_view::npos) return;
    m_afterCr = text[end] == '\r';
    text.remove_prefix(end + 1);
    endLine();
  }
}

void LineSplitter::endLine() {
  ++m_number;
  if (!m_sink(m_line, m_number, m_length)) m_stopped = true;
  m_line.clear();
  m_length = 0;
  m_open = false;
}

void LineSplitter::finish() {
  if (m_stopped) return;
  if (m_bomState > 0) take(std::string_view(kByteOrderMark, static_cast<std::size_t>(m_bomState)));
  m_bomState = -1;
  if (m_open && !m_stopped) endLine();
  m_stopped = true;
}

}  // namespace kelvora
