#include "errortrap/dialog/system_report.h"

#include <QDateTime>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDevice>
#include <QLocale>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextCursor>

#include <algorithm>
#include <filesystem>

#include "errortrap/core/runtime_texts.h"
#include "errortrap/core/ui_services.h"
#include "errortrap/dialog/hourglass.h"
#include "platform/app_object.h"
#include "platform/conversions.h"
#include "platform/drives.h"
#include "platform/memory_status.h"
#include "platform/profile.h"
#include "platform/sound_devices.h"
#include "platform/system_info.h"

namespace wardline {
namespace {

constexpr std::size_t kProfileBuffer = 128;
constexpr char kUnknown[] = "<unknown>";
constexpr char kNotLoaded[] = "DLL NOT LOADED";
// No file of this platform carries version information (a version resource).
constexpr char kNoFileVersion[] = "";

std::string yesNo(bool value) { return pfText(value ? TextId::kYes : TextId::kNo); }
std::string bytes(uint64_t count) { return std::to_string(count) + pfText(TextId::kBytesSuffix); }

std::string upperCased(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; });
    return text;
}

// The report's text of a processor type number.
std::string cpuText(int32_t processorType) {
    switch (processorType) {
        case 386:
            return "80386";
        case 486:
            return "80486";
        case 586:
            return "Pentium";
        default:
            return "";
    }
}

// Collects the report's lines. A figure that cannot be read leaves its item's value empty.
class ReportLines {
public:
    explicit ReportLines(const SystemSources& sources) : sources_(sources) {}

    void header(const std::string& title) { lines_.push_back(title); }
    void item(const std::string& label, const std::string& value) { lines_.push_back(PadLabel(label) + value); }
    void line(std::string text) { lines_.push_back(std::move(text)); }

    // A value of "system.INI" or "win.INI" in the Windows directory; "<unknown>" when missing.
    std::string profile(const char* file, const char* section, const char* key) const {
        std::string value;
        platform::getPrivateProfileString(section, key, kUnknown, value, kProfileBuffer,
                                          sources_.windowsDirectory + "/" + file);
        return value;
    }
    std::string systemIni(const char* section, const char* key) const { return profile("system.INI", section, key); }
    std::string winIni(const char* section, const char* key) const { return profile("win.INI", section, key); }

    // A driver named in "system.INI" [boot]-style sections: its name upper-cased, then its
    // version under `versionLabel`.
    void driver(const std::string& label, const std::string& versionLabel, const char* section, const char* key) {
        const std::string name = systemIni(section, key);
        item(label, upperCased(name));
        item(versionLabel, kNoFileVersion);
    }

    const SystemSources& sources() const { return sources_; }
    std::vector<std::string> take() { return std::move(lines_); }

private:
    const SystemSources& sources_;
    std::vector<std::string> lines_;
};

// The executable's own lines; left out when running inside the development environment.
void addExecutableLines(ReportLines& report) {
    const platform::AppObject& app = platform::app();
    const std::string exe = app.exeFolder() + "/" + app.exeName();
    const QFileInfo file(QString::fromStdString(exe));
    report.item("EXE name", exe);
    report.item("EXE time stamp",
                file.exists() ? QLocale().toString(file.lastModified(), QLocale::ShortFormat).toStdString() : "");
    report.item("EXE size", file.exists() ? bytes(static_cast<uint64_t>(file.size())) : "");
    report.item("EXE version", kNoFileVersion);
}

void addApplication(ReportLines& report) {
    const platform::AppObject& app = platform::app();
    report.header("Application");
    report.item("Title", app.title());
    report.item("Path", app.path());
    report.item("Project version", std::to_string(app.major()) + "." + std::to_string(app.minor()) + "." +
                                       std::to_string(app.revision()));
    report.item("OLE Server", yesNo(false));  // never started as an automation server here
    report.item("Previous instance", app.prevInstance() ? "True" : "False");
    report.item("Help file", report.sources().program.helpFile);
    if (!report.sources().program.inDevEnvironment) addExecutableLines(report);
}

// The language runtime library is never loaded on this platform.
void addLanguageRuntime(ReportLines& report) {
    report.header("Visual Basic");
    report.item("DLL Name", kNotLoaded);
    report.item("DLL Version", kNotLoaded);
    report.item("EXE name", "VB32.EXE");
    report.item("EXE version", kNoFileVersion);
}

void addOperatingSystem(ReportLines& report) {
    const SystemSources& sources = report.sources();
    const auto kernel = platform::kernelVersion(sources.procRoot);
    report.header("Operating System");
    report.item("Windows version", kernel ? kernel->name + " " + std::to_string(kernel->major) + "." +
                                                std::to_string(kernel->minor)
                                          : "");
    report.item("Debug KERNEL.EXE", yesNo(false));
    report.item("Language", upperCased(report.systemIni("boot.description", "language.dll")));
    report.item("Windows directory", sources.windowsDirectory);
    report.item("Current path", sources.currentPath);
}

void addFonts(ReportLines& report) {
    const auto positive = [&](const char* key) {
        return yesNo(platform::leadingNumber(report.winIni("TrueType", key)) > 0);
    };
    report.header("Fonts");
    report.item("TrueType enabled", positive("TTEnable"));
    report.item("TrueType only", positive("TTOnly"));
    report.item("Default", upperCased(report.winIni("fonts", "default")));
}

void addMemory(ReportLines& report) {
    const auto memory = platform::readMemoryStatus(report.sources().procRoot);
    report.header("Memory");
    report.item("Total Memory", memory ? bytes(memory->totalPhysical) : "");
    report.item("Total Memory Free", memory ? bytes(memory->availablePhysical) : "");
    report.item("Pct. Memory Free", memory ? std::to_string(100 - std::min<uint32_t>(memory->memoryLoad, 100)) + "%" : "");
}

void addProcessor(ReportLines& report) {
    const SystemSources& sources = report.sources();
    const auto count = platform::processorCount(sources.sysRoot);
    report.header("Processor");
    report.item("CPU", cpuText(platform::processorTypeFor(platform::machineName(sources.procRoot))));
    report.item("No. Processors", count ? std::to_string(*count) : "");
}

void addPrinterAndPorts(ReportLines& report) {
    report.header("Printer");
    report.item("Description", upperCased(report.winIni("windows", "device")));
    report.header("Ports");
    report.driver("Serial driver", "Driver version", "boot", "comm.drv");
    for (const char* port : {"com1:", "com2:", "com3:", "com4:"}) {
        const std::string label = "COM" + std::string(1, port[3]) + " configuration";
        report.item(label, upperCased(report.winIni("ports", port)));
    }
}

void addNetwork(ReportLines& report) {
    report.header("Network");
    report.driver("Driver", "Version", "boot", "network.drv");
    report.item("Description", report.systemIni("boot.description", "network.drv"));
}

void addVideo(ReportLines& report) {
    const ScreenFigures& screen = report.sources().screen;
    report.header("Video");
    report.driver("Driver version", "Version", "boot", "display.drv");
    report.item("Description", report.systemIni("boot.description", "display.drv"));
    report.item("Mfrs. version #", std::to_string(screen.driverVersion));
    report.item("Colors", std::to_string(screen.colors));
    report.item("Screen size", std::to_string(screen.widthPixels) + " X " + std::to_string(screen.heightPixels));
}

void addMouseAndKeyboard(ReportLines& report) {
    report.header("Mouse");
    report.item("Mouse present", yesNo(report.sources().screen.mousePresent));
    report.driver("Driver version", "Version", "boot", "mouse.drv");
    report.item("Description", report.systemIni("boot.description", "mouse.drv"));
    report.header("Keyboard");
    report.driver("Driver version", "Version", "boot", "keyboard.drv");
    report.item("Description", report.systemIni("boot.description", "keyboard.typ"));
}

// One line per drive, in letter order from A; a fixed or network drive adds its free space.
void addDriveLine(ReportLines& report, const platform::Drive& drive) {
    const std::string text = std::string("   Drive ") + drive.letter + ": is ";
    const auto withFreeSpace = [&](const char* kind) {
        report.line(text + kind);
        const auto free = platform::freeBytes(drive.mountPoint);
        report.item("   Free Space", free ? bytes(*free) : "");
    };
    switch (drive.type) {
        case platform::DriveType::Removable:
            report.line(text + "removable ()");
            break;
        case platform::DriveType::Fixed:
            withFreeSpace("fixed (local)");
            break;
        case platform::DriveType::Remote:
            withFreeSpace("remote (network)");
            break;
        case platform::DriveType::CdRom:
            report.line(text + "remote (read-only network or CD)");
            break;
        default:
            break;  // unknown kinds and RAM disks are not listed
    }
}

void addDrives(ReportLines& report) {
    const SystemSources& sources = report.sources();
    const std::vector<platform::Drive> drives = platform::logicalDrives(sources.mountTable, sources.sysRoot);
    const auto floppies = std::count_if(drives.begin(), drives.end(),
                                        [](const platform::Drive& d) { return d.letter == 'A' || d.letter == 'B'; });
    report.header("Drives");
    report.item("Floppies", std::to_string(floppies));
    report.item("Disks", std::to_string(static_cast<long>(drives.size()) - floppies));
    for (const platform::Drive& drive : drives) addDriveLine(report, drive);
}

void addMultimedia(ReportLines& report) {
    const SystemSources& sources = report.sources();
    report.header("Multimedia");
    report.item("WAV Devices", std::to_string(platform::waveOutDeviceCount(sources.asoundRoot)));
    report.driver("WAV Driver", "   Version", "drivers", "Wave");
    if (const auto caps = platform::waveOutCapabilities(0, sources.asoundRoot)) {
        report.item("WAV version", std::to_string(caps->driverMajor) + "." + std::to_string(caps->driverMinor));
        report.item("WAV Description", caps->productName);
    }
    report.driver("CD Audio", "   Version", "mci", "CDAudio");
    report.driver("Sequencer", "   Version", "mci", "Sequencer");
    report.driver("Wave Audio", "   Version", "mci", "WaveAudio");
    report.driver("AVI Video", "   Version", "mci", "AVIVideo");
}

// The display figures of the primary screen and whether a pointing device is attached.
ScreenFigures liveScreenFigures() {
    ScreenFigures figures;
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        figures.widthPixels = screen->size().width();
        figures.heightPixels = screen->size().height();
        const int depth = screen->depth();
        figures.colors = depth > 8 ? -1 : (1 << std::max(depth, 0));
    }
    const auto devices = QInputDevice::devices();
    figures.mousePresent = std::any_of(devices.begin(), devices.end(), [](const QInputDevice* device) {
        return device->type() == QInputDevice::DeviceType::Mouse ||
               device->type() == QInputDevice::DeviceType::TouchPad;
    });
    return figures;
}

}  // namespace

SystemSources realSystemSources() {
    SystemSources sources;
    sources.windowsDirectory = platform::windowsDirectory();
    std::error_code error;
    sources.currentPath = std::filesystem::current_path(error).string();
    return sources;
}

std::vector<std::string> systemReportLines(const SystemSources& sources) {
    ReportLines report(sources);
    for (auto section : {addApplication, addLanguageRuntime, addOperatingSystem, addFonts, addMemory, addProcessor,
                         addPrinterAndPorts, addNetwork, addVideo, addMouseAndKeyboard, addDrives, addMultimedia})
        section(report);
    return report.take();
}

std::string PadLabel(const std::string& label) {
    constexpr std::size_t kWidth = 25;
    constexpr std::size_t kLongestLabel = 22;
    std::string padded = "   " + label.substr(0, kLongestLabel);
    padded.resize(kWidth, '.');
    return padded;
}

void AddReportLine(QPlainTextEdit* kxCtrlArgs, const std::string& line) {
    // Always at the very end, however long the report has grown.
    QTextCursor cursor(kxCtrlArgs->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(QString::fromStdString(line) + QLatin1Char('\n'));
}

void BuildSystemReport(QPlainTextEdit* kxCtrlArgs, bool& reportBuilt, const ReportedProgram& program, UiServices* ui) {
    const Hourglass hourglass(ui);
    reportBuilt = true;
    SystemSources sources = realSystemSources();
    sources.program = program;
    if (ui) ui->processEvents();
    sources.screen = liveScreenFigures();
    const std::vector<std::string> lines = systemReportLines(sources);
    kxCtrlArgs->clear();
    for (const std::string& line : lines) AddReportLine(kxCtrlArgs, line);
    QTextCursor start(kxCtrlArgs->document());
    kxCtrlArgs->setTextCursor(start);
}

}  // namespace wardline
