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
    EXPECT_EQ(register_.address, "10.0.0.5");
    EXPECT_EQ(register_.programFolder, QDir::toNativeSeparators("/srv/tarvel/"));
    EXPECT_EQ(ParseCommandLine({"--not-found-report", "--days", "7"}).days, 7);
    EXPECT_EQ(ParseCommandLine({"--not-found-report"}).days, 30);

    EXPECT_EQ(UsageLine(), "usage: tarvel [--headless] [--program-folder DIR] [--register ADDRESS | --unregister "
                           "ADDRESS | --list-terminals | --check | --version | --help]");
    EXPECT_TRUE(HelpText().startsWith(UsageLine() + '\n'));
}
