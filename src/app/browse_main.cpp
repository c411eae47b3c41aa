// cubemill-browse: a pivot window over a cube file; with an MDX query, opens showing it.
#include <getopt.h>

#include <cstdio>
#include <string>

#include "ui/browse_front_end.h"
#include "version.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: cubemill-browse [OPTION]... [CUBE [MDX]]\n"
    "\n"
    "Opens a window that shows the cube file CUBE as a pivot table: drag its dimensions' levels\n"
    "onto rows and columns, click + and - to drill down and up, slice by members, sort by a\n"
    "column, chart the answer, copy it or export it as CSV or as an .xlsx workbook. With MDX,\n"
    "the window opens showing that query's answer laid out as a pivot (a query the pivot cannot\n"
    "show: the window says why and shows the default layout). Without CUBE, choose one with\n"
    "File > Open cube.\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this help and exit\n"
    "  -V, --version  show the version and exit\n"
    "\n"
    "Exit status: 0 when the window was closed, 2 for a wrong option or argument.\n";

}  // namespace

int main(int argc, char** argv) {
  static const option kLongOptions[] = {{"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {nullptr, 0, nullptr, 0}};
  ::opterr = 1;
  for (int code; (code = ::getopt_long(argc, argv, "hV", kLongOptions, nullptr)) != -1;) {
    switch (code) {
      case 'h':
        std::fputs(kUsage, stdout);
        return 0;
      case 'V':
        std::printf("cubemill-browse %s\n", cubemill::kVersion);
        return 0;
      default:
        std::fputs(kUsage, stderr);
        return kExitUsage;
    }
  }
  const int arguments = argc - ::optind;
  char** const operands = argv + ::optind;
  if (arguments > 2) {
    std::fprintf(stderr, "cubemill-browse: expected at most CUBE and MDX, got %d arguments\n\n%s",
                 arguments, kUsage);
    return kExitUsage;
  }
  // The options are read before Qt starts, so that --help and a wrong option need no display.
  return cubemill::ui::RunBrowseWindow(argv[0], arguments >= 1 ? operands[0] : "",
                                       arguments == 2 ? operands[1] : "");
}
