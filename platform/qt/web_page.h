// Web pages and e-mail: handed to the desktop, which opens the user's browser or mail
// program.
#pragma once

#include <functional>
#include <string>

namespace vorlanx {

// Opens an address (a web page, or a "mailto:" address) the desktop's way; tests replace it.
using WebPageOpener = std::function<void(const std::string& address)>;
void OpenInBrowser(const std::string& address);

}  // namespace vorlanx
