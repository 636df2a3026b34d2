#include "app/command_line.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <cstdio>

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
    const QCommandLineOption status(QStringLiteral("status"),
                                    QStringLiteral("Show each row's settings, next start and last run, and exit."));
    parser.addOptions({help, version, status});
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
        print(stdout, parser.helpText().replace(QStringLiteral("<executable_name>"), name));
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, name + QLatin1Char(' ') + QCoreApplication::applicationVersion() + QLatin1Char('\n'));
        return 0;
    }
    if (parser.isSet(status)) {
        const StatusReport report = statusReport(platform::app().path(), platform::wallNow());
        std::fputs(report.problem.c_str(), stderr);
        std::fputs(report.table.c_str(), stdout);
        std::fflush(stdout);
        return 0;
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
