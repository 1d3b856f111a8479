// Shift-JIS (code page 932) texts of the input as UTF-8, the file-name encoding of Linux.
#pragma once

#include <optional>
#include <string>

namespace orva {

// The UTF-8 form of CP932 bytes; nothing when the bytes are not valid CP932.
std::optional<std::string> cp932_to_utf8(const std::string& bytes);

}  // namespace orva
