// The shared base library's vocabulary, used by the model tool's libraries as
// their own names, and the model tool's own text-reading limit.
#pragma once

#include <cstddef>

#include "tools/base/file_io.h"
#include "tools/base/fixed_string.h"
#include "tools/base/line_reader.h"
#include "tools/base/line_tokenizer.h"
#include "tools/base/notifier.h"
#include "tools/base/result.h"
#include "tools/base/text.h"

namespace orvo {

using tools::ascii_lower;
using tools::ascii_upper;
using tools::bare_name;
using tools::bytecompare;
using tools::check_text_encoding;
using tools::data_error;
using tools::Error;
using tools::error_at;
using tools::ErrorKind;
using tools::file_part;
using tools::FileLocation;
using tools::FileSync;
using tools::FileText;
using tools::FixedString;
using tools::icompare;
using tools::iequals;
using tools::istarts_with;
using tools::kCodeCannotOpen;
using tools::kCodeEndOfFile;
using tools::LineReader;
using tools::LineTokenizer;
using tools::Notifier;
using tools::NullNotifier;
using tools::open_error;
using tools::parse_error;
using tools::parse_int;
using tools::parse_real;
using tools::read_error;
using tools::read_file;
using tools::RecordingNotifier;
using tools::Result;
using tools::Status;
using tools::UserNotifier;
using tools::write_error;
using tools::write_file_atomic;

// The model tool reads text through a 700-byte line buffer: lines of at most
// 699 characters at once; a longer line is read as several.
inline constexpr std::size_t kMaxLine = 699;

}  // namespace orvo
