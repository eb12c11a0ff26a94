// The tarndb command-line tool: create, inspect, dump, import and check database files.
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "usage: tarndb <command> [arguments]\n"
    "\n"
    "Commands:\n"
    "  create FILE        create an empty database file\n"
    "  info FILE          show the database settings and its tables\n"
    "\n"
    "Run 'tarndb <command> --help' for the arguments of a command.\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        std::fputs(kUsage, argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    std::fprintf(stderr, "tarndb: unknown command '%s'\n\n%s", argv[1], kUsage);
    return 2;
}
