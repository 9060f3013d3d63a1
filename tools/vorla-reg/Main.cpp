#include <iostream>
#include <string>
#include <vector>

#include "RegMain.h"

int main(int argc, char* argv[]) {
    return vorlareg::RegMain(std::vector<std::string>(argv + 1, argv + argc), std::cin, std::cout,
                             std::cerr);
}
