// QWSetup's entry. Its window comes with the window toolkit; until then the program opens its
// package as its start-up does and tells what it found.
#include <cstdio>

#include "installer/setup/setup_package.h"

int main()
{
    CQWF_Storage package;
    qwsetup::CDeployList list;
    CQWF_String why;
    if (!qwsetup::OpenSetupPackage(package, list, &why)) {
        std::fprintf(stderr, "%s\n(%s)\n", qwsetup::kCorruptSetupText, why.GetBuffer());
        return 1;
    }
    std::fprintf(stderr, "QWSetup: %u files to install; the setup window is not built yet\n", list.GetEntryCount());
    return 1;
}
