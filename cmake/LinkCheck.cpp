// The program of the link checks: it only has to link, with every object of one library.
int main() {
  return 0;
}
