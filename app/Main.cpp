#include <iostream>

#include "app/VorlaMain.h"

int main(int argc, char* argv[]) {
    return VorlaMain(argc, argv, std::cout, std::cerr);
}
