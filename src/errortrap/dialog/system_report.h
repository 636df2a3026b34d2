#pragma once
// The system state report of the error dialog: a plain-text description of the program
// and of the machine (application, language runtime, operating system, fonts, memory,
// processor, printer, ports, network, video, mouse, keyboard, drives, multimedia).
//
// The lines are produced by systemReportLines() from a SystemSources, which names where
// every figure is read from; it touches no widget, so tests point it at fixture folders.
// BuildSystemReport() reads the real machine and writes the lines into the report box.
#include <cstdint>
#include <string>
#include <vector>

class QPlainTextEdit;

namespace wardline {

class UiServices;

// What the program says of itself in the report beyond its application object.
struct ReportedProgram {
    bool inDevEnvironment = false;  // under a debugger: no lines about the executable
    std::string helpFile;           // the help file F1 opens
};

// The display and pointer figures of the machine.
struct ScreenFigures {
    int widthPixels = 0;
    int heightPixels = 0;
    int32_t colors = 0;         // -1 when the display has more than 256 colours
    int16_t driverVersion = 0;  // the display driver's version number
    bool mousePresent = false;
};

// Where the report reads its figures from. realSystemSources() gives the live machine;
// tests replace the roots with fixture folders.
struct SystemSources {
    std::string procRoot = "/proc";
    std::string sysRoot = "/sys";
    std::string mountTable = "/proc/self/mounts";
    std::string asoundRoot = "/proc/asound";
    std::string windowsDirectory;  // folder of "system.INI" and "win.INI"
    std::string currentPath;
    ScreenFigures screen;
    ReportedProgram program;
};

// The live machine; the screen figures stay zero (the dialog side fills them).
SystemSources realSystemSources();

// Every line of the report, in order, without line ends.
std::vector<std::string> systemReportLines(const SystemSources& sources);

// Three blanks, the label (cut to 22 characters), then "." up to column 25.
std::string PadLabel(const std::string& label);

// Empties `kxCtrlArgs` and writes the report of the live machine and `program` into it, one
// line at a time, with the hourglass pointer shown through `ui`; sets `reportBuilt`.
void BuildSystemReport(QPlainTextEdit* kxCtrlArgs, bool& reportBuilt, const ReportedProgram& program, UiServices* ui);

// Inserts `line` and a line end at the end of the report box.
void AddReportLine(QPlainTextEdit* kxCtrlArgs, const std::string& line);

}  // namespace wardline
