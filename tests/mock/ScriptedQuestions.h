#pragma once

// The setup dialog's questions answered from a script, for the tests that drive the dialog.

#include "gui/dlg_Questions.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QString>

#include <deque>
#include <functional>
#include <ostream>
#include <vector>

class QFileDialog;

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

} // namespace tarvel
