#include <iostream>
int main() {
    std::cout << "pagewell " << PAGEWELL_VERSION << "\n";
}
