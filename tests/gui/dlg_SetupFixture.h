#pragma once

// What the setup dialog's tests share: the objects the dialog works on, made fresh in a temporary
// program folder, and questions answered from a script.

#include "config/IniFile.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "gui/RegistryDataset.h"
#include "gui/dlg_Questions.h"
#include "gui/dlg_Setup.h"
#include "mock/RecordingFront.h"
#include "mock/ScriptedQuestions.h"
#include "support/RegistryFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <deque>
#include <functional>
#include <memory>
#include <vector>

namespace tarvel {

inline const QByteArray SaveQuestion = "Are you sure want to [SAVE] ?";

// A program folder with an open, empty registry, and no "Tarvel.ini" yet; the dialog works on the
// real file there and on real (closed) POS connections, for the store S01.
class SetupDialogTest : public ::testing::Test, protected RegistryFolder {
protected:
    void SetUp() override { openRegistry(); }

    void TearDown() override { EXPECT_TRUE(questions.answers.empty()) << "answers left unused"; }

    // A dialog over the fixture's objects, shown (not modal-exec'd) so the test can drive it.
    std::unique_ptr<TdlgSetup> open()
    {
        auto dialog = std::make_unique<TdlgSetup>(settings, data, pos, storeCode, front, questions);
        dialog->show();
        return dialog;
    }

    RecordingFront front;
    ScriptedQuestions questions;
    IniFile settings{dir.filePath("Tarvel.ini")};
    PosConnections pos;
    Database& coDataDb = pos.coDataDb();
    QByteArray storeCode = "S01";

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
