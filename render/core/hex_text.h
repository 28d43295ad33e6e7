// Upper-case hexadecimal spelling of bytes, two digits a byte ("%02X"), as the
// printer expects texts it must not parse (names, fonts, comments).
#pragma once

#include <string>

// May throw std::bad_alloc.
std::string UpperHex(const std::string& bytes);
