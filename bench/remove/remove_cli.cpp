// remove_cli PATH: the provider's util_remove_file as a command, measured as "rm -rf" is.
#include <cstdio>

#include "working_area.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: remove_cli PATH\n");
        return 2;
    }
    const int rc = util_remove_file(argv[1]);
    if (rc != 0) {
        std::fprintf(stderr, "remove_cli: util_remove_file returned %d\n", rc);
    }
    return rc == 0 ? 0 : 1;
}
