#include "Engine/Capture/AuditPipeHelper.h"

#include <cstdio>

int main(int argc, char **argv)
{
    // The root capture helper is this same executable; it must decide before any window exists.
    if (const std::optional<int> status = AuditPipeHelper::runIfRequested(argc, argv)) return *status;

    std::fprintf(stderr, "quillmarsh: the application window is not built yet\n");
    return 1;
}
