// The command line as the program reads it, without starting the program.

#include "control/CommandLine.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace tarvel;

TEST(CommandLineTest, EachCommandLineIsAnActionOrAProblem)
{
    using A = CommandLine::Action;
    const struct {
        QList<QByteArray> arguments;
        A action;
        QByteArray problem;
    } cases[] = {
        {{}, A::Window, ""},
        {{"--headless"}, A::Headless, ""},
        {{"--register", "10.0.0.5"}, A::Register, ""},
        {{"--unregister", "10.0.0.5"}, A::Unregister, ""},
        {{"--list-terminals"}, A::ListTerminals, ""},
        {{"--check"}, A::Check, ""},
        {{"--version"}, A::Version, ""},
        {{"-h"}, A::Help, ""},
        {{"--not-found-report", "--days", "7"}, A::NotFoundReport, ""},
        {{"--bogus"}, A::Window, "unknown option --bogus"},
        {{"--register"}, A::Register, "--register needs a value"},
        {{"--headless", "--program-folder"}, A::Headless, "--program-folder needs a value"},
        {{"--program-folder", ""}, A::Window, "--program-folder needs a value"},
        {{"--register", "10.0.0.1", "--list-terminals"},
         A::ListTerminals,
         "--list-terminals cannot be combined with the option before it"},
        {{"--check", "--headless"}, A::Headless, "--headless cannot be combined with the option before it"},
        {{"--not-found-report", "--list-terminals"},
         A::ListTerminals,
         "--list-terminals cannot be combined with the option before it"},
        {{"--not-found-report", "--days", "0"}, A::NotFoundReport, "--days needs a whole number from 1 to 30, not 0"},
        {{"--not-found-report", "--days", "31"}, A::NotFoundReport, "--days needs a whole number from 1 to 30, not 31"},
        {{"--not-found-report", "--days"}, A::NotFoundReport, "--days needs a value"},
        {{"--days", "3"}, A::Window, "--days goes with --not-found-report"},
        {{"--not-found-report", "--xlsx", "codes.xlsx", "--days", "7"}, A::NotFoundReport, ""},
        {{"--not-found-report", "--xlsx"}, A::NotFoundReport, "--xlsx needs a value"},
        {{"--xlsx=codes.xlsx", "--check"}, A::Check, "--xlsx goes with --not-found-report"},
        // Several addresses, a file of them, a backup, and every value after "=".
        {{"--register", "10.0.0.5", "10.0.0.6", "--register-file", "tills.txt"}, A::Register, ""},
        {{"--register-file"}, A::Register, "--register-file needs a value"},
        {{"--register-file=a", "--register-file=b"}, A::Register, "--register-file is given once"},
        {{"--unregister=10.0.0.5", "10.0.0.6"}, A::Unregister, ""},
        {{"--backup=/srv/backup"}, A::Backup, ""},
        {{"--backup"}, A::Backup, "--backup needs a value"},
        {{"--backup", "/srv/backup", "--register", "10.0.0.5"},
         A::Register,
         "--register cannot be combined with the option before it"},
        {{"--program-folder=/srv/tarvel", "--check"}, A::Check, ""},
        {{"--program-folder="}, A::Window, "--program-folder needs a value"},
        {{"--not-found-report", "--days=7"}, A::NotFoundReport, ""},
        {{"--headless=yes"}, A::Headless, "--headless takes no value"},
        {{"--check=1"}, A::Check, "--check takes no value"},
        {{"--bogus=1"}, A::Window, "unknown option --bogus"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const CommandLine command = ParseCommandLine(c.arguments);
        EXPECT_EQ(command.problem, c.problem);
        if (c.problem.isEmpty()) {
            EXPECT_EQ(command.action, c.action);
        }
    }
    const CommandLine register_ = ParseCommandLine({"--program-folder", "/srv/tarvel", "--register", "10.0.0.5"});
    EXPECT_EQ(register_.addresses, QList<QByteArray>{"10.0.0.5"});
    EXPECT_EQ(register_.programFolder, QDir::toNativeSeparators("/srv/tarvel/"));
    // The addresses run up to the next option; a value after "=" is the same as the next word.
    const CommandLine several = ParseCommandLine({"--register=10.0.0.5", "10.0.0.6", "--program-folder=/srv/tarvel",
                                                  "--register", "10.0.0.7", "--register-file=t"});
    EXPECT_EQ(several.addresses, QList<QByteArray>({"10.0.0.5", "10.0.0.6", "10.0.0.7"}));
    EXPECT_EQ(several.programFolder, QDir::toNativeSeparators("/srv/tarvel/"));
    EXPECT_EQ(several.registerFile, "t");
    EXPECT_EQ(ParseCommandLine({"--backup=/srv/backup"}).backupFolder, QDir::toNativeSeparators("/srv/backup/"));
    EXPECT_EQ(ParseCommandLine({"--days=7", "--not-found-report"}).days, 7);
    EXPECT_EQ(ParseCommandLine({"--not-found-report", "--days", "7"}).days, 7);
    EXPECT_EQ(ParseCommandLine({"--not-found-report"}).days, 30);

    EXPECT_EQ(UsageLine(), "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS... | --register-file "
                           "FILE | --unregister ADDRESS... | --list-terminals | --check | --backup DIR | --version | "
                           "--help]");
    EXPECT_TRUE(HelpText().startsWith(UsageLine() + '\n'));
}
