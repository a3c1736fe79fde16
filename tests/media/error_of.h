#pragma once
// Runs a callable and returns the ProcessError text it throws ("" when nothing is thrown).
#include <string>

#include "platform/core/errors.h"

namespace mediatest {

template <typename Fn>
std::string error_of(Fn &&fn) {
    try {
        fn();
    } catch (const ProcessError &e) { return e.what(); }
    return "";
}

}  // namespace mediatest
