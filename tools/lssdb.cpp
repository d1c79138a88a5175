#include <cstdio>
int main() { std::puts("lssdb: not built yet"); return 1; }
