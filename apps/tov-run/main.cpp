// Headless runner: filled in with the machine.
#include <cstdio>
int main() { std::puts("result: none"); return 3; }
