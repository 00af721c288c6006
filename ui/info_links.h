#pragma once

#include <QUrl>
#include <functional>
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

// Starts the user's browser on an address without waiting for it.
using LinkLauncher = std::function<void(const QUrl&)>;

void OpenInBrowser(const QUrl& url);

QUrl AddressToUrl(const std::string& address);

}  // namespace batchext
