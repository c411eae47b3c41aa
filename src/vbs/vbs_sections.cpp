#include "vbs/vbs_sections.h"

#include <string>

#include "settings/date_format.h"
#include "vbs/statement_blocks.h"
#include "vbs/vbs_file.h"

namespace cubemill::vbs {
namespace {

constexpr std::string_view kPreamble[] = {
    "On Error Resume Next",
    "'Error collection string",
    "Dim sErrors",
    "",
    "'overall Result",
    "Dim bResult",
    "   bResult = true",
    "",
    "'aktueller Pfad - wird für die DSN Datei un den Cube genutzt",
    "Dim sCurPath",
    "   sCurPath = CreateObject(\"Scripting.FileSystemObject\").GetAbsolutePathName(\".\")",
    "",
    "'aktueller Datum - wird für die CUB Datei genutzt",
    "Dim sCurTS",
    "   sCurTS = Year(now) & \"-\" & padZero(Month(now),2) & \"-\" & padZero(Day(now),2) & \"_\" "
    "& padZero(Hour(now),2) & \"-\" & padZero(Minute(now),2) & \"-\" & padZero(Second(now),2)",
};

// Written only when the job has no time-stamp pattern: the cube file keeps its own name.
constexpr std::string_view kBlankTimestamp = "   sCurTS = \"\"";

constexpr std::string_view kConnection[] = {
    "\r\nDim Connection",
    "Set Connection = CreateObject(\"ADODB.Connection\")",
    "Connection.Provider = \"msolap\" ",
    " Connection.ConnectionString = _ \r\n"
    "\tConnCubLocation & _ \r\n"
    "\tConnDSN & _ \r\n"
    "\tConnCreateCube & _ \r\n"
    "\tConnInsertCube & \" \" & ConnSelectCube",
    "Connection.Open",
};

constexpr std::string_view kTrailer[] = {
    "If Err.Number <> 0 Then",
    "   sErrors = LogError(Err, sErrors)",
    "   Err.Clear",
    "   bResult = false",
    "else",
    "   Connection.Close",
    "   Set Connection = Nothing",
    "End If",
    "On Error Goto 0 ' Stop looking for errors",
    "",
    "if bResult then",
    "   sErrors = \"Waiting 2 Seconds\" & vbCrLF + \"Everything is well done.\"",
    "   sTitel = \"Creation Info\"",
    "   iSek = 2 'Anzeigedauer in Sekunden",
    "   Set WshShell = WScript.CreateObject(\"WScript.Shell\")",
    "   WshShell.Popup sErrors, iSek, sTitel, vbInformation",
    "   WScript.Quit (0)",
    "else",
    "   sErrors = \"Waiting 5 Seconds\" & vbCrLF + \"Errors: \" & sErrors",
    "   sTitel = \"Creation Error\"",
    "   iSek = 5 'Anzeigedauer in Sekunden",
    "   Set WshShell = WScript.CreateObject(\"WScript.Shell\")",
    "   WshShell.Popup sErrors, iSek, sTitel, vbCritical",
    "   WScript.Quit (56)",
    "end if",
    "",
    "Function LogError(Details, sErrors)",
    "   Dim fs : Set fs = CreateObject(\"Scripting.FileSystemObject\")",
    "   Dim logFile : Set logFile = fs.OpenTextFile(sCurPath & \"\\cube_errors.log\", 8, True)",
    "   logFile.WriteLine(Now() & \": Error: \" & Details.Number & \" Details: \" & "
    "Details.Description)",
    "   LogError = sErrors & vbCrLf & \": Error: \" & Details.Number & \" Details: \" & "
    "Details.Description",
    "End function",
    "",
    "'Function to format the Date/Time Value",
    "Function padZero(n, totalDigits)",
    "   If totalDigits > len(n) then",
    "       padZero = String(totalDigits-len(n),\"0\") & n",
    "   Else",
    "       padZero = n",
    "   End If",
    "End Function",
};

}  // namespace

bool WriteVbsHeader(VbsScript& script, const CubeJob& job, const platform::Clock& clock) {
  StartVbsFile(script, "' Program: Cubemill");
  AppendVbsLine(script, "' Author: Cubemill Team");
  AppendVbsLine(script, "' Copyright: The Cubemill Team (MIT License)");
  // Fixed text of the script's header, not the program's version: keep it as it is.
  AppendVbsLine(script, "' Version: 1.2.00");
  AppendVbsLine(script, "' OQY Origin: " + OneScriptLine(job.OqyFile));
  AppendVbsLine(script, "' Date: " + settings::FormatDateTime(clock.Now(), "DD.MM.YYYY"));
  return true;
}

bool WriteVbsPreamble(VbsScript& script, const CubeJob& job) {
  for (std::string_view line : kPreamble) AppendVbsLine(script, line);
  if (job.CubTimestamp.empty()) AppendVbsLine(script, kBlankTimestamp);
  return true;
}

bool WriteVbsConnection(VbsScript& script) {
  for (std::string_view item : kConnection) AppendVbsLine(script, item);
  return true;
}

bool WriteVbsTrailer(VbsScript& script) {
  return WriteTrailerItems([&script](std::string_view item) { AppendVbsLine(script, item); });
}

bool WriteTrailerItems(const std::function<void(std::string_view)>& append) {
  try {
    for (std::string_view line : kTrailer) append(line);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace cubemill::vbs
