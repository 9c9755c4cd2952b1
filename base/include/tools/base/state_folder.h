#pragma once
// The per-user folder where a desktop program keeps what it writes for
// itself: scratch files and logs that belong to no project (the preview's
// temporary model, the loader's and the system's logs, the memory dump).
// Keeping them there leaves the artists' asset folders holding assets only.
//
//   $XDG_STATE_HOME/Brellwick/<program>      when XDG_STATE_HOME is absolute
//   $HOME/.local/state/Brellwick/<program>   otherwise (the account's home
//                                            when HOME is unset or relative)
//
// The command-line tools do not use it: a pipeline run keeps its logs in
// the folder it runs in, beside its outputs.

#include <string>
#include <string_view>

#include "tools/base/result.h"

namespace tools {

// The folder's path for `program` ("ORVO", "Loamer"), from the environment;
// nothing is made. Empty when neither the environment nor the account
// names a home folder.
std::string state_folder_path(std::string_view program);

// The same folder, made when missing: every level that does not exist yet
// is created with mode 0700 (the logs name the machine and the user's
// files). An error names the level that cannot be made and why, or a level
// that is there but is no folder.
Result<std::string> make_state_folder(std::string_view program);

}  // namespace tools
