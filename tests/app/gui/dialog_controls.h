#pragma once
// The dialog tests find controls as the main window does: by the object
// name "id" + the control's id.

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>

namespace orvo::gui {

template <typename T>
T* control(QWidget& dialog, int id) {
  T* widget = dialog.findChild<T*>(QStringLiteral("id%1").arg(id));
  EXPECT_NE(widget, nullptr) << "id" << id;
  return widget;
}

}  // namespace orvo::gui
