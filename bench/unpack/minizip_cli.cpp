// minizip_cli ARCHIVE DESTINATION: Minizip as a command, so that it is measured as the peers are.
#include <cstdio>

#include "unzipfile.h"

int main(int argc, char **argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: minizip_cli ARCHIVE DESTINATION\n");
        return 2;
    }
    const int32_t rc = Minizip(argv[1], argv[2]);
    if (rc != minizip_result::kOk) {
        std::fprintf(stderr, "minizip_cli: Minizip failed with code %d\n", rc);
    }
    return rc;
}
