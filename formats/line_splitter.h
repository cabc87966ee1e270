#pragma once
// Splits a text fed in pieces into lines: LF, CR LF or a lone CR end a line, a UTF-8 byte-order mark before the
// first line is dropped, and a line longer than a limit is cut (its length still counted) so that one enormous
// line costs no more memory than the limit.
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kelvora {

class LineSplitter {
 public:
  // Called once per line with its text (without the line end, at most `maxKept` bytes of it), its 1-based number
  // and its full length in bytes. Returning false stops the splitting: later feeds give no more lines.
  using LineSink = std::function<bool(std::string_view line, long long number, std::size_t fullLength)>;

  LineSplitter(std::size_t maxKept, LineSink sink);

  // Takes the next piece; returns false once the sink has stopped.
  bool feed(std::string_view piece);
  // Ends the text: a last line without a line end is given to the sink.
  void finish();
  long long lines() const { return m_number; }
  // The line begun and not yet ended (at most `maxKept` bytes of it) and its length so far, so that a reader
  // can judge a line that will not end soon (a source without line ends) before its end.
  std::string_view pendingLine() const { return m_line; }
  std::size_t pendingLength() const { return m_length; }

 private:
  void take(std::string_view text);
  void endLine();

  std::size_t m_maxKept;
  LineSink m_sink;
  std::string m_line;
  std::size_t m_length = 0;
  long long m_number = 0;
  int m_bomState = 0;  // bytes of the byte-order mark matched so far; -1 once decided
  bool m_afterCr = false;
  bool m_open = false;
  bool m_stopped = false;
};

}  // namespace kelvora
