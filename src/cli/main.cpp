#include <cstdio>

int main() {
    std::puts("glyphora-cli: not yet");
    return 0;
}
