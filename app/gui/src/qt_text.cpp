#include "orvo/gui/qt_text.h"

#include <QFile>

namespace orvo::gui {

std::string native_path(const QString& path) {
  const QByteArray bytes = QFile::encodeName(path);
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace orvo::gui
