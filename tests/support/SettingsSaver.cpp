// tarvel-settings-saver FILE: saves the ten settings into FILE over and over, the two sets of
// SettingsSaver.h in turn, as the setup dialog's OK does, until it is killed.

#include "support/SettingsSaver.h"

#include <cstdio>

int main(int argc, char** argv)
{
    // A name such as --help is a mistaken option, not a file to write.
    if (argc != 2 || argv[1][0] == '-' || argv[1][0] == '\0') {
        std::fputs("usage: tarvel-settings-saver FILE\n", stderr);
        return 2;
    }
    tarvel::IniFile file(QString::fromLocal8Bit(argv[1]));
    for (bool second = false;; second = !second)
        tarvel::WriteAllSettings(file, tarvel::SavedSet(second));
}
