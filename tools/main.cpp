#include <cstdio>

int main() {
  std::puts("corvane");
  return 0;
}
