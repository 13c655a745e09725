// The scan log "HSWscanlog.xml": the current problem lists exported as an
// indented XML document into the data folder, then opened in the system's
// viewer for XML files. Rewritten on every export, never read.
//
//   <HSWscanlog>
//     <HSWVERSION>, <ScanningDate>, <TotalErrorsFound>
//     per area with problems, in area-bit order:
//     <Scanning Section="area name">
//       <Description>, <ErrorsInThisSection>"<count> <IDS_ERROR|IDS_ERRORS>"
//       per problem: <EntryDetails><Entry>detail 0</Entry>
//                                  <Details>detail text</Details></EntryDetails>
//
// Failures are only printed (one line per failing writer step, with the
// step's HRESULT) and the export goes on with the next step; the file is
// opened afterwards whatever happened.
//
// Runs on the user-interface thread while no scan or repair worker runs.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/problem.h"
#include "platform/shell_open.h"
#include "platform/xml_writer.h"

namespace hs {

class ScanManager;

inline constexpr TextView kScanLogFileName = u"HSWscanlog.xml";

// What the log says besides the problems.
struct ScanLogInfo {
  Text version;                        // the program's version text
  Text last_scan;                      // StrLastScan
  std::int32_t last_scan_results = 0;  // StrLastScanResults
};

// Takes one failure line, without a line end.
using ConsoleLine = std::function<void(std::string_view line)>;
// Writes the line and a line feed to the standard output.
void PrintLineToStdout(std::string_view line);

struct ScanLogResult {
  int failed_steps = 0;  // failure lines printed
  bool opened = false;   // the shell started opening the file
};

// Writes <data_folder>\HSWscanlog.xml from the manager's areas and opens it
// through `shell`. An empty data folder writes and opens nothing (a relative
// path would land in the current directory); it prints the file failure.
ScanLogResult ExportScanLog(const ScanManager& manager, const ScanLogInfo& info, const StringLookup& strings,
                            TextView data_folder, XmlWriterFactory& xml, ShellOpen& shell,
                            const ConsoleLine& console);

// "<count> <text>": the text of IDS_ERROR for a count of 1, of IDS_ERRORS
// otherwise.
Text ErrorCountText(std::size_t count, const StringLookup& strings);

}  // namespace hs
