#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

#include "app/remote_control.h"
#include "timetable/status_report.h"
#include "platform/app_object.h"
#include "platform/clock.h"

namespace morrowset {

namespace {

constexpr int kBadCommandLine = 2;
const char* const kBackground = "background";

void print(std::FILE* to, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), to);
    std::fflush(to);
}

// The toolkit's own options as it takes them out of the command line when it starts, with
// one dash or two: those that take the next argument as their value, and switches.
const char* const kToolkitOptionsWithValue =
    "platform platformpluginpath platformtheme plugin qwindowgeometry geometry qwindowicon icon "
    "qwindowtitle title session display name visual style stylesheet qmljsdebugger";
const char* const kToolkitSwitches = "reverse widgetcount testability nograb dograb qdebug qdevel";

void addToolkitOptions(QCommandLineParser& parser) {
    const auto add = [&parser](const char* names, const QString& valueName) {
        for (const QString& name : QString::fromLatin1(names).split(QLatin1Char(' '))) {
            QCommandLineOption option(name, QString(), valueName);
            option.setFlags(QCommandLineOption::HiddenFromHelp);
            parser.addOption(option);
        }
    };
    add(kToolkitOptionsWithValue, QStringLiteral("value"));
    add(kToolkitSwitches, QString());
}

int badCommandLine(const QString& name, const QString& what) {
    print(stderr, QStringLiteral("%1: %2\nTry '%1 --help' for more information.\n").arg(name, what));
    return kBadCommandLine;
}

const char* const kExitStatuses =
    "\nExit status:\n"
    "  0  done\n"
    "  1  --run, --stop: refused (the row is not checked, has no command line or could\n"
    "     not start; nothing of it is running), or the running Morrowset did not answer\n"
    "  2  the command line is wrong\n"
    "  3  --run, --stop: no Morrowset is running for this folder\n";

void printBytes(std::FILE* to, const std::string& bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), to);
    std::fflush(to);
}

// --status without a running Morrowset: what the files say, as the window would load them.
int statusFromFiles() {
    const StatusReport report = statusReport(platform::app().path(), platform::wallNow());
    printBytes(stderr, report.problem);
    printBytes(stdout, report.table);
    return 0;
}

// Asks the Morrowset running for this folder; without one, --status reads the files.
int askRunningMorrowset(const QString& name, const remote::Request& request) {
    const platform::AppObject& app = platform::app();
    const remote::Asked asked = remote::ask(app.instanceName(), request);
    const bool status = request.kind == remote::Request::Kind::Status;
    const std::string who = name.toStdString() + ": ";
    switch (asked.outcome) {
        case remote::Asked::Outcome::Answered:
            printBytes(stderr, asked.reply.err);
            printBytes(stdout, asked.reply.out);
            return asked.reply.exitStatus;
        case remote::Asked::Outcome::NotRunning:
            if (status) return statusFromFiles();
            printBytes(stderr, who + "no Morrowset is running for " + app.path() + "\n");
            return remote::kNotRunning;
        case remote::Asked::Outcome::NoAnswer:
            printBytes(stderr, who + "the Morrowset running for " + app.path() + " did not answer" +
                                   (status ? "; this is what its files say\n" : "\n"));
            return status ? statusFromFiles() : remote::kRefused;
    }
    return remote::kRefused;
}

// The row of --run or --stop, 1 to 6, as the row 0 to 5.
std::optional<int> rowOption(const QString& value) {
    bool number = false;
    const int row = value.toInt(&number);
    return number && row >= 1 && row <= 6 ? std::optional<int>(row - 1) : std::nullopt;
}

}  // namespace

std::optional<int> answerCommandLine(const QStringList& arguments, bool toolkitStarted) {
    // Named as it was called, like other programs of the command line.
    const QString name =
        arguments.isEmpty() ? QStringLiteral("Morrowset") : QFileInfo(arguments.first()).fileName();
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Starts up to six programs, each at a set time of day, from a six-row timetable.\n"
                       "Qt's own options (such as -platform offscreen) are taken too."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption status(
        QStringLiteral("status"),
        QStringLiteral("Show each row's settings, next start and last run, and exit. Asked of the Morrowset "
                       "running for this folder, also its pause, its unsaved rows and its runs going."));
    const QCommandLineOption run(QStringLiteral("run"),
                                 QStringLiteral("Start row N at once, as NOW does, in the Morrowset running for "
                                                "this folder."),
                                 QStringLiteral("N"));
    const QCommandLineOption stop(QStringLiteral("stop"),
                                  QStringLiteral("Stop the run of row N going in the Morrowset running for this "
                                                 "folder, as Stop run does."),
                                  QStringLiteral("N"));
    parser.addOptions({help, version, status, run, stop});
    parser.addOption(QCommandLineOption(QString::fromLatin1(kBackground),
                                        QStringLiteral("Start with the window hidden in the system tray.")));
    // The toolkit's options are single words after one dash ("-platform"), not letters.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    if (!toolkitStarted) addToolkitOptions(parser);
    const bool parsed = parser.parse(arguments);
    if (!parsed || !parser.positionalArguments().isEmpty()) {
        if (!parsed) return badCommandLine(name, parser.errorText());
        return badCommandLine(
            name, QStringLiteral("unexpected argument '%1'").arg(parser.positionalArguments().first()));
    }
    if (parser.isSet(help)) {
        // Before the toolkit starts the parser does not know the program's name.
        print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"), name) +
                          QString::fromLatin1(kExitStatuses));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, name + QLatin1Char(' ') + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    }
    const QStringList runs = parser.values(run);
    const QStringList stops = parser.values(stop);
    if ((parser.isSet(status) ? 1 : 0) + runs.size() + stops.size() > 1)
        return badCommandLine(name, QStringLiteral("--status, --run and --stop go one at a time"));
    if (parser.isSet(status)) return askRunningMorrowset(name, {remote::Request::Kind::Status, 0});
    for (const auto& [values, kind] : {std::pair{runs, remote::Request::Kind::Run}, {stops, remote::Request::Kind::Stop}}) {
        if (values.isEmpty()) continue;
        const std::optional<int> row = rowOption(values.first());
        if (!row) return badCommandLine(name, QStringLiteral("no row '%1': the rows are 1 to 6").arg(values.first()));
        return askRunningMorrowset(name, {kind, *row});
    }
    return std::nullopt;
}

std::optional<int> answerCommandLine(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return answerCommandLine(arguments, false);
}

bool startsInBackground(const QStringList& arguments) {
    // The toolkit's options are taken with one dash or two, and so is this one.
    const QString option = QString::fromLatin1(kBackground);
    return arguments.mid(1).contains(QLatin1Char('-') + option) ||
           arguments.mid(1).contains(QStringLiteral("--") + option);
}

}  // namespace morrowset
