// Leaks one block on purpose. Its test expects LeakSanitizer's report, so a
// tree where leak detection is off, or cannot run, fails instead of passing
// every suite unchecked.
#include <cstdio>
#include <cstdlib>

void* volatile lost = nullptr;

int main()
{
    lost = std::malloc(4242);
    lost = nullptr;
    std::puts("leaked 4242 bytes");
    return 0;
}
