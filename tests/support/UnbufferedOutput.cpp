// Test output reaches CTest even when a test process dies: stdout is
// unbuffered from before main, so a crash does not swallow what was printed.
#include <cstdio>

namespace {
const int kUnbuffered = [] {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    return 0;
}();
}  // namespace
