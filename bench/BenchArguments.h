// The benchmarks' one reading of their command-line options.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace BenchSupport {

// The value of "name N" on the command line, at least 1, or fallback.
inline int IntArgument(int argc, char** argv, const char* name, int fallback) {
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], name) == 0)
            return std::max(1, std::atoi(argv[i + 1]));
    }
    return fallback;
}

} // namespace BenchSupport
