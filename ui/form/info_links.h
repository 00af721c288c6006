#pragma once

#include <string>

namespace batchext {

// The addresses behind the labels and panels, and the contact line.
struct InfoLinks {
  std::string home_page;  // opened by the contact line
  std::string task_page;  // opened by both link labels
  std::string panel1;     // shown in Scriptlet1; empty shows nothing
  std::string panel2;     // shown in Scriptlet2; empty shows nothing
  std::string contact_line;
};

// The addresses chosen at build time.
InfoLinks DefaultInfoLinks();

}  // namespace batchext
