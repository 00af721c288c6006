#pragma once

#include <QUrl>
#include <string>

namespace batchext {

// Starts the user's browser on an address without waiting for it.
void OpenInBrowser(const std::string& address);

QUrl AddressToUrl(const std::string& address);

}  // namespace batchext
