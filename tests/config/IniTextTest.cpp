#include "config/IniText.h"

#include "base/Errors.h"

#include <gtest/gtest.h>

using namespace tarvel;

namespace {

std::optional<QByteArray> find(const QByteArray& content, const char* section, const char* key)
{
    return FindIniValue(content, section, key);
}

} // namespace

TEST(IniText, ValuesAreTrimmedAndLoseOnePairOfQuotes)
{
    const QByteArray content = "[S]\r\n"
                               "blank=   T  \t\r\n"
                               "double=\"RM \"\r\n"
                               "single=' $ '\r\n"
                               "twice=\"\"x\"\"\r\n"
                               "mixed=\"x'\r\n"
                               "lone=\"\r\n"
                               "inner=a \"b\" c\r\n"
                               "spaced = \" q \" \r\n";
    EXPECT_EQ(find(content, "S", "blank"), QByteArray("T"));
    EXPECT_EQ(find(content, "S", "double"), QByteArray("RM "));
    EXPECT_EQ(find(content, "S", "single"), QByteArray(" $ "));
    EXPECT_EQ(find(content, "S", "twice"), QByteArray("\"x\""));
    EXPECT_EQ(find(content, "S", "mixed"), QByteArray("\"x'"));
    EXPECT_EQ(find(content, "S", "lone"), QByteArray("\""));
    EXPECT_EQ(find(content, "S", "inner"), QByteArray("a \"b\" c"));
    EXPECT_EQ(find(content, "S", "spaced"), QByteArray(" q "));
}

TEST(IniText, MissingSectionOrKeyIsNothingButAnEmptyValueIsEmpty)
{
    const QByteArray content = "[OTHER_SETUP]\nCURRENCY_SYMBOL=\nSPACES=   \nQUOTES=\"\"\n";
    EXPECT_EQ(find(content, "OTHER_SETUP", "CURRENCY_SYMBOL"), QByteArray(""));
    EXPECT_EQ(find(content, "OTHER_SETUP", "SPACES"), QByteArray(""));
    EXPECT_EQ(find(content, "OTHER_SETUP", "QUOTES"), QByteArray(""));
    EXPECT_EQ(find(content, "OTHER_SETUP", "AUTO_START"), std::nullopt);
    EXPECT_EQ(find(content, "TCP_SERVER_SETUP", "CURRENCY_SYMBOL"), std::nullopt);
    EXPECT_EQ(find("", "OTHER_SETUP", "CURRENCY_SYMBOL"), std::nullopt);
}

TEST(IniText, NamesMatchWithAsciiCaseFoldingOnly)
{
    const QByteArray content = "[other_setup]\n"
                               "auto_start=t\n"
                               "Send_StoreShelf=T\n"
                               "[\xC4Z]\n"
                               "K=upper\n"
                               "[\xE4z]\n"
                               "K=lower\n";
    EXPECT_EQ(find(content, "OTHER_SETUP", "AUTO_START"), QByteArray("t"));
    EXPECT_EQ(find(content, "Other_Setup", "SEND_StoreSHELF"), QByteArray("T"));
    // Bytes above 0x7F are not letters to fold: the two sections stay apart.
    EXPECT_EQ(find(content, "\xC4z", "k"), QByteArray("upper"));
    EXPECT_EQ(find(content, "\xE4Z", "k"), QByteArray("lower"));
}

TEST(IniText, ValueIsCutTo2047Bytes)
{
    const QByteArray exact(2047, 'a');
    const QByteArray longer = QByteArray(2047, 'b') + "tail";
    const QByteArray quoted = '"' + QByteArray(2046, 'c') + "de\"";
    const QByteArray content = "[S]\nexact=" + exact + "\nlonger=" + longer + "\nquoted=" + quoted + "\n";
    EXPECT_EQ(find(content, "S", "exact"), exact);
    EXPECT_EQ(find(content, "S", "longer"), QByteArray(2047, 'b'));
    // Quotes come off first, then the cut.
    EXPECT_EQ(find(content, "S", "quoted"), QByteArray(2046, 'c') + 'd');
}

TEST(IniText, CommentsOddLinesAndRepeatsFollowTheFirstOne)
{
    const QByteArray content = "TOP=before any section\n"
                               "[S]\n"
                               ";KEY=commented\n"
                               "   ; KEY=indented comment\n"
                               "just some words\n"
                               "[not a section\n"
                               "  KEY  = first \n"
                               "KEY=second\n"
                               "[s]\n"
                               "KEY=third\n"
                               "OTHER=only in the repeat\n"
                               "[ T ] trailing words\n"
                               "a=b=c\n"
                               "=no key\n";
    EXPECT_EQ(find(content, "S", "KEY"), QByteArray("first"));
    EXPECT_EQ(find(content, "S", "OTHER"), std::nullopt);
    EXPECT_EQ(find(content, "S", "TOP"), std::nullopt);
    EXPECT_EQ(find(content, "S", ";KEY"), std::nullopt);
    EXPECT_EQ(find(content, "T", "a"), QByteArray("b=c"));
    EXPECT_EQ(find(content, "S", "just some words"), std::nullopt);
}

TEST(IniText, LineEndingsAndByteOrderMark)
{
    EXPECT_EQ(find("[S]\r\nK=crlf\r\n", "S", "K"), QByteArray("crlf"));
    EXPECT_EQ(find("[S]\nK=lf", "S", "K"), QByteArray("lf"));
    EXPECT_EQ(find("\xEF\xBB\xBF[S]\r\nK=bom\r\n", "S", "K"), QByteArray("bom"));
    EXPECT_EQ(SetIniValue("\xEF\xBB\xBF[S]\r\nK=old\r\n", "S", "K", "new"), QByteArray("\xEF\xBB\xBF[S]\r\nK=new\r\n"));
}

TEST(IniText, WriteReplacesTheFirstKeyWhereItStands)
{
    EXPECT_EQ(SetIniValue("[S]\r\nA=1\r\nk = old \r\nB=2\r\nK=repeat\r\n", "s", "K", "new"),
              QByteArray("[S]\r\nA=1\r\nk = new\r\nB=2\r\nK=repeat\r\n"));
    EXPECT_EQ(SetIniValue("[S]\nK=old", "S", "K", ""), QByteArray("[S]\nK="));
    EXPECT_EQ(SetIniValue("[S]\nK=1\n[S]\nK=2\n", "S", "K", "3"), QByteArray("[S]\nK=3\n[S]\nK=2\n"));
    // The value is written as given, even where a read would trim or unquote it.
    EXPECT_EQ(SetIniValue("[S]\nK=1\n", "S", "K", " \"x\" "), QByteArray("[S]\nK= \"x\" \n"));
    // Such a value saved again leaves the file as it was: its blanks do not pile up on the old ones.
    const QByteArray once = SetIniValue("[S]\nK = 1\n", "S", "K", " RM");
    EXPECT_EQ(once, QByteArray("[S]\nK = RM\n"));
    EXPECT_EQ(SetIniValue(once, "S", "K", " RM"), once);
}

TEST(IniText, NewKeyGoesAfterTheLastKeyLineOfItsSection)
{
    const QByteArray content = "[A]\r\n"
                               "X=1\r\n"
                               "odd line\r\n"
                               "; about B\r\n"
                               "\r\n"
                               "[B]\r\n"
                               "Y=2\r\n";
    EXPECT_EQ(SetIniValue(content, "a", "NEW", "v"),
              QByteArray("[A]\r\nX=1\r\nNEW=v\r\nodd line\r\n; about B\r\n\r\n[B]\r\nY=2\r\n"));
    EXPECT_EQ(SetIniValue(content, "B", "NEW", "v"), QByteArray(content + "NEW=v\r\n"));
    // A section without keys gets it right under its header; LF files stay LF.
    EXPECT_EQ(SetIniValue("[A]\n\n[B]\nY=2\n", "A", "K", "v"), QByteArray("[A]\nK=v\n\n[B]\nY=2\n"));
    // The last line without an ending gets one in the file's style; the file still ends without one.
    EXPECT_EQ(SetIniValue("[A]\nX=1", "A", "K", "v"), QByteArray("[A]\nX=1\nK=v"));
    EXPECT_EQ(SetIniValue("[A]", "A", "K", "v"), QByteArray("[A]\r\nK=v"));
}

TEST(IniText, NewSectionGoesAtTheEndOfTheFile)
{
    EXPECT_EQ(SetIniValue("", "S", "K", "v"), QByteArray("[S]\r\nK=v\r\n"));
    EXPECT_EQ(SetIniValue("[A]\nX=1\n\n", "S", "K", "v"), QByteArray("[A]\nX=1\n\n[S]\nK=v\n"));
    EXPECT_EQ(SetIniValue("[A]\r\nX=1", "S", "K", "v"), QByteArray("[A]\r\nX=1\r\n[S]\r\nK=v\r\n"));
    EXPECT_EQ(SetIniValue("; only a comment", "S", "K", "v"), QByteArray("; only a comment\r\n[S]\r\nK=v\r\n"));
}

TEST(IniText, WriteRefusesNamesAndValuesThatWouldNotReadBack)
{
    EXPECT_THROW(SetIniValue("", "S", "K", "9101\r\nFDB_DATA_XE=T"), TarvelError);
    EXPECT_THROW(SetIniValue("", "S", "K", "a\rb"), TarvelError);
    EXPECT_THROW(SetIniValue("", "S]", "K", "v"), TarvelError);
    EXPECT_THROW(SetIniValue("", "", "K", "v"), TarvelError);
    EXPECT_THROW(SetIniValue("", "S", "K=", "v"), TarvelError);
    EXPECT_THROW(SetIniValue("", "S", "", "v"), TarvelError);
    // Names are read trimmed, and a key line may not read as a comment or a section.
    for (const auto& [section, key] : {std::pair{" S", "K"}, {"S\x01", "K"}, {"S", "K "}, {"S", ";K"}, {"S", "[K]"}})
        EXPECT_THROW(SetIniValue("", section, key, "v"), TarvelError) << section << "/" << key;
    EXPECT_EQ(SetIniValue("", "S", "K", "a=b;[c]"), QByteArray("[S]\r\nK=a=b;[c]\r\n"));
}

TEST(IniText, IntegerForms)
{
    EXPECT_EQ(ParseIniInteger("9200"), 9200);
    EXPECT_EQ(ParseIniInteger("0x2391"), 9105);
    EXPECT_EQ(ParseIniInteger("0X2391"), 9105);
    EXPECT_EQ(ParseIniInteger("$FF"), 255);
    EXPECT_EQ(ParseIniInteger("$ff"), 255);
    EXPECT_EQ(ParseIniInteger("-$10"), -16);
    EXPECT_EQ(ParseIniInteger("-5"), -5);
    EXPECT_EQ(ParseIniInteger("+7"), 7);
    EXPECT_EQ(ParseIniInteger("007"), 7);
    EXPECT_EQ(ParseIniInteger("2147483647"), 2147483647);
    EXPECT_EQ(ParseIniInteger("-2147483648"), -2147483647 - 1);
    EXPECT_EQ(ParseIniInteger("0x7FFFFFFF"), 2147483647);
    for (const char* bad : {"",
                            "abc",
                            "0x",
                            "0X",
                            "0xG1",
                            "$",
                            "-",
                            "+",
                            "2147483648",
                            "-2147483649",
                            "0x80000000",
                            "$80000000",
                            "99999999999999999999",
                            "12a",
                            "1 2",
                            "- 5",
                            "+-5",
                            "-0x10",
                            "1.5",
                            "$-5"}) {
        EXPECT_EQ(ParseIniInteger(bad), std::nullopt) << bad;
    }
}
