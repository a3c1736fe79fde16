#pragma once
// What a `Setting` asks of the naming data of one output. The render queue's naming data
// implements it; the settings model only calls it.
#include <cstdint>
#include <string>

class NamingData {
public:
    virtual ~NamingData() = default;
    // The folder that contains the source file.
    virtual std::string folder_src() const = 0;
    // Channel count of the output's audio layout (1, 2, 4, 6 or 8).
    virtual uint32_t audio_channel() const = 0;
    // The file base name made from a mask (without folder or extension); never fails.
    virtual std::string get_name_from_mask(const std::string &mask) const = 0;
};
