// UTF-8 <-> UTF-16 for paths and names; both refuse malformed input rather than guess.
#pragma once

#include <string>
#include <string_view>

namespace imaging {

bool Utf16ToUtf8(std::u16string_view in, std::string& out);
bool Utf8ToUtf16(std::string_view in, std::u16string& out);

}  // namespace imaging
