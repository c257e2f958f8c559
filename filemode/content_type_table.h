// The content types File Mode knows and the extension text each one gives a stored file.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace vorlanx {

struct ContentTypeRow {
    std::string_view contentType;  // lower case, compared exactly
    std::string_view extension;    // used verbatim; several extensions joined with "_"
};

class ContentTypeTable {
  public:
    static constexpr size_t kRowCount = 95;

    // The rows in their fixed order. Any thread.
    static const std::array<ContentTypeRow, kRowCount>& rows();

    // The extension text of the first row whose content type equals `contentType` exactly
    // (no case folding, no parameter stripping), or nothing. Any thread.
    static std::optional<std::string_view> extensionFor(std::string_view contentType);
};

}  // namespace vorlanx
