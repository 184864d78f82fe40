#include "control/CommandLine.h"

#include "base/ErrorReport.h"
#include "control/HeadlessFront.h"
#include "control/HealthCheck.h"
#include "control/TarvelService.h"
#include "data/TerminalRegistry.h"
#include "lookup/Clock.h"
#include "platform/StopSignals.h"
#include "status/NotFoundReport.h"
#include "status/ScanStatistics.h"
#include "status/StatsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <clocale>
#include <cstdio>
#include <exception>

namespace tarvel {

namespace {

QString FolderWithSeparator(const QByteArray& argument)
{
    QString folder = QDir::toNativeSeparators(QFileInfo(QFile::decodeName(argument)).absoluteFilePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

void Print(std::FILE* stream, const QByteArray& text)
{
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stream);
    std::fflush(stream);
}

// Lines of a refusal on standard error, each an error for the journal where it reads them.
void PrintError(const QByteArray& lines)
{
    const QByteArray prefix = PriorityPrefix(stderr, Priority::Error);
    QByteArray text;
    for (const QByteArray& line : lines.split('\n'))
        text += prefix + line + '\n';
    Print(stderr, text);
}

int RunHeadless(int argc, char** argv, const QString& folder)
{
    QCoreApplication app(argc, argv);
    const QString programFolder = folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder;
    HeadlessFront front;
    SystemClock clock;
    TarvelService service(front, programFolder, clock);
    if (folder.isEmpty())
        service.AddRemark(DefaultProgramFolderRemark(programFolder));
    InstallStopHandler(&app, [&app, &service] {
        service.Stop();
        app.quit();
    });
    service.FormCreate();
    if (!service.Start())
        return 1;
    const int status = app.exec();
    service.CloseRequested();
    return status;
}

int RunRegistryCommand(int argc, char** argv, const CommandLine& command, const QString& folder)
{
    QCoreApplication app(argc, argv);
    const QString programFolder = folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder;
    HeadlessFront front;
    if (folder.isEmpty())
        front.showRemark(DefaultProgramFolderRemark(programFolder));
    TerminalRegistry registry;
    try {
        if (!TarvelService::OpenTerminalRegistry(registry, programFolder, front))
            return 1; // the Error box has said why
        switch (command.action) {
        case CommandLine::Action::Register:
            if (registry.Locate(command.address)) {
                Print(stdout, command.address + " is registered already\n");
            } else {
                registry.Register(command.address);
                Print(stdout, "registered " + command.address + '\n');
            }
            break;
        case CommandLine::Action::Unregister: {
            const int removed = registry.Unregister(command.address);
            if (removed == 0) {
                PrintError("error: " + command.address + " is not registered");
                return 1;
            }
            Print(stdout, "unregistered " + command.address
                              + (removed > 1 ? " (" + QByteArray::number(removed) + " rows)" : QByteArray()) + '\n');
            break;
        }
        default:
            for (const QByteArray& address : registry.Addresses())
                Print(stdout, address + '\n');
            break;
        }
    } catch (const std::exception& error) {
        front.showGeneralError(QByteArray(error.what()));
        return 1;
    }
    return 0;
}

// Reads the statistics file and never writes it: a report may run beside the service.
int RunNotFoundReport(int argc, char** argv, const CommandLine& command, const QString& folder)
{
    QCoreApplication app(argc, argv);
    const QString programFolder = folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder;
    HeadlessFront front;
    if (folder.isEmpty())
        front.showRemark(DefaultProgramFolderRemark(programFolder));
    const QString file = StatsFile::FileOf(programFolder);
    if (!QFileInfo(file).isFile()) {
        front.showGeneralError("There is no statistics file " + QFile::encodeName(file)
                               + ": the service has not counted a code not found in this program folder yet");
        return 1;
    }
    try {
        StatsFile stats;
        stats.Open(file, true);
        ScanStatistics tallies;
        tallies.loadDays(stats.ReadDays(tallies.day().addDays(1 - command.days), tallies.day()));
        Print(stdout, NotFoundCsv(tallies.notFound(command.days)));
    } catch (const std::exception& error) {
        front.showGeneralError(QByteArray(error.what()));
        return 1;
    }
    return 0;
}

} // namespace

CommandLine ParseCommandLine(const QList<QByteArray>& arguments)
{
    CommandLine command;
    bool actionGiven = false;
    bool daysGiven = false;
    const auto setAction = [&](CommandLine::Action action, const QByteArray& option) {
        if (actionGiven && command.action != action && command.problem.isEmpty())
            command.problem = option + " cannot be combined with the option before it";
        actionGiven = true;
        command.action = action;
    };
    for (qsizetype i = 0; i < arguments.size() && command.problem.isEmpty(); ++i) {
        const QByteArray& option = arguments[i];
        const auto value = [&]() -> QByteArray {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                command.problem = option + " needs a value";
                return {};
            }
            return arguments[++i];
        };
        if (option == "--headless") {
            setAction(CommandLine::Action::Headless, option);
        } else if (option == "--program-folder") {
            const QByteArray folder = value();
            if (command.problem.isEmpty())
                command.programFolder = FolderWithSeparator(folder);
        } else if (option == "--register" || option == "--unregister") {
            setAction(option == "--register" ? CommandLine::Action::Register : CommandLine::Action::Unregister, option);
            command.address = value();
        } else if (option == "--list-terminals") {
            setAction(CommandLine::Action::ListTerminals, option);
        } else if (option == "--check") {
            setAction(CommandLine::Action::Check, option);
        } else if (option == "--not-found-report") {
            setAction(CommandLine::Action::NotFoundReport, option);
        } else if (option == "--days") {
            const QByteArray days = value();
            bool number = false;
            command.days = days.toInt(&number);
            if (command.problem.isEmpty() && (!number || command.days < 1 || command.days > ScanStatistics::kDaysKept))
                command.problem = "--days needs a whole number from 1 to 30, not " + days;
            daysGiven = true;
        } else if (option == "--version") {
            setAction(CommandLine::Action::Version, option);
        } else if (option == "--help" || option == "-h") {
            setAction(CommandLine::Action::Help, option);
        } else {
            command.problem = "unknown option " + option;
        }
    }
    if (daysGiven && command.action != CommandLine::Action::NotFoundReport && command.problem.isEmpty())
        command.problem = "--days goes with --not-found-report";
    return command;
}

Remark DefaultProgramFolderRemark(const QString& programFolder)
{
    return {Remark::Kind::Info, "program folder " + QFile::encodeName(programFolder)
                                    + " (the program's own; --program-folder DIR chooses another)"};
}

QByteArray UsageLine()
{
    return "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS | --unregister ADDRESS | "
           "--list-terminals | --check | --version | --help]";
}

QByteArray HelpText()
{
    return UsageLine()
         + "\n"
           "       tarvel [--program-folder DIR] --not-found-report [--days N]\n"
           "\n"
           "The price-check server for the store's barcode terminals.\n"
           "\n"
           "  (no option)             open the operator window\n"
           "  --headless              no window: start the service at once, the operator log on standard\n"
           "                          output, errors, warnings and notes on standard error; SIGINT or\n"
           "                          SIGTERM stops it\n"
           "  --program-folder DIR    read Tarvel.ini and Register.ini (or Setup.ini) and keep the terminal\n"
           "                          registry in DIR, which must exist, instead of the program's own folder\n"
           "  --register ADDRESS      allow the terminal with this IPv4 address\n"
           "  --unregister ADDRESS    remove the terminal with this address\n"
           "  --list-terminals        list the registered terminal addresses\n"
           "  --check                 check the setup without starting: the settings, the POS database\n"
           "                          as Start opens it, the registry and the port, one line each; exit\n"
           "                          status 0 when Start would succeed, 1 otherwise\n"
           "  --not-found-report      print the codes the lookups did not find in the last 30 days as CSV\n"
           "                          (code, count, first and last seen, last terminal), most often first\n"
           "  --days N                with --not-found-report: the last N days, 1 to 30, today included\n"
           "  --version               print the version\n"
           "  --help                  print this text\n";
}

int RunTarvel(int argc, char** argv, WindowRunner runWindow)
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QByteArray(argv[i]));
    const CommandLine command = ParseCommandLine(arguments);
    if (!command.problem.isEmpty()) {
        PrintError("tarvel: " + command.problem + '\n' + UsageLine());
        return 2;
    }
    // Prices follow the host's decimal separator.
    std::setlocale(LC_NUMERIC, "");

    switch (command.action) {
    case CommandLine::Action::Version:
        Print(stdout, QByteArray("tarvel ") + TARVEL_VERSION + '\n');
        return 0;
    case CommandLine::Action::Help:
        Print(stdout, HelpText());
        return 0;
    default:
        break;
    }

    const QString& folder = command.programFolder;
    // A mistyped folder would become a second program folder with a registry of its own.
    if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
        PrintError("tarvel: the program folder " + QFile::encodeName(folder) + " does not exist; nothing was done");
        return 2;
    }
    switch (command.action) {
    case CommandLine::Action::Register:
    case CommandLine::Action::Unregister:
    case CommandLine::Action::ListTerminals:
        return RunRegistryCommand(argc, argv, command, folder);
    case CommandLine::Action::Check:
        return RunCheck(argc, argv, folder);
    case CommandLine::Action::NotFoundReport:
        return RunNotFoundReport(argc, argv, command, folder);
    case CommandLine::Action::Window:
        if (runWindow)
            return runWindow(argc, argv, folder);
        return RunHeadless(argc, argv, folder);
    default:
        return RunHeadless(argc, argv, folder);
    }
}

} // namespace tarvel
