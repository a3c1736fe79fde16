#pragma once
// Switches the process to a locale for one test and restores the previous one.
#include <clocale>
#include <string>

class LocaleGuard {
public:
    explicit LocaleGuard(const char *name) : old_(setlocale(LC_ALL, nullptr)) {
        ok_ = setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleGuard() { setlocale(LC_ALL, old_.c_str()); }
    bool ok() const { return ok_; }

private:
    std::string old_;
    bool ok_ = false;
};
