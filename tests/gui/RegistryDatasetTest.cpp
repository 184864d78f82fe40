#include "gui/RegistryDataset.h"

#include "base/Errors.h"
#include "data/EDatabaseError.h"
#include "data/TerminalRegistry.h"
#include "support/RegistryFolder.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlTableModel>
#include <QTemporaryDir>

using namespace tarvel;
using State = RegistryDataset::State;

namespace {

// Runs `sql` on the file through a connection of its own, as another process would, and gives the
// first column of its rows.
QStringList RunOnFile(const QString& file, const QString& sql)
{
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "other");
        db.setDatabaseName(file);
        EXPECT_TRUE(db.open());
        QSqlQuery query(db);
        EXPECT_TRUE(query.exec(sql)) << sql.toStdString();
        while (query.next())
            values << query.value(0).toString();
    }
    QSqlDatabase::removeDatabase("other");
    return values;
}

QStringList StoredAddresses(const QString& file) { return RunOnFile(file, "SELECT ADDRESS FROM Tarvel ORDER BY ID"); }

QByteArray Address(int i) { return "10.0." + QByteArray::number(i / 250) + "." + QByteArray::number(i % 250 + 1); }

class RegistryDatasetTest : public ::testing::Test, protected RegistryFolder {
protected:
    void SetUp() override { openRegistry(); }

    // Stores `count` rows in one transaction, then reads them into the dataset.
    void fill(int count)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "filler");
            db.setDatabaseName(TerminalRegistry::FileOf(programFolder));
            ASSERT_TRUE(db.open());
            db.transaction();
            QSqlQuery query(db);
            query.prepare("INSERT INTO Tarvel (ADDRESS) VALUES (?)");
            for (int i = 0; i < count; ++i) {
                query.bindValue(0, QString::fromLatin1(Address(i)));
                ASSERT_TRUE(query.exec());
            }
            db.commit();
        }
        QSqlDatabase::removeDatabase("filler");
        data.Refresh();
    }
};

TEST_F(RegistryDatasetTest, MovesPagesAndTheEndsOfTheTable)
{
    EXPECT_EQ(data.RecNo(), -1);
    EXPECT_TRUE(data.Bof());
    EXPECT_TRUE(data.Eof());
    fill(25);
    ASSERT_EQ(data.RecordCount(), 25);
    data.First();
    EXPECT_TRUE(data.Bof());
    EXPECT_FALSE(data.Eof());
    EXPECT_EQ(data.Address(), Address(0));
    data.Next();
    EXPECT_EQ(data.RecNo(), 1);
    EXPECT_FALSE(data.Bof());
    data.NextPage();
    EXPECT_EQ(data.RecNo(), 11);
    data.NextPage();
    data.NextPage();
    EXPECT_EQ(data.RecNo(), 24); // stops at the last row
    EXPECT_TRUE(data.Eof());
    data.Next();
    EXPECT_EQ(data.RecNo(), 24);
    data.PriorPage();
    EXPECT_EQ(data.RecNo(), 14);
    data.Prior();
    EXPECT_EQ(data.RecNo(), 13);
    EXPECT_EQ(data.Address(), Address(13));
    data.PriorPage();
    data.PriorPage();
    EXPECT_EQ(data.RecNo(), 0);
    data.Last();
    EXPECT_EQ(data.Address(), Address(24));
}

TEST_F(RegistryDatasetTest, ReadsEveryRowPastTheFirstBatch)
{
    fill(600);
    ASSERT_EQ(data.RecordCount(), 600);
    EXPECT_EQ(data.model()->rowCount(), 600);
    data.Last();
    EXPECT_EQ(data.Address(), Address(599));
    EXPECT_EQ(data.IdAt(450), 451); // primary-key order
}

TEST_F(RegistryDatasetTest, BookmarksAndRefreshFollowTheRowNotItsPosition)
{
    fill(5);
    data.MoveTo(3);
    EXPECT_TRUE(data.SaveBookmark());
    data.First();
    EXPECT_TRUE(data.RestoreBookmark());
    EXPECT_EQ(data.Address(), Address(3));

    // Another process deletes a row before the bookmarked one: refresh stays on the same row.
    RunOnFile(TerminalRegistry::FileOf(programFolder), "DELETE FROM Tarvel WHERE ID = 2");
    data.Refresh();
    EXPECT_EQ(data.RecNo(), 2);
    EXPECT_EQ(data.Address(), Address(3));
    data.First();
    ASSERT_TRUE(data.RestoreBookmark());
    EXPECT_EQ(data.RecNo(), 2);

    // A deleted bookmarked row cannot be returned to.
    data.Delete();
    EXPECT_EQ(data.Address(), Address(4)); // the next row takes the deleted one's place
    EXPECT_FALSE(data.RestoreBookmark());
    data.Insert();
    EXPECT_FALSE(data.SaveBookmark()); // an unposted row has no place to return to yet
}

TEST_F(RegistryDatasetTest, PostStoresTheRowOnDiskAtOnceAndRefusesWhatCouldNeverMatch)
{
    fill(2);
    data.Last();
    data.Insert();
    EXPECT_EQ(data.state(), State::Insert);
    EXPECT_EQ(data.RecNo(), 1); // before the current row
    EXPECT_EQ(data.RecordCount(), 3);
    EXPECT_FALSE(data.Modified());

    for (const char* bad : {"", "192.168.001.5", " 192.168.1.5", "till-4"}) {
        data.SetAddress(bad);
        try {
            data.Post();
            ADD_FAILURE() << "posted " << bad;
        } catch (const EDatabaseError&) {
            ADD_FAILURE() << "a refusal is no database error";
        } catch (const TarvelError& error) {
            EXPECT_TRUE(std::string(error.what()).find("no terminal would ever match it") != std::string::npos)
                << error.what();
        }
        EXPECT_EQ(data.state(), State::Insert);
    }
    EXPECT_THROW(data.SetAddress(QByteArray(41, '1')), TarvelError);
    EXPECT_EQ(data.Address(), "till-4"); // the refused text left the row as it was
    data.SetAddress(QByteArray(40, '1'));
    EXPECT_THROW(data.Post(), TarvelError);

    data.SetAddress("192.168.1.5");
    data.Post();
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)),
              (QStringList{QString(Address(0)), QString(Address(1)), "192.168.1.5"}));
    // Stored rows are read in key order: the new row is now the last, and current.
    EXPECT_EQ(data.RecNo(), 2);
    EXPECT_EQ(data.CurrentId(), 3);
    EXPECT_TRUE(data.Eof());
}

TEST_F(RegistryDatasetTest, CancelDropsAnEditAndAnInsert)
{
    fill(3);
    data.MoveTo(1);
    data.Edit();
    data.SetAddress("10.9.9.9");
    EXPECT_TRUE(data.Modified());
    EXPECT_EQ(data.model()->data(data.model()->index(1, RegistryAddressColumn)).toString(), "10.9.9.9");
    data.Cancel();
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(data.Address(), Address(1));
    EXPECT_EQ(data.model()->data(data.model()->index(1, RegistryAddressColumn)).toString(), QString(Address(1)));

    data.Insert();
    data.SetAddress("10.9.9.9");
    data.Cancel();
    EXPECT_EQ(data.RecordCount(), 3);
    EXPECT_EQ(data.RecNo(), 1);
    EXPECT_EQ(data.Address(), Address(1));

    data.Insert();
    data.Delete(); // deleting an unposted row only cancels it
    EXPECT_EQ(data.RecordCount(), 3);
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)).size(), 3);
}

TEST_F(RegistryDatasetTest, AMoveEndsThePendingEditLikeANavigator)
{
    fill(3);
    data.Edit();
    data.SetAddress("10.9.9.9");
    data.Next(); // changed: posted
    EXPECT_EQ(data.RecNo(), 1);
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)).first(), "10.9.9.9");

    data.SetAddress("not an address");
    EXPECT_THROW(data.Next(), TarvelError); // the operator sees why, and stays on the row
    EXPECT_EQ(data.state(), State::Edit);
    EXPECT_EQ(data.RecNo(), 1);
    data.Cancel();

    data.Insert();
    data.Last(); // unchanged: cancelled
    EXPECT_EQ(data.RecordCount(), 3);
    EXPECT_EQ(data.RecNo(), 2);

    // The navigator hears of every change.
    QSignalSpy spy(&data, &RegistryDataset::changed);
    data.First();
    data.Edit();
    EXPECT_GE(spy.count(), 2);
}

TEST_F(RegistryDatasetTest, TypingInTheGridEditsThatRow)
{
    fill(3);
    QSqlTableModel* model = data.model();
    ASSERT_NE(model, nullptr);
    EXPECT_FALSE(model->flags(model->index(0, RegistryIdColumn)) & Qt::ItemIsEditable);
    EXPECT_TRUE(model->flags(model->index(0, RegistryAddressColumn)) & Qt::ItemIsEditable);
    EXPECT_EQ(model->headerData(RegistryAddressColumn, Qt::Horizontal).toString(), "ADDRESS");

    EXPECT_TRUE(model->setData(model->index(2, RegistryAddressColumn), "10.7.7.7"));
    EXPECT_EQ(data.state(), State::Edit);
    EXPECT_EQ(data.RecNo(), 2);

    QSignalSpy refused(&data, &RegistryDataset::editRefused);
    // Typing in another row first posts this one; a refusal comes back as a signal, not an exception.
    EXPECT_TRUE(model->setData(model->index(0, RegistryAddressColumn), "010.1.1.1"));
    EXPECT_EQ(data.RecNo(), 0);
    EXPECT_FALSE(model->setData(model->index(1, RegistryAddressColumn), "10.1.1.1"));
    ASSERT_EQ(refused.count(), 1);
    EXPECT_FALSE(refused[0][1].toBool());
    EXPECT_EQ(data.RecNo(), 0);
    data.Cancel();
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)),
              (QStringList{QString(Address(0)), QString(Address(1)), "10.7.7.7"}));
}

TEST_F(RegistryDatasetTest, EditOnAnEmptyTableInserts)
{
    data.Edit();
    EXPECT_EQ(data.state(), State::Insert);
    EXPECT_EQ(data.RecordCount(), 1);
    data.SetAddress("10.0.0.1");
    data.Post();
    EXPECT_EQ(data.RecordCount(), 1);
    EXPECT_TRUE(registry.Locate("10.0.0.1"));
    registry.Close();
    EXPECT_THROW(data.First(), EDatabaseError);
    EXPECT_EQ(data.model(), nullptr);
}

TEST_F(RegistryDatasetTest, TheSearchPostsAChangedPendingRowAndCancelsAnUnchangedOrRefusedOne)
{
    fill(1);

    // A row typed and left unposted (the dialog closed with Cancel) is stored by the next search.
    data.Insert();
    data.SetAddress("10.0.0.2");
    EXPECT_TRUE(data.IsEditing());
    EXPECT_TRUE(registry.Locate("10.0.0.2"));
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)), (QStringList{"10.0.0.1", "10.0.0.2"}));

    // An insert with nothing typed is dropped.
    data.Insert();
    EXPECT_FALSE(registry.Locate("10.0.0.3"));
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(data.RecordCount(), 2);

    // An edit of a stored row: changed, it is posted; unchanged, cancelled.
    data.First();
    data.SetAddress("10.0.0.9");
    EXPECT_FALSE(registry.Locate("10.0.0.1"));
    EXPECT_TRUE(registry.Locate("10.0.0.9"));
    data.Edit();
    EXPECT_TRUE(registry.Locate("10.0.0.9"));
    EXPECT_FALSE(data.IsEditing());

    // What Post refuses the search drops, and it does not fail the scan over it.
    data.Insert();
    data.SetAddress("till 4");
    EXPECT_FALSE(registry.Locate("10.0.0.4"));
    EXPECT_EQ(data.state(), State::Browse);
    EXPECT_EQ(StoredAddresses(TerminalRegistry::FileOf(programFolder)), (QStringList{"10.0.0.9", "10.0.0.2"}));
}

} // namespace
