#pragma once
// What the model tool's small dialogs share: control ids as object names,
// and the edits read and written as the tool has always read and written
// them (numbers as atoi and strtof take them, whatever the locale; paths cut
// to the length their buffers hold).

#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLineEdit>
#include <QObject>
#include <QPushButton>
#include <QString>
#include <cstddef>
#include <string>

namespace orvo::gui {

// How many characters of a number edit are read.
inline constexpr int kNumberFieldChars = 17;
// The OK and Cancel buttons, by the ids they have always had.
inline constexpr int kOkId = 1;
inline constexpr int kCancelId = 2;

// Names `object` "id" followed by the decimal `id`, as the tests and the
// main window find controls.
void set_id(QObject* object, int id);

// OK and Cancel buttons (ids 1 and 2) that accept and reject `dialog`; the
// caller places the box.
QDialogButtonBox* add_ok_cancel(QDialog* dialog);

// The edit's first 17 characters as a decimal integer, atoi-like (text that
// is not a number gives 0).
int read_int_field(const QLineEdit* edit);
// The edit's first 17 characters as a real, strtof-like in the C locale
// (text that is not a number gives 0).
float read_float_field(const QLineEdit* edit);
// "%f" of `value`, with '.' whatever the locale.
QString format_fixed6(float value);

// The edit's text as UTF-8 cut to at most `max_bytes` bytes, never inside a
// character.
std::string read_path_field(const QLineEdit* edit, std::size_t max_bytes);

// A generator summary as a swatch's face (its "\r\n" line breaks as "\n").
QString swatch_face(const std::string& summary);

// A label with its mnemonic in column 0 of `row` and the field it names
// (its buddy) in column 1.
void add_labelled(QGridLayout* grid, int row, const QString& text, QWidget* field);

}  // namespace orvo::gui
