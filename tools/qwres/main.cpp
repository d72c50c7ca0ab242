// qwres: puts resources into a linked program, as the Windows build would link them in.
//   qwres append PROGRAM OUTPUT TYPE:NAME=FILE...   the program with these resources appended
//   qwres list FILE                                 the resources a program carries
//   qwres extract FILE TYPE NAME OUTPUT             one resource's bytes into a file
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/qw_resource.h"

namespace {

int Usage()
{
    std::fputs("usage: qwres append PROGRAM OUTPUT TYPE:NAME=FILE...\n"
               "       qwres list FILE\n"
               "       qwres extract FILE TYPE NAME OUTPUT\n",
               stderr);
    return 2;
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    out.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    return !f.bad();
}

int Append(int argc, char** argv)
{
    if (argc < 5) return Usage();
    std::vector<qwp::ResourceBlock> blocks;
    for (int i = 4; i < argc; ++i) {
        std::string entry = argv[i];
        size_t colon = entry.find(':');
        size_t equals = entry.find('=');
        if (colon == std::string::npos || equals == std::string::npos || colon > equals || colon == 0 ||
            equals == colon + 1) {
            std::fprintf(stderr, "qwres: bad resource '%s' (TYPE:NAME=FILE)\n", argv[i]);
            return 2;
        }
        qwp::ResourceBlock b;
        b.type = entry.substr(0, colon);
        b.name = entry.substr(colon + 1, equals - colon - 1);
        std::string file = entry.substr(equals + 1);
        if (!ReadFile(file, b.data)) {
            std::fprintf(stderr, "qwres: cannot read %s\n", file.c_str());
            return 1;
        }
        blocks.push_back(std::move(b));
    }
    std::string error;
    if (!qwp::WriteProgramWithResources(argv[2], argv[3], blocks, error)) {
        std::fprintf(stderr, "qwres: %s: %s\n", argv[3], error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return Usage();
    std::string command = argv[1];
    if (command == "append") return Append(argc, argv);
    if ((command == "list" && argc == 3) || (command == "extract" && argc == 6)) {
        std::vector<qwp::ResourceBlock> blocks;
        std::string error;
        if (!qwp::ReadResourceTable(argv[2], blocks, error)) {
            std::fprintf(stderr, "qwres: %s: %s\n", argv[2], error.c_str());
            return 1;
        }
        for (const qwp::ResourceBlock& b : blocks) {
            if (command == "list") {
                std::printf("%s %s %zu\n", b.type.c_str(), b.name.c_str(), b.data.size());
            } else if (b.type == argv[3] && b.name == argv[4]) {
                std::ofstream f(argv[5], std::ios::binary);
                f.write(reinterpret_cast<const char*>(b.data.data()), static_cast<std::streamsize>(b.data.size()));
                f.close();
                if (!f) {
                    std::fprintf(stderr, "qwres: cannot write %s\n", argv[5]);
                    return 1;
                }
                return 0;
            }
        }
        if (command == "extract") {
            std::fprintf(stderr, "qwres: %s has no resource %s %s\n", argv[2], argv[3], argv[4]);
            return 1;
        }
        return 0;
    }
    return Usage();
}
