#include <cstdio>

int main() {
    std::puts("T_Modular");
    return 0;
}
