#pragma once
// The page on paper and in a file: printing the 2D drawing of the current
// slot on one printer page, and saving the page's picture as an 8-bit PCX.

#include <QImage>
#include <string>

#include "orvo/document/document.h"
#include "tools/base/result.h"

class QPrinter;

namespace orvo::gui {

// Prints the 2D drawing of the current slot in the current plane on one
// page of `printer` (document "CAD: Printing"), filling the page's
// printable rectangle in device pixels; the grid is never drawn. The view's
// printing flag is 1 while the drawing is made. False when the printer
// cannot be started. The caller redraws the page on screen afterwards.
bool print_page(Document& doc, QPrinter& printer);

// Writes `picture` as an 8-bit PCX of the picture's width and height with a
// 256-colour palette.
tools::Status save_page_pcx(const QImage& picture, const std::string& path);

}  // namespace orvo::gui
