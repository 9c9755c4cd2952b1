// Reads a text held in memory line by line for the metafile, scene and
// project readers: lines of at most `max_line` characters (a longer line is
// read as several), LF or CR LF ends, lines without tokens and lines whose
// first token begins with "/" skipped.
#pragma once

#include <cstddef>
#include <string_view>

#include "tools/base/line_tokenizer.h"

namespace tools {

class LineReader {
 public:
  // `max_line` is the longest line the program reads at once (its line
  // buffer less the terminator); each program states its own.
  LineReader(std::string_view text, std::size_t max_line) : text_(text), max_line_(max_line) {}

  // Advances to the next line that has tokens and is no comment; false at
  // the end of the text.
  bool next();

  // Advances to the next raw line segment (no skipping); false at the end.
  bool next_raw(std::string_view& line);

  const LineTokenizer& tokens() const { return tok_; }
  std::size_t size() const { return tok_.size(); }
  std::string_view operator[](std::size_t i) const { return tok_[i]; }
  std::string_view line() const { return line_; }

  // Line number in the file (1-based) where the current line starts.
  long line_number() const { return line_no_; }
  // How many reads the reader has made so far, the current one included: a
  // line longer than the reader takes at once counts once per piece, as a
  // fixed-buffer line reader counts them.
  long read_count() const { return reads_; }
  // Byte offset of the current line's start.
  std::size_t offset() const { return line_start_; }
  // Bytes not read yet.
  std::size_t remaining_bytes() const { return text_.size() - pos_; }

 private:
  std::string_view text_;
  std::size_t max_line_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  long line_no_ = 0;
  long next_line_no_ = 1;
  long reads_ = 0;
  std::string_view line_;
  LineTokenizer tok_;
};

}  // namespace tools
