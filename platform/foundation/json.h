#pragma once
// JSON documents of the exchange files, on nlohmann-json.
#include <cstdint>
#include <string>

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

// Parses a document whose root is an object or an array (a bare scalar is an error).
// False with a reason in *error; the text is never trusted (depth and size are bounded).
bool json_parse(const std::string &text, Json *out, std::string *error);

// Pretty-printed, keys sorted, "/" not escaped; bytes that are not UTF-8 become U+FFFD.
std::string json_dump_pretty(const Json &value);

// A JSON number (or boolean, which the files treat as a number) as an unsigned 32-bit value,
// fractions cut. False for other types, negative, non-finite and too large values.
bool json_to_u32(const Json &value, uint32_t *out);
