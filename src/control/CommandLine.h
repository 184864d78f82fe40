#pragma once

#include "base/Remark.h"

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvel {

// The program's command line. Service managers and scripts rely on it, so its options stay as they are:
//   tarvel                          the operator window
//   tarvel --headless               no window: creation, then Start at once; the log on standard output
//   --program-folder DIR            settings files and the registry in DIR instead of the program's folder
//   --register ADDRESS... | --register-file FILE | --unregister ADDRESS... | --list-terminals
//                                   manage the registry and exit
//   --check                         check the setup as Start would meet it, change nothing, and exit
//   --version | --help
//   --not-found-report [--days N] [--xlsx FILE]
//                                   the codes not found in the last N days (30), as CSV on standard
//                                   output or as a spreadsheet in FILE, and exit
//   --backup DIR                    copy the registry, the statistics and the settings files into DIR
// An option's value may also follow it after "=": --program-folder=DIR.
struct CommandLine {
    enum class Action {
        Window,
        Headless,
        Register,
        Unregister,
        ListTerminals,
        Version,
        Help,
        Check,
        NotFoundReport,
        Backup
    };
    Action action = Action::Window;
    QString programFolder; // with its trailing separator; empty: the executable's folder
    QList<QByteArray> addresses; // of --register and --unregister
    QString registerFile; // of --register-file
    QString backupFolder; // of --backup
    int days = 30; // of --not-found-report
    QString xlsxFile; // of --xlsx: empty for the CSV on standard output
    QByteArray problem; // a bad command line: what is wrong (the usage line follows it)
};

// Reads the arguments after the program's name.
CommandLine ParseCommandLine(const QList<QByteArray>& arguments);

// Said when no --program-folder was given: which folder the program uses.
Remark DefaultProgramFolderRemark(const QString& programFolder);

// Run as root on a program folder another user owns, a command that writes there would leave files the
// service cannot change: says so on standard error, naming the owner to run it as, and gives true.
bool RefusedToRoot(const QString& programFolder);

// The one usage line, and the help text that starts with it.
QByteArray UsageLine();
QByteArray HelpText();

// Runs the window: builds the application, shows the window for `programFolder` (empty: the
// executable's folder), runs the event loop; returns the exit status.
using WindowRunner = int (*)(int& argc, char** argv, const QString& programFolder);

// The program's entry: parses the command line and runs what it asks. Without a window runner the
// plain command runs headless. Returns the process's exit status: 0 done, 1 failed, 2 bad command line
// (a --program-folder that does not exist included: nothing is created there).
int RunTarvel(int argc, char** argv, WindowRunner runWindow);

} // namespace tarvel
