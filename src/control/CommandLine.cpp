#include "control/CommandLine.h"

#include "base/ErrorReport.h"
#include "base/Errors.h"
#include "config/IniFile.h"
#include "control/HeadlessFront.h"
#include "control/HealthCheck.h"
#include "control/TarvelService.h"
#include "data/SqliteFile.h"
#include "data/TerminalRegistry.h"
#include "lookup/Clock.h"
#include "platform/Files.h"
#include "platform/Process.h"
#include "platform/StopSignals.h"
#include "status/NotFoundReport.h"
#include "status/NotFoundWorkbook.h"
#include "status/ScanStatistics.h"
#include "status/StatsFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include <clocale>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>

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

} // namespace

bool RefusedToRoot(const QString& programFolder)
{
    const std::optional<QByteArray> owner = OtherOwnerForRoot(programFolder);
    if (owner)
        PrintError("tarvel: the program folder " + QFile::encodeName(programFolder) + " belongs to user " + *owner
                   + ", and what root made there the service could not change: run it as that user, sudo -u " + *owner
                   + " tarvel ...; nothing was done");
    return owner.has_value();
}

namespace {

int RunHeadless(int argc, char** argv, const QString& folder)
{
    QCoreApplication app(argc, argv);
    const QString programFolder = folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder;
    if (RefusedToRoot(programFolder))
        return 1;
    HeadlessFront front;
    SystemClock clock;
    TarvelService service(front, programFolder, clock);
    if (folder.isEmpty())
        service.AddRemark(DefaultProgramFolderRemark(programFolder));
    InstallStopHandler(&app, [&app, &service] {
        service.Stop();
        app.quit();
    });
    service.readSettingsAndOpen();
    if (!service.Start())
        return 1;
    const int status = app.exec();
    service.CloseRequested();
    return status;
}

// What each command that runs no event loop starts with: the application, the program folder (said on
// standard error when it is the default) and the front for its messages.
struct OneShot {
    OneShot(int argc, char** argv, const QString& folder)
        : argc_(argc),
          app(argc_, argv),
          programFolder(folder.isEmpty() ? TarvelService::DefaultProgramFolder() : folder)
    {
        if (folder.isEmpty())
            front.showRemark(DefaultProgramFolderRemark(programFolder));
    }
    int argc_;
    QCoreApplication app;
    QString programFolder;
    HeadlessFront front;
};

// An address to register or unregister, and where it stands when a file gave it ("FILE line 3").
struct GivenAddress {
    QByteArray address;
    QByteArray where;
};

// The addresses of --register-file: one a line; blank lines, and what follows a "#", are passed over.
bool ReadAddressFile(const QString& file, QList<GivenAddress>& given, Front& front)
{
    QFile input(file);
    if (!input.open(QIODevice::ReadOnly)) {
        front.showGeneralErrorBox("Cannot read " + QFile::encodeName(file) + ": " + input.errorString().toLocal8Bit());
        return false;
    }
    input.close();
    std::optional<QByteArray> content;
    try {
        content = ReadSettingsBytes(file, "list of addresses");
    } catch (const TarvelError& refusal) {
        front.showGeneralErrorBox(refusal.what());
        return false;
    }
    const QList<QByteArray> lines = content.value_or(QByteArray()).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qsizetype comment = lines[i].indexOf('#');
        const QByteArray address = (comment < 0 ? lines[i] : lines[i].left(comment)).trimmed();
        if (!address.isEmpty())
            given.append({address, QFile::encodeName(file) + " line " + QByteArray::number(i + 1)});
    }
    return true;
}

QByteArray Where(const GivenAddress& given) { return given.where.isEmpty() ? QByteArray() : given.where + ": "; }

// Lists the registry without making one: a look as root must not leave a file the service cannot write.
int ListTerminals(const QString& programFolder, Front& front)
{
    const QString file = TerminalRegistry::FileOf(programFolder);
    if (!QFileInfo::exists(file)) {
        front.showRemark({Remark::Kind::Info, "there is no terminal registry " + QFile::encodeName(file)
                                                  + " yet: no terminal is registered"});
        return 0;
    }
    TerminalRegistry registry;
    registry.OpenTerminalRegistry(programFolder, TerminalRegistry::Access::ReadOnly);
    for (const QByteArray& address : registry.Addresses())
        Print(stdout, address + '\n');
    return 0;
}

// --register and --unregister: every address is checked first, and one refused writes none.
int ChangeRegistry(const CommandLine& command, const QString& programFolder, Front& front)
{
    const bool registering = command.action == CommandLine::Action::Register;
    QList<GivenAddress> given;
    for (const QByteArray& address : command.addresses)
        given.append({address, {}});
    if (!command.registerFile.isEmpty() && !ReadAddressFile(command.registerFile, given, front))
        return 1;
    QList<QByteArray> refusals;
    if (registering) {
        for (const GivenAddress& g : given) {
            const std::string refusal = g.address.size() > RegistryAddressWidth
                                          ? std::string("An address holds at most 40 characters")
                                          : RegistryAddressRefusal(g.address);
            if (!refusal.empty())
                refusals.append(Where(g) + QByteArray::fromStdString(refusal));
        }
    }
    if (given.isEmpty())
        refusals.append(QFile::encodeName(command.registerFile) + " holds no address");
    // Each refusal on a line of its own; with more than one address, that none was written.
    const auto refused = [&] {
        for (const QByteArray& refusal : refusals)
            PrintError("error: " + refusal);
        if (!refusals.isEmpty() && given.size() != 1)
            PrintError(registering ? "error: nothing was registered" : "error: nothing was unregistered");
        return !refusals.isEmpty();
    };
    if (refused())
        return 1;

    TerminalRegistry registry;
    if (!TarvelService::OpenTerminalRegistry(registry, programFolder, front))
        return 1; // the Error box has said why
    QList<QByteArray> changed;
    for (const GivenAddress& g : given) {
        if (changed.contains(g.address))
            continue; // given twice
        const bool there = registry.Locate(g.address);
        if (registering && there)
            Print(stdout, g.address + " is registered already\n");
        else if (!registering && !there)
            refusals.append(Where(g) + g.address + " is not registered");
        else
            changed.append(g.address);
    }
    if (refused())
        return 1;
    if (registering) {
        registry.RegisterAll(changed);
        for (const QByteArray& address : changed)
            Print(stdout, "registered " + address + '\n');
        return 0;
    }
    const int removed = registry.UnregisterAll(changed);
    if (changed.size() == 1 && removed > 1)
        Print(stdout, "unregistered " + changed.first() + " (" + QByteArray::number(removed) + " rows)\n");
    else
        for (const QByteArray& address : changed)
            Print(stdout, "unregistered " + address + '\n');
    return 0;
}

int RunRegistryCommand(int argc, char** argv, const CommandLine& command, const QString& folder)
{
    OneShot run(argc, argv, folder);
    const QString& programFolder = run.programFolder;
    HeadlessFront& front = run.front;
    try {
        if (command.action == CommandLine::Action::ListTerminals)
            return ListTerminals(programFolder, front);
        if (RefusedToRoot(programFolder))
            return 1;
        return ChangeRegistry(command, programFolder, front);
    } catch (const std::exception& error) {
        front.showGeneralErrorBox(QByteArray(error.what()));
        return 1;
    }
}

// A copy made beside under another name and renamed over: a failed one leaves the old copy whole.
void CopyFileReplacing(const QString& from, const QString& to)
{
    const QString partial = to + ".partial";
    QFile::remove(partial);
    if (!QFile::copy(from, partial)) {
        QFile::remove(partial);
        throw TarvelError("Cannot copy " + QFile::encodeName(from).toStdString() + " to "
                          + QFile::encodeName(partial).toStdString());
    }
    QFile::remove(to);
    if (!QFile::rename(partial, to))
        throw TarvelError("Cannot rename " + QFile::encodeName(partial).toStdString() + " to "
                          + QFile::encodeName(to).toStdString());
}

// The registry and the statistics through SQLite's backup API, whole even while the service writes
// them, and the settings files as they are.
int RunBackup(int argc, char** argv, const CommandLine& command, const QString& folder)
{
    OneShot run(argc, argv, folder);
    const QString& programFolder = run.programFolder;
    HeadlessFront& front = run.front;
    const QString target = command.backupFolder;
    if (!QDir().mkpath(target)) {
        front.showGeneralErrorBox("Cannot create the backup folder " + QFile::encodeName(target));
        return 1;
    }
    // A backup over the originals would replace the live registry by itself.
    const QString canonical = QFileInfo(target).canonicalFilePath();
    for (const QString& own : {programFolder, TerminalRegistry::FolderOf(programFolder)}) {
        if (QFileInfo(own).canonicalFilePath() == canonical) {
            front.showGeneralErrorBox("The backup folder " + QFile::encodeName(target)
                                      + " is where the files are kept: choose another; nothing was copied");
            return 1;
        }
    }
    int copied = 0;
    try {
        const QString registry = TerminalRegistry::FileOf(programFolder);
        const QString stats = StatsFile::FileOf(programFolder);
        for (const QString& file : {registry, stats}) {
            if (!QFileInfo::exists(file))
                continue;
            const QString to = target + QFileInfo(file).fileName();
            BackUpSqliteFile(file, to);
            Print(stdout, "backed up " + QFile::encodeName(file) + " to " + QFile::encodeName(to) + '\n');
            ++copied;
        }
        for (const char* name : {"Tarvel.ini", "Register.ini", "Setup.ini"}) {
            const QString file = programFolder + QLatin1String(name);
            if (!QFileInfo(file).isFile())
                continue;
            const QString to = target + QLatin1String(name);
            CopyFileReplacing(file, to);
            Print(stdout, "copied " + QFile::encodeName(file) + " to " + QFile::encodeName(to) + '\n');
            ++copied;
        }
    } catch (const std::exception& error) {
        front.showGeneralErrorBox(QByteArray(error.what()));
        return 1;
    }
    if (copied == 0) {
        front.showGeneralErrorBox("Nothing to back up in " + QFile::encodeName(programFolder)
                                  + ": no registry, statistics or settings file there");
        return 1;
    }
    return 0;
}

// Reads the statistics file and never writes it: a report may run beside the service.
int RunNotFoundReport(int argc, char** argv, const CommandLine& command, const QString& folder)
{
    OneShot run(argc, argv, folder);
    const QString& programFolder = run.programFolder;
    HeadlessFront& front = run.front;
    const QString file = StatsFile::FileOf(programFolder);
    if (!QFileInfo(file).isFile()) {
        front.showGeneralErrorBox("There is no statistics file " + QFile::encodeName(file)
                                  + ": the service has not counted a code not found in this program folder yet");
        return 1;
    }
    try {
        StatsFile stats;
        stats.Open(file, true);
        ScanStatistics tallies;
        tallies.loadDays(stats.ReadDays(tallies.day().addDays(1 - command.days), tallies.day()));
        const QList<NotFoundTally> report = tallies.notFound(command.days);
        if (command.xlsxFile.isEmpty()) {
            Print(stdout, NotFoundCsv(report));
            return 0;
        }
        // Written whole under another name and renamed: a failed write leaves FILE as it was.
        QSaveFile workbook(command.xlsxFile);
        if (!workbook.open(QIODevice::WriteOnly) || workbook.write(NotFoundXlsx(report)) < 0 || !workbook.commit()) {
            front.showGeneralErrorBox("Cannot write " + QFile::encodeName(command.xlsxFile) + ": "
                                      + workbook.errorString().toUtf8());
            return 1;
        }
        Print(stdout, "wrote " + QByteArray::number(report.size()) + " codes not found to "
                          + QFile::encodeName(command.xlsxFile) + '\n');
    } catch (const std::exception& error) {
        front.showGeneralErrorBox(QByteArray(error.what()));
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
    bool xlsxGiven = false;
    const auto setAction = [&](CommandLine::Action action, const QByteArray& option) {
        if (actionGiven && command.action != action && command.problem.isEmpty())
            command.problem = option + " cannot be combined with the option before it";
        actionGiven = true;
        command.action = action;
    };
    for (qsizetype i = 0; i < arguments.size() && command.problem.isEmpty(); ++i) {
        // "--option=value" is "--option value".
        QByteArray option = arguments[i];
        std::optional<QByteArray> inlineValue;
        if (const qsizetype equals = option.indexOf('='); option.startsWith("--") && equals > 2) {
            inlineValue = option.mid(equals + 1);
            option.truncate(equals);
        }
        const auto value = [&]() -> QByteArray {
            if (inlineValue) {
                if (inlineValue->isEmpty())
                    command.problem = option + " needs a value";
                return *std::exchange(inlineValue, std::nullopt);
            }
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                command.problem = option + " needs a value";
                return {};
            }
            return arguments[++i];
        };
        // The addresses after the first, up to the next option.
        const auto moreValues = [&](QList<QByteArray>& values) {
            while (i + 1 < arguments.size() && !arguments[i + 1].isEmpty() && !arguments[i + 1].startsWith('-'))
                values.append(arguments[++i]);
        };
        if (option == "--headless") {
            setAction(CommandLine::Action::Headless, option);
        } else if (option == "--program-folder") {
            const QByteArray folder = value();
            if (command.problem.isEmpty())
                command.programFolder = FolderWithSeparator(folder);
        } else if (option == "--register" || option == "--unregister") {
            setAction(option == "--register" ? CommandLine::Action::Register : CommandLine::Action::Unregister, option);
            command.addresses.append(value());
            moreValues(command.addresses);
        } else if (option == "--register-file") {
            setAction(CommandLine::Action::Register, option);
            const QByteArray file = value();
            if (!command.registerFile.isEmpty() && command.problem.isEmpty())
                command.problem = "--register-file is given once";
            command.registerFile = QFile::decodeName(file);
        } else if (option == "--list-terminals") {
            setAction(CommandLine::Action::ListTerminals, option);
        } else if (option == "--check") {
            setAction(CommandLine::Action::Check, option);
        } else if (option == "--not-found-report") {
            setAction(CommandLine::Action::NotFoundReport, option);
        } else if (option == "--backup") {
            setAction(CommandLine::Action::Backup, option);
            const QByteArray folder = value();
            if (command.problem.isEmpty())
                command.backupFolder = FolderWithSeparator(folder);
        } else if (option == "--days") {
            const QByteArray days = value();
            bool number = false;
            command.days = days.toInt(&number);
            if (command.problem.isEmpty() && (!number || command.days < 1 || command.days > ScanStatistics::kDaysKept))
                command.problem = "--days needs a whole number from 1 to 30, not " + days;
            daysGiven = true;
        } else if (option == "--xlsx") {
            const QByteArray file = value();
            command.xlsxFile = QFile::decodeName(file);
            xlsxGiven = true;
        } else if (option == "--version") {
            setAction(CommandLine::Action::Version, option);
        } else if (option == "--help" || option == "-h") {
            setAction(CommandLine::Action::Help, option);
        } else {
            command.problem = "unknown option " + option;
        }
        if (inlineValue && command.problem.isEmpty())
            command.problem = option + " takes no value";
    }
    if (daysGiven && command.action != CommandLine::Action::NotFoundReport && command.problem.isEmpty())
        command.problem = "--days goes with --not-found-report";
    if (xlsxGiven && command.action != CommandLine::Action::NotFoundReport && command.problem.isEmpty())
        command.problem = "--xlsx goes with --not-found-report";
    return command;
}

Remark DefaultProgramFolderRemark(const QString& programFolder)
{
    return {Remark::Kind::Info, "program folder " + QFile::encodeName(programFolder)
                                    + " (the program's own; --program-folder DIR chooses another)"};
}

QByteArray UsageLine()
{
    return "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS... | --register-file FILE | "
           "--unregister ADDRESS... | --list-terminals | --check | --backup DIR | --version | --help]";
}

QByteArray HelpText()
{
    return UsageLine()
         + "\n"
           "       tarvel [--program-folder DIR] --not-found-report [--days N] [--xlsx FILE]\n"
           "\n"
           "The price-check server for the store's barcode terminals.\n"
           "\n"
           "  (no option)             open the operator window\n"
           "  --headless              no window: start the service at once, the operator log on standard\n"
           "                          output, errors, warnings and notes on standard error; SIGINT,\n"
           "                          SIGTERM or SIGHUP stops it\n"
           "  --program-folder DIR    read Tarvel.ini and Register.ini (or Setup.ini) and keep the terminal\n"
           "                          registry in DIR, which must exist, instead of the program's own folder\n"
           "                          (for a program installed in /usr/bin: /var/lib/tarvel)\n"
           "  --register ADDRESS...   allow the terminals with these IPv4 addresses\n"
           "  --register-file FILE    allow the terminals listed in FILE, one address a line, # comments;\n"
           "                          one refused line and none is registered\n"
           "  --unregister ADDRESS... remove the terminals with these addresses\n"
           "  --list-terminals        list the registered terminal addresses\n"
           "  --check                 check the setup without starting: the settings, the POS database\n"
           "                          as Start opens it, the registry and the port, one line each; exit\n"
           "                          status 0 when Start would succeed, 1 otherwise\n"
           "  --not-found-report      print the codes the lookups did not find in the last 30 days as CSV\n"
           "                          (code, count, first and last seen, last terminal), most often first\n"
           "  --days N                with --not-found-report: the last N days, 1 to 30, today included\n"
           "  --xlsx FILE             with --not-found-report: write a spreadsheet to FILE instead, the\n"
           "                          codes as text (leading zeros kept)\n"
           "  --backup DIR            copy the registry and the statistics (whole, also while the service\n"
           "                          runs) and the settings files into DIR\n"
           "  --version               print the version\n"
           "  --help                  print this text\n"
           "An option's value may follow it after \"=\": --program-folder=/var/lib/tarvel.\n";
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
    if (command.action == CommandLine::Action::Window && runWindow && !DisplayAvailable()) {
        PrintError("tarvel: no display; use --headless");
        return 1;
    }
    switch (command.action) {
    case CommandLine::Action::Backup:
        return RunBackup(argc, argv, command, folder);
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
