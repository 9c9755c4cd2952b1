#pragma once
// Where the window program keeps its settings between runs: the text file
// "TanuOrvo.cfg" of the start-up folder (the preview's values and the recent
// files) and the per-user settings store (QSettings of "Brellwick" / "ORVO",
// group "Settings": the export and texture folders and the environment map).
// Both are read at start-up and written when the main window goes; a file or
// store that cannot be read or written is passed over without a word.

#include "orvo/document/document.h"

namespace orvo::gui {

// The settings file (defaults kept where it says nothing), then the store.
void read_settings(Document& doc);
// The settings file, then the store ("MyValue" 45, "ExportPath",
// "TexturePath", "RenderCubeMap").
void write_settings(const Document& doc);

}  // namespace orvo::gui
