// skinc: compiles the skin sources into the application's skin package.
//
//   skinc -o PACKAGE [--depfile FILE] [--preview DIR] [--elements DIR] SOURCE...
//
// SOURCE is a *.skin file or a folder searched for them. --depfile writes the files read (for
// the build), --preview writes DIR/WINDOW.png: each window at rest as the toolkit composes it,
// --elements every image of the package as a PNG file.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "tools/skinc/skin_compiler.h"
#include "tools/skinc/skin_preview.h"

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: skinc -o PACKAGE [--depfile FILE] [--preview DIR] [--elements DIR] SOURCE...\n");
    return 2;
}

std::string Escape(const std::string& path)
{
    std::string out;
    for (char c : path) {
        if (c == ' ') out += '\\';
        out += c;
    }
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string output, depfile, previewDir, elementDir;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if ((a == "-o" || a == "--depfile" || a == "--preview" || a == "--elements") && i + 1 < argc) {
            (a == "-o" ? output : a == "--depfile" ? depfile : a == "--preview" ? previewDir : elementDir) = argv[++i];
        } else if (!a.empty() && a[0] == '-') {
            return Usage();
        } else {
            inputs.push_back(a);
        }
    }
    if (output.empty() || inputs.empty()) return Usage();

    skinc::Compiler compiler;
    std::vector<skinc::SourceText> sources;
    bool ok = skinc::ReadSources(inputs, sources, compiler.Diag()) && compiler.Compile(sources) &&
              compiler.Package().Write(output);
    if (ok && !previewDir.empty()) ok = skinc::WritePreviews(compiler, previewDir);
    if (ok && !elementDir.empty()) ok = skinc::WriteElements(compiler, elementDir);
    const auto& errors = compiler.Diag().Errors();
    for (size_t i = 0; i < errors.size() && i < 50; ++i) std::fprintf(stderr, "%s\n", errors[i].c_str());
    if (errors.size() > 50) std::fprintf(stderr, "... and %zu more errors\n", errors.size() - 50);
    if (!ok || !errors.empty()) return 1;

    if (!depfile.empty()) {
        std::ofstream dep(depfile, std::ios::binary);
        dep << Escape(output) << ":";
        for (const skinc::SourceText& s : sources) dep << " \\\n  " << Escape(s.path);
        for (const std::string& f : compiler.ExtraInputs()) dep << " \\\n  " << Escape(f);
        dep << "\n";
        if (!dep) {
            std::fprintf(stderr, "cannot write %s\n", depfile.c_str());
            return 1;
        }
    }
    return 0;
}
