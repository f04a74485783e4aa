// Build-time tool that turns a file into C++ source holding its bytes, so a program can carry a copy of a data
// file inside itself. Usage: embedFile INPUT OUTPUT.cpp SYMBOL  (defines SYMBOL and SYMBOLSize)
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: embedFile INPUT OUTPUT.cpp SYMBOL\n");
        return 2;
    }
    FILE* input = std::fopen(argv[1], "rb");
    if (input == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    std::vector<unsigned char> bytes;
    unsigned char chunk[65536];
    size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, input)) > 0) {
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    std::fclose(input);

    FILE* output = std::fopen(argv[2], "wb");
    if (output == nullptr) {
        std::perror(argv[2]);
        return 1;
    }
    std::fprintf(output, "// Written at build time by embedFile from %s.\n#include <cstddef>\n\n", argv[1]);
    std::fprintf(output, "extern const unsigned char %s[];\nextern const size_t %sSize;\n", argv[3], argv[3]);
    std::fprintf(output, "const size_t %sSize = %zu;\nconst unsigned char %s[] = {", argv[3], bytes.size(), argv[3]);
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::fprintf(output, "%s%u,", i % 32 == 0 ? "\n" : "", bytes[i]);
    }
    std::fprintf(output, "\n0};\n");
    return std::fclose(output) == 0 ? 0 : 1;
}
