#pragma once

// Switches the C library's LC_NUMERIC to a locale whose decimal point is a comma, for the life of
// the object. The hosts that run the tests often carry no such locale, so one is compiled with
// localedef into the build folder and found through LOCPATH. available() is false where that fails.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <clocale>
#include <cstdlib>
#include <string>

namespace tarvel {

class CommaLocale {
public:
    CommaLocale() : saved_(std::setlocale(LC_NUMERIC, nullptr))
    {
        const QString folder = QStringLiteral(TARVEL_BIN_DIR "/../test-locales");
        const QString name = QStringLiteral("de_DE");
        if (!QFileInfo::exists(folder + "/" + name)) {
            // Test programs run in parallel: each compiles into a folder of its own and moves it into
            // place whole, so that no one reads a locale another is still writing.
            QDir().mkpath(folder);
            const QString own = folder + "/" + name + ".part" + QString::number(QCoreApplication::applicationPid());
            QProcess::execute("localedef", {"-i", name, "-f", "ISO-8859-1", own});
            if (!QDir().rename(own, folder + "/" + name))
                QDir(own).removeRecursively();
        }
        const char* oldPath = std::getenv("LOCPATH");
        if (oldPath)
            oldLocPath_ = oldPath;
        hadLocPath_ = oldPath != nullptr;
        qputenv("LOCPATH", folder.toLocal8Bit());
        available_ = std::setlocale(LC_NUMERIC, "de_DE") != nullptr;
    }
    ~CommaLocale()
    {
        std::setlocale(LC_NUMERIC, saved_.c_str());
        if (hadLocPath_)
            qputenv("LOCPATH", oldLocPath_.c_str());
        else
            qunsetenv("LOCPATH");
    }
    bool available() const { return available_; }

private:
    std::string saved_;
    std::string oldLocPath_;
    bool hadLocPath_ = false;
    bool available_ = false;
};

} // namespace tarvel
