#pragma once

// What the setup dialog's tests share: questions answered from a script, and the objects the dialog
// works on, made fresh in a temporary program folder.

#include "config/dlg_Questions.h"
#include "config/dlg_Setup.h"
#include "control/Errors.h"
#include "data/EDatabaseError.h"
#include "data/TerminalRegistry.h"
#include "support/RecordingFront.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tarvel {

// Answers each question with the next scripted answer and keeps what was asked: ("yes/no" or
// "ok/cancel", text). A question with no answer left fails the test and is answered No or Cancel.
class ScriptedQuestions : public SetupQuestions {
public:
    struct Asked {
        QByteArray kind;
        QByteArray text;
        bool operator==(const Asked&) const = default;
    };

    Answer askYesNo(const QByteArray& text) override { return next("yes/no", text, Answer::No); }
    Answer askOkCancel(const QByteArray& text) override { return next("ok/cancel", text, Answer::Cancel); }

    std::deque<Answer> answers;
    std::vector<Asked> asked;

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

// "Tarvel.ini" in memory, with the profile rules the dialog relies on: names match without regard
// to letter case, a missing key reads as the caller's default. Keeps every write in order; from the
// write numbered `refuseFrom` (0 = the first) on, writes are refused as a full disk refuses them.
class MemorySettingsFile : public SetupSettingsFile {
public:
    QByteArray ReadString(const QByteArray& section, const QByteArray& key, const QByteArray& fallback) const override
    {
        const auto found = values.find(name(section, key));
        return found == values.end() ? fallback : found->second;
    }

    void WriteString(const QByteArray& section, const QByteArray& key, const QByteArray& value) override
    {
        if (refuseFrom && int(writes.size()) >= *refuseFrom)
            throw TarvelError("Unable to write to " + path);
        writes.push_back(section.toStdString() + "/" + key.toStdString() + "=" + value.toStdString());
        values[name(section, key)] = value;
    }

    std::string path = "C:\\Tarvel\\Tarvel.ini";
    std::optional<int> refuseFrom;
    std::vector<std::string> writes;  // "SECTION/KEY=value", in order
    std::map<QByteArray, QByteArray> values;

private:
    static QByteArray name(const QByteArray& section, const QByteArray& key)
    {
        return section.toUpper() + "/" + key.toUpper();
    }
};

// The data connection as the Test button drives it: each call in `calls` in order ("params: ...",
// "open", "close"); Open fails with EDatabaseError(openError) when that is set.
class RecordingConnection : public SetupDataConnection {
public:
    void SetParams(const QList<QByteArray>& lines) override
    {
        params = lines;
        calls.push_back("params");
    }
    void Open() override
    {
        calls.push_back("open");
        if (!openError.empty())
            throw EDatabaseError(openError);
        connected = true;
    }
    void Close() override
    {
        calls.push_back(connected ? "close" : "close (not open)");
        connected = false;
    }

    QList<QByteArray> params;
    std::vector<std::string> calls;
    std::string openError;
    bool connected = false;
};

// A program folder with an open, empty registry, and no "Tarvel.ini" yet.
class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        programFolder = dir.path() + QDir::separator();
        registry.OpenTerminalRegistry(programFolder, front);
        ASSERT_TRUE(registry.IsOpen());
    }

    void TearDown() override
    {
        EXPECT_TRUE(questions.answers.empty()) << "answers left unused";
    }

    // A dialog over the fixture's objects, shown (not modal-exec'd) so the test can drive it.
    std::unique_ptr<TdlgSetup> open()
    {
        auto dialog = std::make_unique<TdlgSetup>(settings, registry, coDataDb, front, &questions);
        dialog->show();
        return dialog;
    }

    QTemporaryDir dir;
    QString programFolder;
    RecordingFront front;
    ScriptedQuestions questions;
    TerminalRegistry registry;
    MemorySettingsFile settings;
    RecordingConnection coDataDb;
    RegistryDataset& data = registry.Dataset();
};

} // namespace tarvel
