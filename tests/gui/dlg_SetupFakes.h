#pragma once

// What the setup dialog's tests share: questions answered from a script, and the objects the dialog
// works on, made fresh in a temporary program folder.

#include "config/IniFile.h"
#include "gui/dlg_Questions.h"
#include "gui/dlg_Setup.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "gui/RegistryDataset.h"
#include "support/RecordingFront.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tarvel {

// Answers each question with the next scripted answer and keeps what was asked: ("yes/no" or
// "ok/cancel", text). A question with no answer left fails the test and is answered No or Cancel.
class ScriptedQuestions : public QuestionBoxes {
public:
    struct Asked {
        QByteArray kind;
        QByteArray text;
        bool operator==(const Asked&) const = default;
    };

    Answer askYesNo(const QByteArray& text) override { return next("yes/no", text, Answer::No); }
    Answer askOkCancel(const QByteArray& text) override { return next("ok/cancel", text, Answer::Cancel); }
    // The file chosen by `choose`; a chooser opened without it fails the test and is cancelled.
    QString chooseFile(QFileDialog& chooser) override
    {
        if (choose)
            return choose(chooser);
        ADD_FAILURE() << "unexpected file chooser";
        return {};
    }

    std::deque<Answer> answers;
    std::vector<Asked> asked;
    std::function<QString(QFileDialog&)> choose;

private:
    Answer next(const QByteArray& kind, const QByteArray& text, Answer fallback)
    {
        asked.push_back({kind, text});
        if (answers.empty()) {
            ADD_FAILURE() << "unexpected question " << text.constData();
            return fallback;
        }
        const Answer answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

inline void PrintTo(const ScriptedQuestions::Asked& asked, std::ostream* out)
{
    *out << asked.kind.constData() << ": " << asked.text.constData();
}

// A program folder with an open, empty registry, and no "Tarvel.ini" yet; the dialog works on the
// real file there and on real (closed) POS connections, for the store S01.
class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        programFolder = dir.path() + QDir::separator();
        registry.CreateTerminalRegistry(programFolder);
        registry.OpenTerminalRegistry(programFolder);
        data.Open();
        ASSERT_TRUE(data.IsOpen());
    }

    void TearDown() override
    {
        EXPECT_TRUE(questions.answers.empty()) << "answers left unused";
    }

    // A dialog over the fixture's objects, shown (not modal-exec'd) so the test can drive it.
    std::unique_ptr<TdlgSetup> open()
    {
        auto dialog = std::make_unique<TdlgSetup>(settings, data, pos, storeCode, front, questions);
        dialog->show();
        return dialog;
    }

    QTemporaryDir dir;
    QString programFolder;
    RecordingFront front;
    ScriptedQuestions questions;
    TerminalRegistry registry;
    IniFile settings{dir.filePath("Tarvel.ini")};
    PosConnections pos;
    Database& coDataDb = pos.coDataDb();
    QByteArray storeCode = "S01";
    RegistryDataset data{registry};

    // "Tarvel.ini" as it stands on disk; empty when there is none.
    QByteArray settingsText() const
    {
        QFile file(settings.FileName());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // The key lines of "Tarvel.ini" in file order, "KEY=value", section lines and blank lines left out.
    QList<QByteArray> keyLines() const
    {
        QList<QByteArray> lines;
        for (QByteArray line : settingsText().split('\n')) {
            line = line.trimmed();
            if (!line.isEmpty() && !line.startsWith('['))
                lines << line;
        }
        return lines;
    }
};

} // namespace tarvel
