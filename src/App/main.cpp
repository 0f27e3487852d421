#include <cstdio>

int main(int argc, char **argv)
{
    (void)argc;
    (void)argv;
    std::fprintf(stderr, "quillmarsh: the application window is not built yet\n");
    return 1;
}
