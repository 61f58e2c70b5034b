// printf-style appending to a std::string, for the file writers.
#pragma once

#include <string>

namespace tmod {

__attribute__((format(printf, 2, 3))) void appendf(std::string& out, const char* format, ...);

} // namespace tmod
