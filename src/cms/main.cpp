// The reference content server. Its catalogue and API arrive with the server's own work;
// until then it only answers --version so that the target builds and installs.
#include <cstring>
#include <iostream>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "pagewell-cms " << PAGEWELL_CMS_VERSION << "\n";
        return 0;
    }
    std::cerr << "pagewell-cms: no catalogue server in this build yet\n";
    return 1;
}
