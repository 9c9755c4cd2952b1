#pragma once
// Text between the model tool's core, which holds UTF-8 std::strings (file
// paths as the file system gives them), and Qt's QString.

#include <QString>
#include <string>
#include <string_view>

namespace orvo::gui {

inline QString qs(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
inline std::string ss(const QString& text) {
  return text.toStdString();
}

// A path as the native file functions take it (the local 8-bit encoding,
// UTF-8 on every system the tool runs on).
std::string native_path(const QString& path);

}  // namespace orvo::gui
