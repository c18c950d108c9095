// SHA-256 of a file through the program's digest (platform/util/Sha256.h), printed
// as sha256sum prints it, so that bench_resume.sh can time both on the same
// file. Usage: bench_sha256 FILE
#include "platform/util/Sha256.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_sha256 FILE\n");
        return 2;
    }
    const std::string digest = velmora::Sha256OfFile(argv[1]);
    if (digest.empty()) {
        std::fprintf(stderr, "bench_sha256: cannot read %s\n", argv[1]);
        return 1;
    }
    std::printf("%s  %s\n", digest.c_str(), argv[1]);
    return 0;
}
