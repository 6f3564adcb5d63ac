#pragma once
// SHA-256 and its spellings, for what names a content: the web files'
// entity tags, the hash a page's policy allows its own style by.

#include <string>
#include <string_view>

// The digest's 32 bytes.
std::string Sha256(std::string_view bytes);
// Base64 with padding (RFC 4648, section 4).
std::string Base64(std::string_view bytes);
// Lower-case hex, two digits a byte.
std::string Hex(std::string_view bytes);
