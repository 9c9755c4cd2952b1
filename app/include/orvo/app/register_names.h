#pragma once
// The control register names the generator dialogs offer in their
// "Control Register" lists: at most 256 names of up to 255 characters,
// compared without regard to case. It starts empty and grows: the register
// test dialog adds the editor's built-in names, the editing dialogs the
// names their model uses, and every generator dialog the name typed or
// chosen when closed with OK.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "orvo/model/model.h"

namespace orvo {

class RegisterNameList {
 public:
  static constexpr std::size_t kMaxNames = 256;
  static constexpr std::size_t kMaxNameChars = 255;

  // Adds `name` (cut to 255 characters) at the end unless it is empty, is
  // already present (without regard to case) or the list is full. True
  // when it was added.
  bool add(std::string_view name);
  // Index of `name` without regard to case, or -1.
  int find(std::string_view name) const;
  bool contains(std::string_view name) const { return find(name) >= 0; }

  // The editor's 59 built-in names, in their order.
  void add_standard_names();
  // Every register name `model`'s materials (their four generators), part
  // animation functions and light generators use in a control-register
  // style.
  void add_model_names(const Model& model);

  const std::vector<std::string>& names() const { return names_; }
  std::size_t size() const { return names_.size(); }
  void clear() { names_.clear(); }

 private:
  std::vector<std::string> names_;
};

}  // namespace orvo
