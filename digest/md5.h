#pragma once

#include <string>
#include <string_view>

namespace velmora {

// MD5 (RFC 1321) of `text` as lowercase hexadecimal.
//
// lengthSelector 32 gives the whole 32-character digest; any other value
// gives its middle 16 characters (characters 9..24, the words b and c).
//
// The text is UTF-16 and is digested as bytes:
//  - U+0000..U+00FF: one byte each, the character's Latin-1 code (so "é"
//    is the single byte 0xE9, not its UTF-8 form);
//  - any higher character: its UTF-8 bytes; a surrogate pair counts as the
//    UTF-8 of the code point it encodes ("😀" is F0 9F 98 80);
//  - a lone surrogate: the UTF-8 of U+FFFD (EF BF BD).
// For text whose characters are all at most U+00FF the result is therefore
// the plain MD5 of one byte per character.
std::string Md5Hex(std::u16string_view text, int lengthSelector);

} // namespace velmora
