// The program that carries the test programs' precompiled headers; it does
// nothing itself.
int main() {
  return 0;
}
