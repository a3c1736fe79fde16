#pragma once
// Random identifiers (libuuid).
#include <string>

// A fresh random UUID in its 36-character text form, upper-case hexadecimal digits.
std::string uuid_random_text();
