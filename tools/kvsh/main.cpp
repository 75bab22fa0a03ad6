#include "kvsh.h"

int main(int argc, char** argv) { return kvsh::Main(argc, argv); }
