#include <sys/stat.h>

#include "cli/CommandLine.h"

int main(int argc, char** argv) {
    // Everything the app creates is for its user alone.
    ::umask(077);
    return pagewell::cli::CommandLine().run(argc, argv);
}
