// The program of a link check (CMakeLists.txt, tavuno_link_check): built to prove a library
// needs nothing above it, never run.
int main() {
  return 0;
}
