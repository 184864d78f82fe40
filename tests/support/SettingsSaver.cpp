// tarvel-settings-saver FILE: saves the ten settings into FILE over and over, the two sets of
// SettingsSaver.h in turn, as the setup dialog's OK does, until it is killed.

#include "support/SettingsSaver.h"

int main(int argc, char** argv)
{
    if (argc != 2)
        return 2;
    tarvel::IniFile file(QString::fromLocal8Bit(argv[1]));
    for (bool second = false;; second = !second)
        tarvel::WriteAllSettings(file, tarvel::SavedSet(second));
}
