#pragma once

// What the operator window's tests share: a program folder with an embedded standard-layout POS
// database, store S01 and a free port; a watcher that answers the window's boxes; the window itself,
// created the way the program creates it; helpers that read the log view; a terminal (support/TerminalClient.h).

#include "base/OperatorLog.h"
#include "control/TarvelService.h"
#include "data/Database.h"
#include "data/PosConnections.h"
#include "data/TerminalRegistry.h"
#include "gui/frm_Tarvel.h"
#include "support/ModalBoxes.h"
#include "support/ProgramFolder.h"
#include "support/TerminalClient.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>

#include <functional>
#include <memory>

namespace tarvel {

class TarvelWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A window closed by a test must not end the test program's event loops.
        QApplication::setQuitOnLastWindowClosed(false);
        const QByteArray problem = folder.makeStore(port);
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }

    void TearDown() override
    {
        // Reports queued by the window's sockets go out before the window does.
        QTest::qWait(20);
        window.reset();
        QApplication::setQuitOnLastWindowClosed(true);
    }

    // Creates the window for the folder (creation runs here) with the host's name and addresses fixed
    // for the start lines, and shows it unless told not to.
    TfrmTarvel& open(bool show = true, HostLookup host = TillHost())
    {
        window = std::make_unique<TfrmTarvel>(folder.path(), std::move(host));
        if (show) {
            window->show();
            QTest::qWait(10);
        }
        return *window;
    }

    // Clicks a button of the window by its object name, as the operator does.
    void click(const char* name)
    {
        auto* button = window->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(button, nullptr) << name;
        QTest::mouseClick(button, Qt::LeftButton);
    }

    // Registers 127.0.0.1 and clicks Start; gives whether the service runs.
    bool startServingLoopback()
    {
        window->Service().Registry().Register("127.0.0.1");
        click("BitBtn1");
        return window->Service().Running();
    }

    // The window for `dataFile` with FDB_QUERY_TIMEOUT `queryTimeout`, serving loopback, and `terminal`
    // on line with one scan answered; false when any of it failed.
    bool serveOneTerminal(const QByteArray& dataFile, int queryTimeout)
    {
        folder.writeSettings(ProgramFolder::settingsFor(dataFile, port)
                                 .replace("[FDB_DATA_SETUP]\r\n", "[FDB_DATA_SETUP]\r\nFDB_QUERY_TIMEOUT="
                                                                      + QByteArray::number(queryTimeout) + "\r\n"));
        open();
        if (!startServingLoopback())
            return false;
        terminal = std::make_unique<TerminalClient>(port);
        return terminal->scan("9556001000017").contains("MILO 400G");
    }

    // Gives each scan of the code BOOM an engine failure at its price query.
    static void MakeBoomFail(const QByteArray& dataPath)
    {
        Database db;
        PosConnections::SetParams(db, dataPath, {});
        db.Open();
        db.ExecSql("ALTER TABLE Mas_Stock_Price ADD M_GUARD COMPUTED BY (IIF(M_PluLinkId='BOOM', 1/0, 0))");
        db.ExecSql("INSERT INTO Mas_Stock (M_PluLinkId, M_PluCode) VALUES ('BOOM', 'BOOM')");
        db.ExecSql("INSERT INTO Mas_Stock_Price (M_PluLinkId, M_Level, M_QTY, M_OFQTY) VALUES ('BOOM', 'P1', 1, 1)");
    }

    // The lines of the log view, as bytes.
    std::vector<QByteArray> logLines() const
    {
        std::vector<QByteArray> lines;
        const QTextDocument* document = window->MemoLog->document();
        for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next())
            lines.push_back(block.text().toLatin1());
        if (lines.size() == 1 && lines.front().isEmpty())
            lines.clear(); // an empty document still has its one empty block
        return lines;
    }

    std::vector<QByteArray> startLines() const { return StartLines(port); }
    static std::vector<QByteArray> stopLines() { return StopLines(); }

    // Runs the event loop until `done` holds or `timeoutMs` has passed; gives `done` at the end.
    static bool waitUntil(const std::function<bool()>& done, int timeoutMs = TerminalClient::kPatienceMs)
    {
        const QDeadlineTimer deadline(timeoutMs);
        while (!done() && !deadline.hasExpired())
            QTest::qWait(10);
        return done();
    }

    ProgramFolder folder;
    quint16 port = ProgramFolder::FreePort();
    ModalBoxes boxes;
    std::unique_ptr<TfrmTarvel> window;
    std::unique_ptr<TerminalClient> terminal; // of serveOneTerminal
};

} // namespace tarvel
