// cubemill-browse: a pivot window over a cube file; with an MDX query, opens showing it. With
// --export, writes the window's export of that layout instead, without a window.
#include <getopt.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

#include "ui/browse_front_end.h"
#include "version.h"

namespace {

constexpr int kExitUsage = 2;

const char* const kUsage =
    "Usage: cubemill-browse [OPTION]... [CUBE [MDX | VIEW.cmview]]\n"
    "       cubemill-browse --export FILE.csv|FILE.xlsx CUBE [MDX | VIEW.cmview]\n"
    "\n"
    "Opens a window that shows the cube file CUBE as a pivot table: drag its dimensions' levels\n"
    "onto rows and columns, click + and - to drill down and up, slice by members, sort by a\n"
    "column, chart the answer, copy it or export it as CSV or as an .xlsx workbook. With MDX,\n"
    "the window opens showing that query's answer laid out as a pivot (a query the pivot cannot\n"
    "show: the window says why and shows the default layout); with VIEW.cmview, showing that\n"
    "view. Without CUBE, choose one with File > Open cube.\n"
    "\n"
    "Edit > Undo (Ctrl+Z) and Redo (Ctrl+Shift+Z, Ctrl+Y) step through the layout's changes.\n"
    "File > Save view writes the layout to a VIEW.cmview file (its fields, slicers, sort and\n"
    "filter by name, and the MDX); File > Open view shows one on the cube open, leaving out and\n"
    "naming what that cube lacks. Each cube's last layout is kept in\n"
    "$XDG_CONFIG_HOME/cubemill/cubemill-browse.ini and shown again when it opens.\n"
    "\n"
    "With --export, no window opens and no display is needed: the answer to MDX (without MDX,\n"
    "the default layout; for VIEW.cmview, that view's layout, which must name nothing the cube\n"
    "lacks) is written to FILE exactly as the window's export writes it, a workbook for a name\n"
    "ending in .xlsx, CSV for one ending in .csv: the cube file and the\n"
    "slicers above, a column per level of each row field. The file appears complete or not at\n"
    "all; an earlier file stays as it was when the export fails.\n"
    "\n"
    "Options:\n"
    "  -e, --export FILE  write the answer to FILE (.csv or .xlsx) and exit\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 when the window was closed or the file written; 1 when an export failed (one\n"
    "line on stderr says why: the cube, the view, the query, the file); 2 for a wrong option or "
    "argument.\n";

bool EndsWith(const std::string& text, const char* end) {
  const std::size_t length = std::strlen(end);
  if (text.size() < length) return false;
  std::string tail = text.substr(text.size() - length);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == end;
}

}  // namespace

int main(int argc, char** argv) {
  static const option kLongOptions[] = {{"export", required_argument, nullptr, 'e'},
                                        {"help", no_argument, nullptr, 'h'},
                                        {"version", no_argument, nullptr, 'V'},
                                        {nullptr, 0, nullptr, 0}};
  ::opterr = 1;
  std::string export_file;
  bool exporting = false;
  for (int code; (code = ::getopt_long(argc, argv, "e:hV", kLongOptions, nullptr)) != -1;) {
    switch (code) {
      case 'e':
        export_file = ::optarg;
        exporting = true;
        break;
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
  if (exporting) {
    if (!EndsWith(export_file, ".csv") && !EndsWith(export_file, ".xlsx")) {
      std::fprintf(stderr, "cubemill-browse: the export's file name must end in .csv or .xlsx\n");
      return kExitUsage;
    }
    if (arguments < 1) {
      std::fprintf(stderr, "cubemill-browse: --export needs the CUBE to answer from\n");
      return kExitUsage;
    }
    return cubemill::ui::ExportWithoutWindow(export_file, operands[0],
                                             arguments == 2 ? operands[1] : "");
  }
  // The options are read before Qt starts, so that --help and a wrong option need no display.
  return cubemill::ui::RunBrowseWindow(argv[0], arguments >= 1 ? operands[0] : "",
                                       arguments == 2 ? operands[1] : "");
}
