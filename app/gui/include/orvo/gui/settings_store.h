#pragma once
// Where the window program keeps its settings between runs: the text file
// "TanuOrvo.cfg" of the start-up folder (the preview's values and the recent
// files) and the per-user settings store (QSettings of "Brellwick" / "ORVO",
// group "Settings": the export and texture folders and the environment map).
// Both are read at start-up and written when the main window goes. A
// settings file that exists but cannot be read is never replaced by
// defaults: it is moved aside (or, failing that, not written this run) and
// the person is told.

#include <string>
#include <vector>

#include "orvo/document/document.h"

namespace orvo::gui {

// The settings file (defaults kept where it says nothing), then the store.
// Returns what the person must be told about a settings file that cannot be
// read (one message per file; none when all is well or the file is missing).
std::vector<std::string> read_settings(Document& doc);
// The settings file, then the store ("MyValue" 45, "ExportPath",
// "TexturePath", "RenderCubeMap").
void write_settings(const Document& doc);

}  // namespace orvo::gui
